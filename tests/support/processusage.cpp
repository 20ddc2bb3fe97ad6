#include "processusage.h"

#include <QFile>
#include <QRegularExpression>

#include <ctime>

qint64 ProcessUsage::cpuTimeUs()
{
    return qint64(std::clock()) * 1000000 / CLOCKS_PER_SEC;
}

bool ProcessUsage::resetPeakRss()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

qint64 ProcessUsage::peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    // Files under /proc claim to be empty: read until the end, not to the size.
    const auto peak = QRegularExpression(QStringLiteral("VmHWM:\\s*(\\d+)")).match(QString::fromLatin1(status.readAll()));
    return peak.hasMatch() ? peak.captured(1).toLongLong() : -1;
}
