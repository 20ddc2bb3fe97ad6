#include "busysampler.h"
#include "perlosim.h"
#include "timerlink.h"

#include <QCursor>
#include <QGuiApplication>

BusySampler::BusySampler(const TimerLink &link, QObject *parent)
    : QObject(parent)
    , m_link(link)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &BusySampler::take);
    m_timer.start();
}

void BusySampler::take()
{
    const QCursor *cursor = QGuiApplication::overrideCursor();
    m_samples.append({PerloSim::nowNs(), cursor && cursor->shape() == Qt::WaitCursor,
                      m_link.tmrDog.Interval()});
}

std::optional<qint64> BusySampler::firstBusyNs() const
{
    for (const Sample &s : m_samples) {
        if (s.waitCursor)
            return s.ns;
    }
    return std::nullopt;
}

std::optional<qint64> BusySampler::lastBusyNs() const
{
    for (auto it = m_samples.crbegin(); it != m_samples.crend(); ++it) {
        if (it->waitCursor)
            return it->ns;
    }
    return std::nullopt;
}

QList<int> BusySampler::busyDogIntervals() const
{
    QList<int> intervals;
    for (const Sample &s : m_samples) {
        if (s.waitCursor)
            intervals.append(s.dogInterval);
    }
    return intervals;
}
