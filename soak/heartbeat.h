#ifndef HEARTBEAT_H
#define HEARTBEAT_H

#include <QObject>
#include <QPointer>
#include <QTimer>

class CpuShare;
class QMessageBox;
class SchedulerHold;
class SoakReport;
class TimerLines;

// A 20 ms timer on the window's thread, late only when something there keeps
// the event loop from it: the program's waits must keep it running. It also
// sees every box come up.
class Heartbeat : public QObject
{
    Q_OBJECT
public:
    Heartbeat(CpuShare &cpu, TimerLines &lines, SoakReport &report);

    void start(const SchedulerHold &hold);
    void stop() { m_timer.stop(); }
    void addFigures(SoakReport &report) const;

signals:
    // A box that was not up at the last beat, which came `sinceLastBeatNs` ago at most.
    void boxShown(QMessageBox *box, qint64 sinceLastBeatNs);
    void beaten(qint64 nowNs);

private:
    void beat();

    CpuShare &m_cpu;
    TimerLines &m_lines;
    SoakReport &m_report;
    const SchedulerHold *m_hold = nullptr;
    QTimer m_timer;
    QPointer<QMessageBox> m_box;
    bool m_boxAtLastBeat = false;
    qint64 m_lastBeatNs = 0, m_heldAtLastBeat = 0, m_blockedAtLastBeat = 0;
    qint64 m_beats = 0, m_maxLateNs = 0, m_maxRawLateNs = 0, m_maxHeldBeatNs = 0;
};

#endif
