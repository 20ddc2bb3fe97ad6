#include "processusage.h"

#include <QFile>
#include <QRegularExpression>

#include <ctime>

namespace ProcessUsage {

qint64 cpuTimeUs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

bool resetPeakRss()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

qint64 peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // Files under /proc claim to be empty: read until the end, not to the size.
    const QString text = QString::fromLatin1(status.readAll());
    const auto peak = QRegularExpression(QStringLiteral("VmHWM:\\s*(\\d+)")).match(text);
    return peak.hasMatch() ? peak.captured(1).toLongLong() : -1;
}

} // namespace ProcessUsage
