#include "schedulerhold.h"

#include <QByteArrayList>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

SchedulerHold::SchedulerHold(long timerThread)
    : m_window(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)),
      m_timer(::open(QByteArray("/proc/self/task/" + QByteArray::number(timerThread) + "/schedstat")
                             .constData(),
                     O_RDONLY | O_CLOEXEC))
{
}

SchedulerHold::~SchedulerHold()
{
    ::close(m_window);
    ::close(m_timer);
}

long SchedulerHold::threadId()
{
    return ::syscall(SYS_gettid);
}

qint64 SchedulerHold::heldNs(int schedstat)
{
    // "time on the processor, time waiting to run, timeslices", in ns.
    char text[96] = {};
    if (schedstat < 0 || ::pread(schedstat, text, sizeof text - 1, 0) <= 0)
        return 0;
    return QByteArray(text).split(' ').value(1).toLongLong();
}
