#include "heartbeat.h"

#include "cpushare.h"
#include "perlosim.h"
#include "schedulerhold.h"
#include "soakreport.h"
#include "timerlines.h"

#include <QApplication>
#include <QMessageBox>

namespace {

constexpr int HeartbeatMs = 20;
constexpr qint64 MaxHeartbeatLateNs = 250 * Ms;

} // namespace

Heartbeat::Heartbeat(CpuShare &cpu, TimerLines &lines, SoakReport &report)
    : m_cpu(cpu), m_lines(lines), m_report(report)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Heartbeat::beat);
}

void Heartbeat::start(const SchedulerHold &hold)
{
    m_hold = &hold;
    m_timer.start(HeartbeatMs);
    m_lastBeatNs = PerloSim::nowNs();
    m_heldAtLastBeat = hold.windowNs();
}

void Heartbeat::beat()
{
    CpuShare::OwnWork own(m_cpu);
    const qint64 now = PerloSim::nowNs();
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    // Late by the window's own doing: not while the soak waited for the
    // timer's thread, nor while the machine kept the window's thread waiting to run.
    const qint64 held = m_hold->windowNs();
    const qint64 rawLateNs = now - m_lastBeatNs - HeartbeatMs * Ms;
    const qint64 heldBeatNs = held - m_heldAtLastBeat;
    const qint64 lateNs = rawLateNs - (m_lines.blockedNs() - m_blockedAtLastBeat) - heldBeatNs;
    m_heldAtLastBeat = held;
    if (!box && !m_boxAtLastBeat) {
        ++m_beats;
        m_maxLateNs = qMax(m_maxLateNs, lateNs);
        m_maxRawLateNs = qMax(m_maxRawLateNs, rawLateNs);
        m_maxHeldBeatNs = qMax(m_maxHeldBeatNs, heldBeatNs);
        if (lateNs > MaxHeartbeatLateNs)
            m_report.breach(QStringLiteral("the %1 ms heartbeat came %2 ms late (%3 ms with the "
                                           "time the machine kept the thread waiting)")
                                    .arg(HeartbeatMs)
                                    .arg(lateNs / Ms)
                                    .arg(rawLateNs / Ms));
    }
    m_boxAtLastBeat = box;
    if (box && box != m_box) {
        m_box = box;
        emit boxShown(box, now - m_lastBeatNs);
    }
    m_lastBeatNs = now;
    m_blockedAtLastBeat = m_lines.blockedNs();
    emit beaten(now);
}

void Heartbeat::addFigures(SoakReport &report) const
{
    report.figure("largest heartbeat delay outside boxes [ms]", double(m_maxLateNs) / Ms, 1);
    report.figure("  the same, with the time the machine held the thread [ms]",
                  double(m_maxRawLateNs) / Ms, 1);
    report.figure("  longest hold by the machine between two heartbeats [ms]",
                  double(m_maxHeldBeatNs) / Ms, 1);
    report.figure("heartbeats measured", m_beats);
}
