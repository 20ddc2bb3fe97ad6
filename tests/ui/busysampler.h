#ifndef BUSYSAMPLER_H
#define BUSYSAMPLER_H

#include <QList>
#include <QObject>
#include <QTimer>

#include <optional>

class TimerLink;

// Looks at the cursor and the watchdog every few milliseconds, as the
// user and the link would see them while an exchange waits.
class BusySampler : public QObject
{
    Q_OBJECT
public:
    struct Sample
    {
        qint64 ns; // steady clock, as PerloSim::nowNs()
        bool waitCursor;
        int dogInterval;
    };

    explicit BusySampler(const TimerLink &link, QObject *parent = nullptr);

    const QList<Sample> &samples() const { return m_samples; }
    std::optional<qint64> firstBusyNs() const;
    std::optional<qint64> lastBusyNs() const;
    // Watchdog intervals seen while the wait cursor was up.
    QList<int> busyDogIntervals() const;

private:
    void take();

    const TimerLink &m_link;
    QTimer m_timer;
    QList<Sample> m_samples;
};

#endif
