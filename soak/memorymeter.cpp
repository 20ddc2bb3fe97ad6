#include "memorymeter.h"

#include "cpushare.h"
#include "soakreport.h"

#include <QFile>

#include <malloc.h>
#include <unistd.h>

namespace {

// The resident memory settles within the first seconds, as the window meets
// its first boxes; after that it moves by a few hundred kB.
constexpr qint64 WarmUpMs = 60000;
// Above what steady use moves in hours (up to 1.1 MB in the runs measured);
// a log that is never cut, a buffer kept per wait, grows past it.
constexpr qint64 MaxGrowthBytes = 5 * 1024 * 1024;

} // namespace

MemoryMeter::MemoryMeter(qint64 runMs) : m_warmUpMs(qMin(WarmUpMs, runMs / 4)) { }

void MemoryMeter::afterStep(qint64 elapsedMs)
{
    if (m_afterWarmUp < 0 && elapsedMs >= m_warmUpMs)
        m_afterWarmUp = residentBytes();
}

void MemoryMeter::finish(SoakReport &report)
{
    m_end = residentBytes();
    if (m_afterWarmUp < 0)
        m_afterWarmUp = m_end;
    if (CostBounded && m_end - m_afterWarmUp >= MaxGrowthBytes)
        report.breach(QStringLiteral("resident memory grew by %1 MB after the first %2")
                              .arg(double(m_end - m_afterWarmUp) / 1048576, 0, 'f', 1)
                              .arg(m_warmUpMs == WarmUpMs
                                           ? QStringLiteral("minute")
                                           : QStringLiteral("%1 s").arg(m_warmUpMs / 1000)));
}

void MemoryMeter::addFigures(SoakReport &report) const
{
    const QByteArray label = m_warmUpMs == WarmUpMs
            ? QByteArray("resident memory after the first minute [MB]")
            : "resident memory after the first " + QByteArray::number(m_warmUpMs / 1000)
                    + " s [MB]";
    report.figure(label.constData(), double(m_afterWarmUp) / 1048576, 1);
    report.figure("resident memory at the end [MB]", double(m_end) / 1048576, 1);
}

qint64 MemoryMeter::residentBytes()
{
    // Free memory the allocator still holds (a freed megabyte of a flood)
    // goes back first: what stays is what the process uses.
    ::malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}
