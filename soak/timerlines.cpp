#include "timerlines.h"

#include "soakreport.h"

#include <QFileInfo>
#include <QTimer>

namespace {

const QString EmptyLine = QStringLiteral("ttyUSB1");
const QStringList AbsentPorts{ QStringLiteral("ttyUSB8"), QStringLiteral("ttyUSB9") };
const QString TimerHome = QStringLiteral("ttyUSB0"), TimerAway = QStringLiteral("ttyUSB2");

} // namespace

TimerLines::TimerLines(CpuShare &cpu, SoakReport &report) : m_cpu(cpu), m_report(report) { }

TimerLines::~TimerLines()
{
    m_timer.reset();
    m_emptyLine.reset();
}

bool TimerLines::start()
{
    if (!m_dir.isValid())
        return false;
    m_timerName = TimerHome;
    m_timer = std::make_unique<SimThread>();
    m_emptyLine = std::make_unique<SimThread>(
            [](PerloSim &sim) { sim.setFault(PerloSim::Fault::Silent); });
    const QString timerLink = timerPath(false), emptyLink = m_dir.filePath(EmptyLine);
    onTimer([&](PerloSim &sim) { sim.makeLink(timerLink); });
    m_emptyLine->call([&](PerloSim &sim) { sim.makeLink(emptyLink); });
    return true;
}

QString TimerLines::timerPath(bool elsewhere) const
{
    const QString name =
            elsewhere ? (m_timerName == TimerHome ? TimerAway : TimerHome) : m_timerName;
    return m_dir.filePath(name);
}

// What the system lists: the lines that are there (a link goes when its line
// hangs up), and two that are listed but whose device is gone.
QList<PresentPort> TimerLines::presentPorts() const
{
    QList<PresentPort> ports;
    for (const QString &name : { TimerHome, TimerAway, EmptyLine }) {
        const QString path = m_dir.filePath(name);
        if (QFileInfo(path).isSymLink() && (name != EmptyLine || m_emptyLineListed))
            ports.append({ path, {}, {} });
    }
    for (const QString &name : AbsentPorts)
        ports.append({ m_dir.filePath(name), {}, {} });
    return ports;
}

void TimerLines::prepare(const Step &step, bool connected)
{
    CpuShare::OwnWork own(m_cpu);
    if (step.changeBehaviour)
        setBehaviour(step.behaviour);
    if (step.newBlock)
        onTimer([&](PerloSim &sim) { sim.setBlock(step.block); });
    if (step.switchGeneration && !connected) {
        onTimer([](PerloSim &sim) {
            sim.setGeneration(sim.blockLen() == 16 ? 8 : 16);
            sim.setVersion(sim.blockLen() == 16 ? "V2.10" : "V1.04");
        });
        m_report.count(SoakReport::Counted::Faults, QStringLiteral("generation switch"));
    }
    if (!connected)
        m_emptyLineListed = step.emptyLineListed;
    // What the port with nothing behind it heard is of no interest; it would only grow.
    m_emptyLine->call([](PerloSim &sim) { sim.clearReceived(); });

    // A line that went away comes back some seconds later, by its old name or another.
    bool open = true;
    onTimer([&](PerloSim &sim) { open = sim.isOpen(); });
    if (open) {
        m_comeBackPending = false;
    } else if (!m_comeBackPending) {
        m_comeBackPending = true;
        const QString path = timerPath(step.comeBackElsewhere);
        m_timerName = QFileInfo(path).fileName();
        m_report.count(SoakReport::Counted::Faults,
                       step.comeBackElsewhere ? QStringLiteral("back elsewhere")
                                              : QStringLiteral("back"));
        onTimer([&](PerloSim &sim) {
            QTimer::singleShot(step.comeBackMs, &sim, [&sim, path] { sim.comeBack(path); });
        });
    }
}

void TimerLines::setBehaviour(const TimerBehaviour &behaviour)
{
    m_behaviour = behaviour;
    onTimer([&](PerloSim &sim) {
        sim.setFault(behaviour.fault);
        sim.setReplyDelay(behaviour.replyDelayMs());
        sim.setRefused(behaviour.refused);
    });
    if (behaviour.fault == PerloSim::Fault::Stream)
        m_cpu.flooded();
}

TimerFacts TimerLines::timerFacts()
{
    TimerFacts facts;
    facts.behaviour = m_behaviour;
    onTimer([&](PerloSim &sim) {
        facts.blockLen = sim.blockLen();
        facts.block = sim.block();
    });
    facts.version = facts.blockLen == 16 ? "V2.10" : "V1.04";
    return facts;
}

void TimerLines::onTimer(const std::function<void(PerloSim &)> &job)
{
    // The window's thread waits here for the timer's: not the window's delay.
    CpuShare::OwnWork own(m_cpu);
    const qint64 start = PerloSim::nowNs();
    m_timer->call(job);
    m_blockedNs += PerloSim::nowNs() - start;
}

int TimerLines::lineChanges()
{
    int changes = 0;
    onTimer([&](PerloSim &sim) { changes = sim.lineChanges(); });
    return changes;
}

bool TimerLines::floods()
{
    bool streaming = false;
    onTimer([&](PerloSim &sim) { streaming = sim.isStreaming(); });
    return streaming || m_behaviour.fault == PerloSim::Fault::Stream;
}
