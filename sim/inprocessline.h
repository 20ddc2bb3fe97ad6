#ifndef INPROCESSLINE_H
#define INPROCESSLINE_H

#include "simline.h"

#include <QIODevice>
#include <QPointer>
#include <QTimer>

// The program's end of a line to a simulated timer in the same process: what
// the program opens, reads and writes in place of a serial port.
class ProgramEnd : public QIODevice
{
    Q_OBJECT
public:
    using QIODevice::QIODevice;

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    void close() override;

    // What the timer sends, heard only while the program has its end open.
    void deliver(const QByteArray &bytes);

signals:
    void written(const QByteArray &bytes);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    QByteArray m_incoming;
};

// The timer's end. A byte the program writes reaches the timer at once, as
// through a pseudo-terminal; the timer paces what it sends itself.
class InProcessLine : public SimLine
{
    Q_OBJECT
public:
    explicit InProcessLine(ProgramEnd *programEnd, QObject *parent = nullptr);
    ~InProcessLine() override;

    qint64 send(const char *data, qint64 size) override;
    void notifyWhenWritable(bool on) override;

private:
    QPointer<ProgramEnd> m_programEnd;
    // Everything sent is taken at once, so the line is writable at every turn of the loop.
    QTimer m_writable;
};

#endif
