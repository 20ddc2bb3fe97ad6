#ifndef SCHEDULERHOLD_H
#define SCHEDULERHOLD_H

#include <QtGlobal>

// Time the machine has kept the window's and the timer's threads waiting to
// run so far, from their scheduler statistics: on a busy machine that time is
// not the program's.
class SchedulerHold
{
public:
    // On the window's thread; `timerThread` is the timer's thread id.
    explicit SchedulerHold(long timerThread);
    ~SchedulerHold();
    SchedulerHold(const SchedulerHold &) = delete;
    SchedulerHold &operator=(const SchedulerHold &) = delete;

    qint64 windowNs() const { return heldNs(m_window); }
    qint64 timerNs() const { return heldNs(m_timer); }
    // The calling thread's id, as the scheduler's statistics name it.
    static long threadId();

private:
    static qint64 heldNs(int schedstat);

    int m_window = -1, m_timer = -1;
};

#endif
