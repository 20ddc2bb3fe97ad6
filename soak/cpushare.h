#ifndef CPUSHARE_H
#define CPUSHARE_H

#include <QtGlobal>

#include <functional>

class SoakReport;

// The sanitizers make every instruction dearer (the soak's window thread runs
// at 2.5 times its normal share) and keep freed memory in quarantine: there
// the processor share and the memory are shown, not bounded; leaks are the
// leak checker's to find.
#ifdef RURUZIDURA_SANITIZED
inline constexpr bool CostBounded = false;
#else
inline constexpr bool CostBounded = true;
#endif

// The window thread's share of a core over every 10 s, less the soak's own
// work on that thread; bounded over the stretches in which the timer did not
// flood the line.
class CpuShare
{
public:
    // Figures of their own that some of the soak's work also counts towards:
    // input at a rate no hand reaches, and the making and ending of windows.
    enum class Besides { Nothing, Input, Windows };

    // Processor time the soak spends on its own account (driving, watching,
    // judging), kept out of the window's share; a span inside another counts
    // once.
    class OwnWork
    {
    public:
        explicit OwnWork(CpuShare &share, Besides besides = Besides::Nothing);
        ~OwnWork();
        OwnWork(const OwnWork &) = delete;
        OwnWork &operator=(const OwnWork &) = delete;

    private:
        CpuShare &m_share;
        qint64 *m_also;
        qint64 m_startNs;
    };

    explicit CpuShare(SoakReport &report) : m_report(report) { }

    void start(qint64 nowNs);
    // The timer floods the line in this stretch.
    void flooded() { m_stretchFlooded = true; }
    // Ends the stretch once it is 10 s long; `floods` tells whether the next one begins flooded.
    void measure(qint64 nowNs, const std::function<bool()> &floods);
    void addFigures(SoakReport &report) const;

private:
    SoakReport &m_report;
    int m_ownWorkDepth = 0;
    qint64 m_soakCpuNs = 0; // the soak's own judging and input, in the stretch
    qint64 m_stretchStartNs = 0, m_stretchCpuNs = 0;
    bool m_stretchFlooded = false;
    double m_maxShare = 0, m_maxFloodedShare = 0;
    int m_stretches = 0;
    qint64 m_inputCpuNs = 0, m_windowsCpuNs = 0; // all run long
};

#endif
