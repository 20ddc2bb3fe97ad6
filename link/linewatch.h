#ifndef LINEWATCH_H
#define LINEWATCH_H

#include <QObject>

class QSerialPort;
class QSocketNotifier;

// Tells when the device behind an open serial line has gone away: the far end
// hung up, or the adapter was pulled. Qt 6.7 and later report nothing of this
// and leave their read notifier firing on the dead line, so the descriptor is
// watched here, whatever the serial library signals.
class LineWatch : public QObject
{
    Q_OBJECT
public:
    explicit LineWatch(QObject *parent = nullptr);
    ~LineWatch() override;

    // Watches the open `line`, whose descriptor must stay open until stop().
    void watch(const QSerialPort &line);
    void stop();

signals:
    void lineGone();

private:
    void check();

    // A duplicate: a second notifier on Qt's own descriptor would clash with its own.
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};

#endif
