#ifndef SOAKRUN_H
#define SOAKRUN_H

#include "actionjudge.h"
#include "cpushare.h"
#include "heartbeat.h"
#include "memorymeter.h"
#include "schedule.h"
#include "soakrecords.h"
#include "soakreport.h"
#include "timerlines.h"
#include "trafficcapture.h"
#include "windowdriver.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>

class SchedulerHold;

// The soak: the real window against simulated timers, driven by a seeded
// schedule, with every invariant checked after every action.
class SoakRun : public QObject
{
    Q_OBJECT
public:
    explicit SoakRun(const SoakOptions &options);
    ~SoakRun() override;
    int run();

private:
    void step(const Step &step);
    void freshWindow();
    void finish();

    SoakOptions m_options;
    Schedule m_schedule;
    TrafficCapture m_traffic;
    SoakReport m_report;
    CpuShare m_cpu;
    TimerLines m_lines;
    std::unique_ptr<SchedulerHold> m_hold; // once the timer's thread runs
    Heartbeat m_heartbeat;
    MemoryMeter m_memory;
    std::unique_ptr<WindowDriver> m_driver;
    std::unique_ptr<ActionJudge> m_judge;

    QElapsedTimer m_clock;
    qint64 m_startNs = 0;
    qint64 m_stepNo = 0;
    int m_minute = 0;
    ActionRecord m_last;
};

#endif
