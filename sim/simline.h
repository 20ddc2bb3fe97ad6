#ifndef SIMLINE_H
#define SIMLINE_H

#include <QByteArray>
#include <QObject>
#include <QString>

// The simulated timer's end of its line to the program: a pseudo-terminal
// where the system has them, or a line inside the program itself.
class SimLine : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Puts as much of `data` into the line as it takes now (0 when it is
    // full); -1 once nobody listens at the other end.
    virtual qint64 send(const char *data, qint64 size) = 0;
    // While on, writable() tells each time the line takes more.
    virtual void notifyWhenWritable(bool on) = 0;

signals:
    void received(const QByteArray &bytes);
    void writable();
    // The program let go of its end; what it asked is not answered any more.
    void programLeft();
};

// A new pseudo-terminal whose serial end, `serialPath`, a program opens as
// its port; nullptr, with `error` set, where that fails or the system has none.
SimLine *openPseudoTerminalLine(QObject *parent, QString *serialPath, QString *error);

#endif
