#include "linktimer.h"

LinkTimer::LinkTimer(QObject *parent) : QObject(parent)
{
    // Pauses of 5 ms must last 5 ms, not a coarse timer tick.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LinkTimer::Timer);
}

void LinkTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    restart();
}

void LinkTimer::setInterval(int ms)
{
    m_interval = ms;
    restart();
}

void LinkTimer::restart()
{
    if (m_enabled && m_interval > 0)
        m_timer.start(m_interval);
    else
        m_timer.stop();
}
