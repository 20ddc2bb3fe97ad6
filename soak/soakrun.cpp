#include "soakrun.h"

#include "schedulerhold.h"

#include <QMessageBox>

#include <cstdio>

SoakRun::SoakRun(const SoakOptions &options)
    : m_options(options),
      m_schedule(options.seed),
      m_report(options),
      m_cpu(m_report),
      m_lines(m_cpu, m_report),
      m_heartbeat(m_cpu, m_lines, m_report),
      m_memory(qint64(options.minutes * 60000))
{
    qunsetenv("RURUZIDURA_COM1");
    qunsetenv("RURUZIDURA_COM2");
    connect(&m_heartbeat, &Heartbeat::boxShown, this,
            [this](QMessageBox *box, qint64 sinceLastBeatNs) {
                if (ActionRecord *current = m_driver->current())
                    current->boxNs += sinceLastBeatNs; // it came up since the last beat
                m_judge->judgeBox(*box);
                m_driver->answer(box);
            });
    connect(&m_heartbeat, &Heartbeat::beaten, this,
            [this](qint64 nowNs) { m_cpu.measure(nowNs, [this] { return m_lines.floods(); }); });
}

SoakRun::~SoakRun()
{
    m_judge.reset();
    m_driver.reset();
}

int SoakRun::run()
{
    if (!m_lines.start()) {
        std::fprintf(stderr, "ruru-soak: no temporary folder\n");
        return 2;
    }
    std::printf("ruru-soak: seed %llu, %.1f min, Qt %s\n", qulonglong(m_options.seed),
                m_options.minutes, qVersion());
    std::fflush(stdout);
    long timerThread = 0;
    m_lines.onTimer([&](PerloSim &) { timerThread = SchedulerHold::threadId(); });
    m_hold = std::make_unique<SchedulerHold>(timerThread);
    m_driver = std::make_unique<WindowDriver>(m_lines, m_cpu, m_report, *m_hold);
    m_judge = std::make_unique<ActionJudge>(*m_driver, m_lines, m_report);
    freshWindow();
    m_clock.start();
    m_heartbeat.start(*m_hold);
    m_startNs = PerloSim::nowNs();
    m_cpu.start(m_startNs);

    const qint64 endMs = qint64(m_options.minutes * 60000);
    while (m_clock.elapsed() < endMs && !m_report.hasBreach()) {
        const Step next = m_schedule.next();
        ++m_stepNo;
        if (m_clock.elapsed() >= (m_minute + 1) * 60000LL)
            m_report.progress(++m_minute, MemoryMeter::residentBytes());
        step(next);
        m_memory.afterStep(m_clock.elapsed());
    }
    m_heartbeat.stop();
    m_memory.finish(m_report);
    m_driver->closeWindow();
    finish();
    return m_report.hasBreach() ? 1 : 0;
}

void SoakRun::step(const Step &step)
{
    m_lines.prepare(step, !m_judge->model().connect);
    if (!step.impatient)
        m_driver->waitForQuietLine();
    WindowDriver::waitMs(step.thinkMs);
    ActionRecord record = m_driver->perform(step, m_judge->model());
    bool freshWindowNeeded = false;
    {
        CpuShare::OwnWork own(m_cpu);
        freshWindowNeeded =
                m_judge->judge(step, record, m_lines.behaviour().name(), m_stepNo, m_startNs);
    }
    m_last = std::move(record);
    if (freshWindowNeeded) {
        m_driver->closeWindow();
        freshWindow();
        m_judge->judgeWindow(QStringLiteral("a fresh window"));
    }
}

void SoakRun::freshWindow()
{
    m_driver->freshWindow();
    m_judge->forgetWindow();
}

void SoakRun::finish()
{
    m_heartbeat.addFigures(m_report);
    m_judge->addWidenedFigure(m_report);
    m_cpu.addFigures(m_report);
    m_memory.addFigures(m_report);
    m_judge->addActionFigures(m_report);
    if (!CostBounded)
        m_report.note("sanitizer build: processor share and memory shown, not bounded");
    m_report.printSummary(m_stepNo, double(m_clock.elapsed()) / 60000);
    if (m_report.hasBreach())
        m_report.printBreach(m_stepNo, m_last);
}
