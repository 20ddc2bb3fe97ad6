#include "cpuclock.h"

#include <ctime>

namespace {

qint64 cpuNs(clockid_t clock)
{
    timespec ts{};
    ::clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

qint64 threadCpuNs()
{
    return cpuNs(CLOCK_THREAD_CPUTIME_ID);
}

qint64 processCpuNs()
{
    return cpuNs(CLOCK_PROCESS_CPUTIME_ID);
}
