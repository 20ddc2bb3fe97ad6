#include "cpushare.h"

#include "cpuclock.h"
#include "soakreport.h"

namespace {

constexpr qint64 StretchNs = 10000 * 1000000LL;
// A wait that spins takes a core while it waits; the window's own work, the
// heartbeat and the link's waiting take about 2-3% on a loaded machine.
constexpr double MaxShare = 0.05;

} // namespace

CpuShare::OwnWork::OwnWork(CpuShare &share, Besides besides)
    : m_share(share),
      m_also(besides == Besides::Input             ? &share.m_inputCpuNs
                     : besides == Besides::Windows ? &share.m_windowsCpuNs
                                                   : nullptr),
      m_startNs(threadCpuNs())
{
    ++m_share.m_ownWorkDepth;
}

CpuShare::OwnWork::~OwnWork()
{
    const qint64 used = threadCpuNs() - m_startNs;
    if (--m_share.m_ownWorkDepth == 0)
        m_share.m_soakCpuNs += used;
    if (m_also)
        *m_also += used;
}

void CpuShare::start(qint64 nowNs)
{
    m_stretchStartNs = nowNs;
    m_stretchCpuNs = threadCpuNs();
}

void CpuShare::measure(qint64 nowNs, const std::function<bool()> &floods)
{
    if (nowNs - m_stretchStartNs < StretchNs)
        return;
    const qint64 cpu = threadCpuNs();
    const double share =
            double(cpu - m_stretchCpuNs - m_soakCpuNs) / double(nowNs - m_stretchStartNs);
    if (m_stretchFlooded) {
        m_maxFloodedShare = qMax(m_maxFloodedShare, share);
    } else {
        ++m_stretches;
        m_maxShare = qMax(m_maxShare, share);
        if (CostBounded && share >= MaxShare)
            m_report.breach(QStringLiteral("the window's thread used %1% of a core over 10 s")
                                    .arg(100 * share, 0, 'f', 1));
    }
    m_stretchStartNs = nowNs;
    m_stretchCpuNs = cpu;
    m_soakCpuNs = 0;
    // A stream runs until the next command, so it can flood the next
    // stretch too, after the timer has been given another fault.
    m_stretchFlooded = floods();
}

void CpuShare::addFigures(SoakReport &report) const
{
    report.figure("window thread, highest share of a core over 10 s [%]", 100 * m_maxShare, 2);
    report.figure("  10 s stretches without a flood", qint64(m_stretches));
    report.figure("  the same while the timer flooded the line [%]", 100 * m_maxFloodedShare, 2);
    report.figure("  processor time of the input injected during waits [s]",
                  double(m_inputCpuNs) / 1e9, 1);
    report.figure("  processor time of making and ending windows [s]", double(m_windowsCpuNs) / 1e9,
                  1);
}
