#ifndef TIMERLINES_H
#define TIMERLINES_H

#include "cpushare.h"
#include "expectation.h"
#include "portmap.h"
#include "schedule.h"
#include "simthread.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>

class SoakReport;

// The lines the window may open, under names the soak lists for it: the
// simulated timer (on its own thread, on one of two ports, coming back after a
// hang-up), a port with nothing behind it, and two the system lists whose
// device is gone.
class TimerLines
{
public:
    TimerLines(CpuShare &cpu, SoakReport &report);
    ~TimerLines();

    bool start();
    QList<PresentPort> presentPorts() const;
    QString timerName() const { return m_timerName; }

    // Before a step: its changes to the timer, and a line that went away brought back.
    void prepare(const Step &step, bool connected);
    void setBehaviour(const TimerBehaviour &behaviour);
    TimerBehaviour behaviour() const { return m_behaviour; }
    TimerFacts timerFacts();
    // Runs `job` on the timer's thread; the wait is the soak's, not the window's.
    void onTimer(const std::function<void(PerloSim &)> &job);
    int lineChanges();
    // Junk floods the line, or will at the next command.
    bool floods();
    // Time the window's thread has spent in onTimer().
    qint64 blockedNs() const { return m_blockedNs; }

private:
    QString timerPath(bool elsewhere) const;

    CpuShare &m_cpu;
    SoakReport &m_report;
    QTemporaryDir m_dir;
    std::unique_ptr<SimThread> m_timer;
    std::unique_ptr<SimThread> m_emptyLine;
    QString m_timerName; // where the timer is (or comes back)
    bool m_comeBackPending = false;
    bool m_emptyLineListed = true;
    TimerBehaviour m_behaviour;
    qint64 m_blockedNs = 0;
};

#endif
