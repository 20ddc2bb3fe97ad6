#include "soakrun.h"
#include "boxlook.h"
#include "cpuclock.h"
#include "wirelog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QMutex>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QWindow>

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <malloc.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr qint64 Ms = 1000000;
constexpr int Watchdog = 500;
constexpr int HeartbeatMs = 20;
constexpr qint64 MaxHeartbeatLateNs = 250 * Ms;
constexpr qint64 CpuStretchNs = 10000 * Ms;
constexpr double MaxCpuShare = 0.05;
constexpr qint64 MaxGrowthBytes = 5 * 1024 * 1024;
constexpr qint64 ActionSlackNs = 2000 * Ms;
constexpr qint64 CloseEndsWithinNs = 250 * Ms;
constexpr qint64 FirstByteAfterCommandNs = 100 * Ms;
constexpr qint64 ByteGapNs = 4500000;
constexpr int QuietLineWaitMs = 1500;
constexpr int HistoryLength = 50;
// The sanitizers make every instruction dearer (the soak's window thread runs
// at 2.5 times its normal share) and keep freed memory in quarantine: there
// the processor share and the memory are shown, not bounded; leaks are the
// leak checker's to find.
#ifdef RURUZIDURA_SANITIZED
constexpr bool CostBounded = false;
#else
constexpr bool CostBounded = true;
#endif
constexpr int BarrageMs = 10; // a click and a key
constexpr qsizetype MaxTrafficLines = 1000, MaxTrafficLineLength = 300;

const QString EmptyLine = QStringLiteral("ttyUSB1");
const QStringList AbsentPorts{ QStringLiteral("ttyUSB8"), QStringLiteral("ttyUSB9") };
const QString TimerHome = QStringLiteral("ttyUSB0"), TimerAway = QStringLiteral("ttyUSB2");

// The program's own log of the line, with the moment of every line of it.
struct TrafficCapture
{
    QMutex mutex;
    QStringList lines;
    QList<qint64> ns;
    QtMessageHandler next = nullptr;
} traffic;

void captureTraffic(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && qstrcmp(context.category, "ruruzidura.traffic") == 0) {
        // Enough for one action; a flood's hex would be the soak's memory, not the program's.
        QMutexLocker lock(&traffic.mutex);
        if (traffic.lines.size() < MaxTrafficLines) {
            traffic.lines.append(message.left(MaxTrafficLineLength));
            traffic.ns.append(PerloSim::nowNs());
        }
        return;
    }
    // The off-screen platform's word on every box.
    if (message.contains(QLatin1String("does not support propagateSizeHints")))
        return;
    traffic.next(type, context, message);
}

void takeTraffic(QStringList *lines, QList<qint64> *ns)
{
    QMutexLocker lock(&traffic.mutex);
    *lines = std::exchange(traffic.lines, {});
    *ns = std::exchange(traffic.ns, {});
}

QString rowsText(const std::array<int, FlightParams::RowCount> &rows, int last)
{
    QStringList texts;
    for (int i = 0; i <= last; ++i)
        texts.append(QString::number(rows[size_t(i)]));
    return texts.join(' ');
}

QString printable(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto b = quint8(c);
        text += b >= 0x20 && b < 0x7f && c != '\\'
                ? QString(QLatin1Char(c))
                : QStringLiteral("\\x%1").arg(b, 2, 16, QLatin1Char('0'));
    }
    return text;
}

} // namespace

// Processor time the soak spends on its own account (driving, watching,
// judging), kept out of the window's share; a span inside another counts once.
class SoakRun::OwnWork
{
public:
    explicit OwnWork(SoakRun &run, qint64 *also = nullptr)
        : m_run(run), m_also(also), m_startNs(threadCpuNs())
    {
        ++m_run.m_ownWorkDepth;
    }
    ~OwnWork()
    {
        const qint64 used = threadCpuNs() - m_startNs;
        if (--m_run.m_ownWorkDepth == 0)
            m_run.m_soakCpuNs += used;
        if (m_also)
            *m_also += used;
    }
    OwnWork(const OwnWork &) = delete;
    OwnWork &operator=(const OwnWork &) = delete;

private:
    SoakRun &m_run;
    qint64 *m_also;
    qint64 m_startNs;
};

SoakRun::SoakRun(const SoakOptions &options) : m_options(options), m_schedule(options.seed)
{
    traffic.next = qInstallMessageHandler(captureTraffic);
    QLoggingCategory::setFilterRules(QStringLiteral("ruruzidura.traffic.debug=true"));
    qunsetenv("RURUZIDURA_COM1");
    qunsetenv("RURUZIDURA_COM2");
    m_heartbeat.setTimerType(Qt::PreciseTimer);
    connect(&m_heartbeat, &QTimer::timeout, this, &SoakRun::heartbeat);
}

SoakRun::~SoakRun()
{
    m_window.reset();
    m_timer.reset();
    m_emptyLine.reset();
    qInstallMessageHandler(traffic.next);
}

// ------------------------------------------------------------ lines, window

void SoakRun::startLines()
{
    m_timerName = TimerHome;
    m_timer = std::make_unique<SimThread>();
    m_emptyLine = std::make_unique<SimThread>(
            [](PerloSim &sim) { sim.setFault(PerloSim::Fault::Silent); });
    const QString timerLink = timerPath(false), emptyLink = m_dir.filePath(EmptyLine);
    onTimer([&](PerloSim &sim) { sim.makeLink(timerLink); });
    m_emptyLine->call([&](PerloSim &sim) { sim.makeLink(emptyLink); });
}

QString SoakRun::timerPath(bool elsewhere) const
{
    const QString name =
            elsewhere ? (m_timerName == TimerHome ? TimerAway : TimerHome) : m_timerName;
    return m_dir.filePath(name);
}

// What the system lists: the lines that are there (a link goes when its line
// hangs up), and two that are listed but whose device is gone.
QList<PresentPort> SoakRun::presentPorts() const
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

void SoakRun::freshWindow()
{
    // Starting the program is the bench's figure, not the running window's.
    OwnWork own(*this, &m_windowStartCpuNs);
    m_window = std::make_unique<frmMain>();
    m_window->link().comPERLO.setPortLister([this] { return presentPorts(); });
    m_window->show();
    m_window->activateWindow();
    QElapsedTimer shown;
    shown.start();
    while (!m_window->isActiveWindow() && shown.elapsed() < 2000)
        waitMs(5);
    m_model = WindowModel{};
    m_confused = false;
}

void SoakRun::closeWindow()
{
    if (!m_window)
        return;
    OwnWork own(*this, &m_windowStartCpuNs);
    m_window->close();
    m_window.reset();
}

QWidget *SoakRun::find(const QString &name) const
{
    return m_window->findChild<QWidget *>(name);
}

// A click where the user would make it: through the window, at the middle of
// the control, so that a disabled control or a modal box takes it as a user's.
// Delivered at once, and nothing else runs after it: a click that a handler's
// wait has not taken is not left to run after the handler.
void SoakRun::click(QWidget *widget)
{
    QWindow *window = m_window->windowHandle();
    const QPointF local = widget->mapTo(m_window.get(), widget->rect().center());
    const QPointF global = window->mapToGlobal(local);
    m_inputTimestamp += 1000; // never a double click
    qt_handleMouseEvent(window, local, global, Qt::LeftButton, Qt::LeftButton,
                        QEvent::MouseButtonPress, Qt::NoModifier, int(m_inputTimestamp));
    qt_handleMouseEvent(window, local, global, Qt::NoButton, Qt::LeftButton,
                        QEvent::MouseButtonRelease, Qt::NoModifier, int(m_inputTimestamp));
}

void SoakRun::type(int key, const QString &text)
{
    QWindow *window = m_window->windowHandle();
    qt_handleKeyEvent(window, QEvent::KeyPress, key, Qt::NoModifier, text);
    qt_handleKeyEvent(window, QEvent::KeyRelease, key, Qt::NoModifier, text);
}

void SoakRun::waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void SoakRun::waitForQuietLine()
{
    for (int waited = 0; waited < QuietLineWaitMs; waited += 10) {
        bool replying = false;
        onTimer([&](PerloSim &sim) { replying = sim.isReplying(); });
        if (!replying)
            return;
        waitMs(10);
    }
}

TimerFacts SoakRun::timerFacts()
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

void SoakRun::setBehaviour(const TimerBehaviour &behaviour)
{
    m_behaviour = behaviour;
    onTimer([&](PerloSim &sim) {
        sim.setFault(behaviour.fault);
        sim.setReplyDelay(behaviour.replyDelayMs());
        sim.setRefused(behaviour.refused);
    });
    if (behaviour.fault == PerloSim::Fault::Stream)
        m_stretchFlooded = true;
}

// ------------------------------------------------------------ the run

int SoakRun::run()
{
    if (!m_dir.isValid()) {
        std::fprintf(stderr, "ruru-soak: no temporary folder\n");
        return 2;
    }
    std::printf("ruru-soak: seed %llu, %.1f min, Qt %s\n", qulonglong(m_options.seed),
                m_options.minutes, qVersion());
    std::fflush(stdout);
    startLines();
    m_windowSchedstat = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    long timerThread = 0;
    onTimer([&](PerloSim &) { timerThread = ::syscall(SYS_gettid); });
    m_timerSchedstat = ::open(
            QStringLiteral("/proc/self/task/%1/schedstat").arg(timerThread).toLatin1().constData(),
            O_RDONLY | O_CLOEXEC);
    freshWindow();
    m_clock.start();
    m_heartbeat.start(HeartbeatMs);
    m_lastBeatNs = m_stretchStartNs = m_startNs = PerloSim::nowNs();
    m_heldAtLastBeat = heldNs(m_windowSchedstat);
    m_stretchCpuNs = threadCpuNs();

    const qint64 endMs = qint64(m_options.minutes * 60000);
    while (m_clock.elapsed() < endMs && m_breach.isEmpty()) {
        const Step step = m_schedule.next();
        ++m_stepNo;
        if (m_clock.elapsed() >= (m_minute + 1) * 60000LL)
            progress();
        prepare(step);
        if (!step.impatient)
            waitForQuietLine();
        waitMs(step.thinkMs);
        ActionRecord record = perform(step);
        judge(step, record);
        m_last = std::move(record);
        if (std::exchange(m_freshWindowNeeded, false)) {
            closeWindow();
            freshWindow();
            judgeWindow(QStringLiteral("a fresh window"));
        }
        if (m_rssFirstMinute < 0 && m_clock.elapsed() >= 60000)
            m_rssFirstMinute = residentBytes();
    }
    m_heartbeat.stop();
    m_rssEnd = residentBytes();
    if (m_rssFirstMinute < 0)
        m_rssFirstMinute = m_rssEnd;
    if (CostBounded && m_breach.isEmpty() && m_rssEnd - m_rssFirstMinute >= MaxGrowthBytes)
        breach(QStringLiteral("resident memory grew by %1 MB after the first minute")
                       .arg(double(m_rssEnd - m_rssFirstMinute) / 1048576, 0, 'f', 1));
    closeWindow();
    ::close(m_windowSchedstat);
    ::close(m_timerSchedstat);
    printSummary(m_breach.isEmpty());
    if (!m_breach.isEmpty()) {
        printBreach();
        return 1;
    }
    return 0;
}

void SoakRun::prepare(const Step &step)
{
    OwnWork own(*this);
    const bool connected = !m_model.connect;
    if (step.changeBehaviour)
        setBehaviour(step.behaviour);
    if (step.newBlock)
        onTimer([&](PerloSim &sim) { sim.setBlock(step.block); });
    if (step.switchGeneration && !connected) {
        onTimer([](PerloSim &sim) {
            sim.setGeneration(sim.blockLen() == 16 ? 8 : 16);
            sim.setVersion(sim.blockLen() == 16 ? "V2.10" : "V1.04");
        });
        count(m_faults, QStringLiteral("generation switch"));
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
        count(m_faults,
              step.comeBackElsewhere ? QStringLiteral("back elsewhere") : QStringLiteral("back"));
        onTimer([&](PerloSim &sim) {
            QTimer::singleShot(step.comeBackMs, &sim, [&sim, path] { sim.comeBack(path); });
        });
    }
}

ActionRecord SoakRun::perform(const Step &step)
{
    ActionRecord record;
    record.facts = timerFacts();
    record.factsDuring = record.facts;
    record.rowsAtPress = m_model.values;
    record.blockLen = m_window->link().BlockLen;
    record.lastParam = m_window->link().LastParam;
    record.device = m_window->link().comPERLO.deviceName(m_model.port);
    onTimer([&](PerloSim &sim) {
        sim.clearReceived();
        sim.takeSent();
        record.replyingAtStart = sim.isReplying();
        if (step.hangUpAfterBytes > 0)
            sim.hangUpAfter(step.hangUpAfterBytes, step.hangUpDelayMs);
    });
    const int lineChanges = record.lineChangesAtStart = timerLineChanges();
    QStringList dropped;
    QList<qint64> droppedNs;
    takeTraffic(&dropped, &droppedNs);

    const bool exchange = step.action == Action::Connect || step.action == Action::Set
            || step.action == Action::Retrieve || step.action == Action::Shutter;
    QObject during;
    SoakRandom input(step.inputSeed);
    if (exchange && step.barrage) {
        auto *barrage = new QTimer(&during);
        connect(barrage, &QTimer::timeout, this, [&] {
            // The box comes after the exchange: from then on, input is no longer during a wait.
            if (QApplication::activeModalWidget() || !record.boxes.isEmpty() || record.closedNs)
                return;
            // Input at a rate no hand reaches is the soak's load, not the waiting's cost.
            OwnWork own(*this, &m_barrageCpuNs);
            const QList<QAbstractButton *> buttons = m_window->findChildren<QAbstractButton *>();
            click(buttons[input.below(int(buttons.size()))]);
            static const std::array<int, 5> keys{ Qt::Key_Up, Qt::Key_Down, Qt::Key_Space,
                                                  Qt::Key_Return, Qt::Key_7 };
            const int key = keys[size_t(input.below(5))];
            type(key, key == Qt::Key_7 ? QStringLiteral("7") : QString());
        });
        barrage->start(BarrageMs);
        count(m_faults, QStringLiteral("input during wait"));
    }
    if (exchange && step.closeAfterMs >= 0) {
        QTimer::singleShot(step.closeAfterMs, &during, [&] {
            if (QApplication::activeModalWidget() || !record.boxes.isEmpty())
                return;
            count(m_faults, QStringLiteral("window closed mid-exchange"));
            record.closedNs = PerloSim::nowNs();
            m_window->close();
        });
    }
    if (exchange && step.changeDuring) {
        QTimer::singleShot(step.changeDuringMs, &during, [&] {
            record.changedDuring = true;
            setBehaviour(step.during);
            record.factsDuring = timerFacts();
            count(m_faults, QStringLiteral("change mid-exchange"));
        });
    }

    m_current = &record;
    m_readMs = step.readMs;
    const qint64 windowHeld = heldNs(m_windowSchedstat), timerHeld = heldNs(m_timerSchedstat);
    record.startNs = PerloSim::nowNs();
    switch (step.action) {
    case Action::ChoosePort: {
        // The port the timer is on now, or the other one.
        int timersPort = 1;
        for (int port : { 1, 2 }) {
            if (QFileInfo(m_window->link().comPERLO.deviceName(port)).fileName() == m_timerName)
                timersPort = port;
        }
        const int port = step.timersPort ? timersPort : 3 - timersPort;
        m_pressed = QStringLiteral("optCom(%1)").arg(port - 1);
        click(find(m_pressed));
        if (m_model.serial)
            m_model.port = port;
        break;
    }
    case Action::Connect:
        m_pressed = QStringLiteral("btnConnect");
        break;
    case Action::Set:
        m_pressed = QStringLiteral("btnSet");
        break;
    case Action::Retrieve:
        m_pressed = QStringLiteral("btnGet");
        break;
    case Action::Shutter:
        m_pressed = QStringLiteral("btnShutter");
        break;
    case Action::Step: {
        // Row 6 stays short, so that shutter tests keep the run moving.
        const bool up = step.row == FlightParams::ShutterSpeedRow
                ? step.up && m_model.values[size_t(step.row)] < 10
                : step.up;
        auto *spinner = find(QStringLiteral("udParam(%1)").arg(step.row));
        for (int i = 0; i < step.repeat; ++i) {
            click(spinner->findChild<QWidget *>(up ? "up" : "down"));
            if (m_model.params && step.row <= m_model.lastRowInUse) {
                const FlightParam &param = FlightParams::row(step.row);
                int &value = m_model.values[size_t(step.row)];
                const int stepped = qBound(param.minimum, value + (up ? 1 : -1), param.maximum);
                if (stepped != value || !m_model.shown[size_t(step.row)]) {
                    m_model.set = true;
                    if (step.row == FlightParams::ShutterSpeedRow)
                        m_model.shutter = false;
                }
                value = stepped;
                m_model.shown[size_t(step.row)] = true;
            }
        }
        break;
    }
    case Action::Type:
        click(find(QStringLiteral("txtParam(%1)").arg(step.row)));
        for (const char c : { '1', '2', 'X' })
            type(c, QString(QLatin1Char(c)));
        type(Qt::Key_Backspace, QString());
        break;
    case Action::FreshWindow:
    case Action::Idle:
        break;
    }
    if (exchange)
        click(find(m_pressed));
    if (step.action == Action::Idle)
        waitMs(step.idleMs);
    record.endNs = PerloSim::nowNs();
    record.windowHeldNs = heldNs(m_windowSchedstat) - windowHeld;
    record.timerHeldNs = heldNs(m_timerSchedstat) - timerHeld;
    m_current = nullptr;
    qDeleteAll(during.children());

    onTimer([&](PerloSim &sim) {
        record.received = sim.received();
        record.sent = sim.takeSent();
        sim.hangUpAfter(0, 0);
        record.lineChanged = sim.lineChanges() != lineChanges;
    });
    takeTraffic(&record.traffic, &record.trafficNs);
    return record;
}

// ------------------------------------------------------------ judging

void SoakRun::judge(const Step &step, ActionRecord &record)
{
    OwnWork own(*this);
    count(m_actions, actionName(step.action));
    // A thread the machine held back sees the watchdog and the replies that much later.
    const qint64 heldNs = qMax(record.windowHeldNs, record.timerHeldNs);
    record.facts.graceMs = record.factsDuring.graceMs = int(100 + heldNs / Ms);
    if (heldNs > 10 * Ms)
        ++m_widenedActions;
    const bool exchange = step.action == Action::Connect || step.action == Action::Set
            || step.action == Action::Retrieve || step.action == Action::Shutter;

    // The action ends: its waits, and 2 s more.
    int waitsMs = 0;
    switch (step.action) {
    case Action::Connect:
        waitsMs = 3 * Watchdog;
        break;
    case Action::Set:
        waitsMs = 100 + 5 * PerloSim::MaxBlockLen + Watchdog;
        break;
    case Action::Retrieve:
        waitsMs = Watchdog;
        break;
    case Action::Shutter:
        waitsMs = m_model.values[FlightParams::ShutterSpeedRow] * 100 + Watchdog;
        break;
    case Action::Idle:
        waitsMs = step.idleMs;
        break;
    default:
        break;
    }
    // Its own time: the boxes are the user's, the waits to run are the machine's.
    const qint64 tookNs = record.endNs - record.startNs - record.boxNs - record.windowHeldNs;
    if (step.action != Action::Idle)
        m_maxActionMs = qMax(m_maxActionMs, tookNs / Ms);
    if (tookNs > waitsMs * Ms + ActionSlackNs)
        breach(QStringLiteral("%1 took %2 ms besides its boxes, more than its waits (%3 ms) "
                              "and 2 s")
                       .arg(actionName(step.action))
                       .arg(tookNs / Ms)
                       .arg(waitsMs));

    if (record.closedNs) {
        if (!record.boxes.isEmpty())
            breach(QStringLiteral("a box after the window was closed: ")
                   + record.boxes.join(" | "));
        if (m_window->link().comPERLO.PortOpen())
            breach(QStringLiteral("the port is still open after the window was closed"));
        if (record.endNs - record.closedNs > CloseEndsWithinNs)
            breach(QStringLiteral("the exchange went on for %1 ms after the window was closed")
                           .arg((record.endNs - record.closedNs) / Ms));
        if (step.action == Action::Set)
            judgeBlockWritten(record);
        count(m_outcomes, actionName(step.action) + QStringLiteral(": closed"));
        m_freshWindowNeeded = true;
    } else if (exchange) {
        judgeExchangeAction(step, record);
    } else {
        if (!record.boxes.isEmpty())
            breach(QStringLiteral("a box after %1: %2")
                           .arg(actionName(step.action), record.boxes.join(" | ")));
        if (!record.received.isEmpty())
            breach(QStringLiteral("the timer got bytes from an action without an exchange"));
        m_freshWindowNeeded = step.action == Action::FreshWindow;
    }
    if (!m_freshWindowNeeded)
        judgeWindow(actionName(step.action));

    QString line = QStringLiteral("#%1 %2 s %3")
                           .arg(m_stepNo)
                           .arg(double(record.startNs - m_startNs) / 1e9, 0, 'f', 3)
                           .arg(actionName(step.action));
    if (step.action == Action::Step || step.action == Action::Type)
        line += QStringLiteral(" row %1%2")
                        .arg(step.row)
                        .arg(step.action == Action::Step ? (step.up ? " up" : " down") : "");
    if (step.action == Action::ChoosePort)
        line += QStringLiteral(" COM%1").arg(m_model.port);
    line += QStringLiteral(" | timer %1, %2-byte%3%4")
                    .arg(record.facts.behaviour.name())
                    .arg(record.facts.blockLen)
                    .arg(record.changedDuring ? " then " + m_behaviour.name() : "",
                         record.lineChanged ? ", line went or came" : "");
    if (exchange) {
        if (step.barrage)
            line += QStringLiteral(", input during the wait");
        if (step.hangUpAfterBytes)
            line += QStringLiteral(", hang-up after %1 bytes").arg(step.hangUpAfterBytes);
        if (record.closedNs)
            line += QStringLiteral(", window closed");
    }
    line += QStringLiteral(" | %1 ms | %2")
                    .arg((record.endNs - record.startNs) / Ms)
                    .arg(record.boxes.isEmpty() ? QStringLiteral("no box")
                                                : record.boxes.join(" | ").replace("\r\n", " "));
    m_history.append(line);
    if (m_history.size() > HistoryLength)
        m_history.removeFirst();
    if (m_options.replay)
        std::printf("%s\n", qPrintable(line));
}

bool SoakRun::timerGot(const ActionRecord &record, char command) const
{
    return commandNs(record, command) >= 0;
}

// When the timer got "/command" in this action; -1 when it did not.
qint64 SoakRun::commandNs(const ActionRecord &record, char command) const
{
    for (qsizetype i = 1; i < record.received.size(); ++i) {
        if (record.received[i - 1].byte == '/' && record.received[i].byte == quint8(command))
            return record.received[i].ns;
    }
    return -1;
}

// When the program began the exchange for "/command" (its input cleared); -1 when it did not.
static qint64 programCommandNs(const ActionRecord &record, char command)
{
    const QString line = QStringLiteral("command /%1").arg(QLatin1Char(command));
    for (qsizetype i = 0; i < record.traffic.size(); ++i) {
        if (record.traffic[i] == line)
            return record.trafficNs[i];
    }
    return -1;
}

// Bytes the timer sent from a little before the program cleared its input
// (the pseudo-terminal hands them over a moment later) up to the command, or
// the end when the timer has not yet read the command: whatever they say is
// part of the reply.
static bool strayBytesBefore(const ActionRecord &record, char command, qint64 receivedNs)
{
    constexpr qint64 HandOverNs = 20 * Ms;
    const qint64 clearedNs = programCommandNs(record, command);
    if (clearedNs < 0)
        return false;
    for (const PerloSim::Sent &sent : record.sent) {
        if (sent.ns >= clearedNs - HandOverNs && (receivedNs < 0 || sent.ns < receivedNs))
            return true;
    }
    return false;
}

unsigned SoakRun::outcomesOf(char command, const ActionRecord &record, int watchdogMs, bool first)
{
    if (m_confused)
        return Any;
    const qint64 receivedNs = commandNs(record, command);
    if (strayBytesBefore(record, command, receivedNs))
        return Any;
    if (receivedNs < 0)
        return TimedOut; // nothing on the line heard it
    const int blockLen = m_window->link().BlockLen, lastParam = m_window->link().LastParam;
    auto predict = [&](const TimerFacts &facts) {
        return command == 'D' ? blockOutcomes(facts, blockLen, lastParam, watchdogMs)
                              : textOutcomes(command, facts, watchdogMs);
    };
    unsigned outcomes = predict(record.facts);
    if (record.changedDuring)
        outcomes |= predict(record.factsDuring);
    if (record.lineChanged)
        outcomes |= TimedOut;
    if (first && record.replyingAtStart)
        outcomes = Any;
    return outcomes;
}

void SoakRun::judgeExchangeAction(const Step &step, ActionRecord &record)
{
    WindowModel &m = m_model;
    const bool usable = step.action == Action::Connect ? m.serial && m.connect
            : step.action == Action::Retrieve          ? m.params && m.get
            : step.action == Action::Set               ? m.params && m.set
                                                       : m.params && m.shutter;
    if (!usable) {
        if (!record.boxes.isEmpty() || !record.received.isEmpty())
            breach(QStringLiteral("%1 did something while it could not be pressed")
                           .arg(actionName(step.action)));
        count(m_outcomes, actionName(step.action) + QStringLiteral(": not usable"));
        return;
    }
    count(m_faults, record.facts.behaviour.name());
    if (step.hangUpAfterBytes && record.lineChanged)
        count(m_faults, QStringLiteral("hang-up mid-exchange"));
    if (record.boxes.size() > 1) {
        breach(QStringLiteral("more than one box: ") + record.boxes.join(" | "));
        return;
    }
    const QString box = record.boxes.value(0);
    // "Error Setting Flight Parameters: I/O Timed Out", "Cannot open COM2".
    QString outcome = box.isEmpty() ? QStringLiteral("done") : box.section(QLatin1Char('\r'), 0, 0);
    outcome = outcome.trimmed();
    if (outcome.endsWith(QLatin1Char(':')))
        outcome.chop(1);
    if (box.startsWith(QStringLiteral("Cannot open")))
        outcome = outcome.section(QStringLiteral(" ("), 0, 0);
    else if (box.count(QStringLiteral("\r\n")) == 2)
        outcome += QStringLiteral(": ") + box.section(QStringLiteral("\r\n"), -1);
    count(m_outcomes, actionName(step.action) + QStringLiteral(": ") + outcome);
    if (step.action == Action::Connect) {
        judgeConnect(record);
        return;
    }

    char command = 'D';
    QString heading = QStringLiteral("Error Retreiving Flight Parameters");
    int watchdogMs = Watchdog;
    if (step.action == Action::Set) {
        command = 'P';
        heading = QStringLiteral("Error Setting Flight Parameters");
    } else if (step.action == Action::Shutter) {
        command = 'S';
        heading = QStringLiteral("Error Testing Shutter: ");
        watchdogMs += m.values[FlightParams::ShutterSpeedRow] * 100;
    }
    if (command == 'P' && timerGot(record, 'P') && record.blockLen != record.facts.blockLen)
        m_confused = true; // a block of the wrong length: the timer's parser is lost
    const unsigned outcomes = outcomesOf(command, record, watchdogMs, true);
    const QStringList allowed = command == 'D'
            ? (outcomes & ~Ok ? QStringList{ heading } : QStringList{})
            : failureTexts(heading, outcomes & ~Ok);
    if (box.isEmpty() ? !(outcomes & Ok) : !allowed.contains(box)) {
        breach(QStringLiteral("%1 ended with %2; the timer (%3) allows %4")
                       .arg(actionName(step.action),
                            box.isEmpty() ? QStringLiteral("success") : '"' + box + '"',
                            record.facts.behaviour.name(),
                            (((outcomes & Ok) ? QStringList{ "success" } : QStringList{}) + allowed)
                                    .join(" or ")));
        return;
    }
    const bool ok = box.isEmpty();
    switch (step.action) {
    case Action::Retrieve:
        if (ok && rowsFromLine(record, 'D')) {
            m.set = false;
            m.shutter = true;
        }
        break;
    case Action::Set:
        judgeBlockWritten(record);
        m.set = !ok;
        if (ok)
            m.shutter = true;
        break;
    default:
        m.shutter = true;
        break;
    }
}

void SoakRun::judgeConnect(ActionRecord &record)
{
    WindowModel &m = m_model;
    TimerLink &link = m_window->link();
    const QString box = record.boxes.value(0);
    const bool present = QFileInfo::exists(record.device);
    const QString cannotOpen =
            QStringLiteral("Cannot open COM%1 (%2)\r\n\r\n").arg(m.port).arg(record.device);
    if (box.startsWith(QStringLiteral("Cannot open"))) {
        if (!(box.startsWith(cannotOpen) && (!present || record.lineChanged)))
            breach(QStringLiteral("Connect could not open %1, which is there").arg(record.device));
        if (link.comPERLO.PortOpen())
            breach(QStringLiteral("the port is open after it could not be opened"));
        return;
    }
    if (!present && !record.lineChanged) {
        breach(QStringLiteral("Connect on %1, which is not there, showed no open failure")
                       .arg(record.device));
        return;
    }

    const unsigned version = outcomesOf('V', record, Watchdog, true);
    // A reply that may still be on its way when the next command goes is part of the next reply.
    const bool lateV = (version & TimedOut) && timerGot(record, 'V');
    const unsigned probe = lateV ? Any : outcomesOf('Z', record, Watchdog, false);
    const bool lateZ = (probe & TimedOut) && timerGot(record, 'Z');
    const unsigned block = lateZ ? Any : outcomesOf('D', record, Watchdog, false);

    QStringList allowed =
            failureTexts(QStringLiteral("Error getting timer firmware version"), version & ~Ok);
    if ((version & Ok) && (block & ~Ok))
        allowed.append(QStringLiteral("Error retreiving parameters"));
    const bool successAllowed = (version & Ok) && (block & Ok);
    if (box.isEmpty() ? !successAllowed : !allowed.contains(box)) {
        breach(QStringLiteral("Connect ended with %1; the timer (%2) allows %3")
                       .arg(box.isEmpty() ? QStringLiteral("success") : '"' + box + '"',
                            record.facts.behaviour.name(),
                            ((successAllowed ? QStringList{ "success" } : QStringList{}) + allowed)
                                    .join(" or ")));
        return;
    }
    // The probe's outcome decides the rows in use, whether or not the version was read.
    if (probe == Ok && link.LastParam != FlightParams::SixteenByte.LastParam)
        breach(QStringLiteral("the timer accepted \"/Z\", yet 8 rows are in use"));
    if (!(probe & Ok) && link.LastParam != FlightParams::EightByte.LastParam)
        breach(QStringLiteral("the timer did not accept \"/Z\", yet 11 rows are in use"));
    m.lastRowInUse = link.LastParam;
    if (box.startsWith(QStringLiteral("Error getting"))) {
        if (link.comPERLO.PortOpen())
            breach(QStringLiteral("the port is open after the version read failed"));
        auto *versionBox = m_window->findChild<QLineEdit *>("txtVersion");
        if (versionBox->text() != QStringLiteral("N/A"))
            breach(QStringLiteral("the version box shows %1 after a failed read")
                           .arg(versionBox->text()));
        return;
    }
    m.serial = m.connect = false;
    m.params = true;
    if (version == Ok) {
        auto *versionBox = m_window->findChild<QLineEdit *>("txtVersion");
        if (versionBox->text() != QString::fromLatin1(record.facts.version))
            breach(QStringLiteral("the version box shows %1, the timer is %2")
                           .arg(versionBox->text(), QString::fromLatin1(record.facts.version)));
    }
    if (box.isEmpty() && rowsFromLine(record, 'D')) {
        m.set = false;
        m.shutter = true;
    }
}

// After a read that succeeded: the rows in use must be a block as the line
// carried it to the program. True when they are; the model takes them.
bool SoakRun::rowsFromLine(const ActionRecord &record, char command)
{
    const qint64 receivedNs = commandNs(record, command);
    const qint64 clearedNs = programCommandNs(record, command);
    QByteArray line;
    QList<qint64> lineNs;
    for (const PerloSim::Sent &sent : record.sent) {
        line += sent.bytes;
        lineNs.append(QList<qint64>(sent.bytes.size(), sent.ns));
    }
    const int last = m_window->link().LastParam;
    std::array<int, FlightParams::RowCount> shown{};
    for (int row = 0; row <= last; ++row)
        shown[size_t(row)] =
                m_window->findChild<QLineEdit *>(QStringLiteral("txtParam(%1)").arg(row))
                        ->text()
                        .toInt();
    // Where the block may begin: the first byte sent after the command, or a
    // byte that came earlier yet after the program cleared its input.
    for (qsizetype start = 0; start < line.size(); ++start) {
        if (clearedNs >= 0 && lineNs[start] < clearedNs - 20 * Ms)
            continue;
        const auto values = FlightParams::decodeBlock(QByteArrayView(line).sliced(start), last);
        if (values && std::equal(values->cbegin(), values->cend(), shown.cbegin())) {
            for (int row = 0; row <= last; ++row) {
                m_model.values[size_t(row)] = shown[size_t(row)];
                m_model.shown[size_t(row)] = true;
            }
            return true;
        }
        if (receivedNs >= 0 && lineNs[start] >= receivedNs)
            break;
    }
    breach(QStringLiteral("the rows %1 after a successful read are no block the timer sent: %2")
                   .arg(rowsText(shown, last), printable(line.left(64))));
    return false;
}

void SoakRun::judgeBlockWritten(const ActionRecord &record)
{
    const QList<PerloSim::Received> &got = record.received;
    const qsizetype p = commandIndex(got, 'P');
    if (p < 0)
        return; // the line was gone: the window shows the failure
    QByteArray expected(record.blockLen, '\0');
    for (int i = 0; i <= record.lastParam; ++i)
        expected[i] = char(quint8(record.rowsAtPress[size_t(i)]));
    QByteArray block;
    for (qsizetype i = p + 1; i < got.size(); ++i)
        block.append(char(got[i].byte));
    const bool cut = record.lineChanged || record.closedNs;
    if (block.size() > expected.size() || (block.size() < expected.size() && !cut)
        || block != expected.left(block.size())) {
        breach(QStringLiteral("the timer got the block %1 after \"/P\"; the rows were %2")
                       .arg(printable(block), printable(expected)));
        return;
    }
    // The program's own moments of writing, beside the timer's of reading.
    QList<qint64> written;
    for (qsizetype i = 0; i < record.traffic.size(); ++i) {
        if (record.traffic[i].startsWith(QStringLiteral("out ")))
            written.append(record.trafficNs[i]);
    }
    for (qsizetype i = 0; i < block.size(); ++i) {
        const qint64 floor = i == 0 ? FirstByteAfterCommandNs : ByteGapNs;
        const qint64 atTimer = got[p + 1 + i].ns - got[p + i].ns;
        if (atTimer >= floor)
            continue;
        const qint64 atProgram = i + 1 < written.size() ? written[i + 1] - written[i] : qint64(-1);
        if (atProgram >= floor) {
            ++m_shortGapsAtTimer; // the timer's reader was late, the program was not
            continue;
        }
        breach(QStringLiteral("block byte %1 came %2 ms after the one before (program: %3 ms)")
                       .arg(i)
                       .arg(double(atTimer) / Ms)
                       .arg(double(atProgram) / Ms));
        return;
    }
}

void SoakRun::judgeWindow(const QString &when)
{
    const WindowModel &m = m_model;
    if (QGuiApplication::overrideCursor() || m_window->MousePointer() != 0)
        breach(QStringLiteral("the busy pointer is still up after ") + when);
    if (QApplication::activeModalWidget())
        breach(QStringLiteral("a modal box is still up after ") + when);
    auto own = [this](const char *name) {
        QWidget *w = find(QString::fromLatin1(name));
        return w->isEnabledTo(w->parentWidget());
    };
    struct Expected
    {
        const char *name;
        bool on;
    };
    QStringList wrong;
    for (const Expected &e : { Expected{ "fmeSerial", m.serial },
                               { "btnConnect", m.connect },
                               { "fmeParams", m.params },
                               { "btnGet", m.get },
                               { "btnSet", m.set },
                               { "btnShutter", m.shutter } }) {
        if (own(e.name) != e.on)
            wrong.append(QStringLiteral("%1 %2").arg(e.name, own(e.name) ? "on" : "off"));
    }
    if (!m_window->findChild<QRadioButton *>(QStringLiteral("optCom(%1)").arg(m.port - 1))
                 ->isChecked())
        wrong.append(QStringLiteral("COM%1 not chosen").arg(m.port));
    if (m.connect && m_window->link().comPERLO.PortOpen())
        wrong.append(QStringLiteral("port open while disconnected"));
    QWidget *params = find(QStringLiteral("fmeParams"));
    for (int row = 0; row < FlightParams::RowCount; ++row) {
        auto *box = m_window->findChild<QLineEdit *>(QStringLiteral("txtParam(%1)").arg(row));
        QWidget *spinner = find(QStringLiteral("udParam(%1)").arg(row));
        const bool inUse = row <= m.lastRowInUse;
        if (box->isEnabledTo(params) != inUse || spinner->isEnabledTo(params) != inUse)
            wrong.append(QStringLiteral("row %1 %2").arg(row).arg(inUse ? "greyed" : "in use"));
        const QString text =
                m.shown[size_t(row)] ? QString::number(m.values[size_t(row)]) : QString();
        if (box->text() != text)
            wrong.append(QStringLiteral("row %1 shows \"%2\", not \"%3\"")
                                 .arg(row)
                                 .arg(box->text(), text));
    }
    if (!wrong.isEmpty())
        breach(QStringLiteral("after %1: %2").arg(when, wrong.join(", ")));
}

// ------------------------------------------------------------ watching

void SoakRun::onTimer(const std::function<void(PerloSim &)> &job)
{
    // The window's thread waits here for the timer's: not the window's delay.
    OwnWork own(*this);
    const qint64 start = PerloSim::nowNs();
    m_timer->call(job);
    m_soakBlockedNs += PerloSim::nowNs() - start;
}

qint64 SoakRun::heldNs(int schedstat)
{
    // "time on the processor, time waiting to run, timeslices", in ns.
    char text[96] = {};
    if (schedstat < 0 || ::pread(schedstat, text, sizeof text - 1, 0) <= 0)
        return 0;
    return QByteArray(text).split(' ').value(1).toLongLong();
}

int SoakRun::timerLineChanges()
{
    int changes = 0;
    onTimer([&](PerloSim &sim) { changes = sim.lineChanges(); });
    return changes;
}

void SoakRun::heartbeat()
{
    OwnWork own(*this);
    const qint64 now = PerloSim::nowNs();
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    // Late by the window's own doing: not while the soak waited for the
    // timer's thread, nor while the machine kept the window's thread waiting to run.
    const qint64 held = heldNs(m_windowSchedstat);
    const qint64 rawLateNs = now - m_lastBeatNs - HeartbeatMs * Ms;
    const qint64 heldBeatNs = held - m_heldAtLastBeat;
    const qint64 lateNs = rawLateNs - (m_soakBlockedNs - m_blockedAtLastBeat) - heldBeatNs;
    m_heldAtLastBeat = held;
    if (!box && !m_boxAtLastBeat) {
        ++m_beats;
        m_maxLateNs = qMax(m_maxLateNs, lateNs);
        m_maxRawLateNs = qMax(m_maxRawLateNs, rawLateNs);
        m_maxHeldBeatNs = qMax(m_maxHeldBeatNs, heldBeatNs);
        if (lateNs > MaxHeartbeatLateNs)
            breach(QStringLiteral("the %1 ms heartbeat came %2 ms late (%3 ms with the time "
                                  "the machine kept the thread waiting)")
                           .arg(HeartbeatMs)
                           .arg(lateNs / Ms)
                           .arg(rawLateNs / Ms));
    }
    m_boxAtLastBeat = box;
    if (box && box != m_box) {
        if (m_current)
            m_current->boxNs += now - m_lastBeatNs; // it came up since the last beat
        answerBox(box);
    }
    m_lastBeatNs = now;
    m_blockedAtLastBeat = m_soakBlockedNs;

    if (now - m_stretchStartNs >= CpuStretchNs) {
        const qint64 cpu = threadCpuNs();
        const double share =
                double(cpu - m_stretchCpuNs - m_soakCpuNs) / double(now - m_stretchStartNs);
        if (m_stretchFlooded) {
            m_maxFloodedCpuShare = qMax(m_maxFloodedCpuShare, share);
        } else {
            ++m_stretches;
            m_maxCpuShare = qMax(m_maxCpuShare, share);
            if (CostBounded && share >= MaxCpuShare)
                breach(QStringLiteral("the window's thread used %1% of a core over 10 s")
                               .arg(100 * share, 0, 'f', 1));
        }
        m_stretchStartNs = now;
        m_stretchCpuNs = cpu;
        m_soakCpuNs = 0;
        // A stream runs until the next command, so it can flood the next
        // stretch too, after the timer has been given another fault.
        bool streaming = false;
        onTimer([&](PerloSim &sim) { streaming = sim.isStreaming(); });
        m_stretchFlooded = streaming || m_behaviour.fault == PerloSim::Fault::Stream;
    }
}

void SoakRun::answerBox(QMessageBox *box)
{
    m_box = box;
    QStringList wrong = boxStyleFaults(*box);
    if (QWidget *pressed = find(m_pressed);
        pressed && pressed->isEnabledTo(pressed->parentWidget()))
        wrong.append(m_pressed + QStringLiteral(" is back before the box"));
    // Unless the line went away by itself, which closes the port at once.
    if (box->text().startsWith(QStringLiteral("Error getting"))
        && !m_window->link().comPERLO.PortOpen() && m_current
        && timerLineChanges() == m_current->lineChangesAtStart)
        wrong.append(QStringLiteral("the port was closed before the box"));
    if (!m_current)
        wrong.append(QStringLiteral("no action is running"));
    else
        m_current->boxes.append(box->text());
    if (!wrong.isEmpty())
        breach(QStringLiteral("box \"%1\": %2").arg(box->text(), wrong.join(", ")));
    const qint64 shownNs = PerloSim::nowNs();
    QTimer::singleShot(m_readMs, box, [this, box, shownNs] {
        if (m_current)
            m_current->boxNs += PerloSim::nowNs() - shownNs;
        box->button(QMessageBox::Ok)->click();
    });
}

void SoakRun::breach(const QString &what)
{
    if (m_breach.isEmpty())
        m_breach = what;
}

qint64 SoakRun::residentBytes() const
{
    // Free memory the allocator still holds (a freed megabyte of a flood)
    // goes back first: what stays is what the process uses.
    ::malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

static QString counted(const QMap<QString, int> &counts)
{
    QStringList parts;
    int total = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        parts.append(QStringLiteral("%1 %2").arg(it.key()).arg(it.value()));
        total += it.value();
    }
    return QStringLiteral("%1 (%2)").arg(total).arg(parts.join(", "));
}

void SoakRun::progress()
{
    ++m_minute;
    std::printf("ruru-soak: minute %d: resident %.1f MB; actions %s; timer behaviours %s\n",
                m_minute, double(residentBytes()) / 1048576, qPrintable(counted(m_actions)),
                qPrintable(counted(m_faults)));
    std::fflush(stdout);
}

void SoakRun::printSummary(bool passed)
{
    auto table = [](const char *title, const QMap<QString, int> &counts) {
        std::printf("%s\n", title);
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            std::printf("  %-60s %8d\n", qPrintable(it.key()), it.value());
    };
    std::printf("\nruru-soak: seed %llu, %lld steps in %.1f min\n", qulonglong(m_options.seed),
                qlonglong(m_stepNo), double(m_clock.elapsed()) / 60000);
    table("Actions", m_actions);
    table("Timer behaviours and events", m_faults);
    table("Outcomes", m_outcomes);
    std::printf("Figures\n");
    std::printf("  %-60s %8.1f\n", "largest heartbeat delay outside boxes [ms]",
                double(m_maxLateNs) / Ms);
    std::printf("  %-60s %8.1f\n", "  the same, with the time the machine held the thread [ms]",
                double(m_maxRawLateNs) / Ms);
    std::printf("  %-60s %8.1f\n", "  longest hold by the machine between two heartbeats [ms]",
                double(m_maxHeldBeatNs) / Ms);
    std::printf("  %-60s %8lld\n", "heartbeats measured", qlonglong(m_beats));
    std::printf("  %-60s %8d\n", "actions judged with more grace for a held thread",
                m_widenedActions);
    std::printf("  %-60s %8.2f\n", "window thread, highest share of a core over 10 s [%]",
                100 * m_maxCpuShare);
    std::printf("  %-60s %8d\n", "  10 s stretches without a flood", m_stretches);
    std::printf("  %-60s %8.2f\n", "  the same while the timer flooded the line [%]",
                100 * m_maxFloodedCpuShare);
    std::printf("  %-60s %8.1f\n", "  processor time of the input injected during waits [s]",
                double(m_barrageCpuNs) / 1e9);
    std::printf("  %-60s %8.1f\n", "  processor time of making and ending windows [s]",
                double(m_windowStartCpuNs) / 1e9);
    std::printf("  %-60s %8.1f\n", "resident memory after the first minute [MB]",
                double(m_rssFirstMinute) / 1048576);
    std::printf("  %-60s %8.1f\n", "resident memory at the end [MB]", double(m_rssEnd) / 1048576);
    std::printf("  %-60s %8lld\n", "longest action besides its boxes [ms]",
                qlonglong(m_maxActionMs));
    std::printf("  %-60s %8d\n", "block gaps short at the timer, not at the program",
                m_shortGapsAtTimer);
    if (!CostBounded)
        std::printf("  (sanitizer build: processor share and memory shown, not bounded)\n");
    std::printf("Outcome: %s\n", passed ? "PASS" : "BREACH");
    std::fflush(stdout);
}

void SoakRun::printBreach()
{
    std::printf("\nBREACH (seed %llu, step %lld): %s\n", qulonglong(m_options.seed),
                qlonglong(m_stepNo), qPrintable(m_breach));
    std::printf("\nThe last %lld actions:\n", qlonglong(m_history.size()));
    for (const QString &line : m_history)
        std::printf("  %s\n", qPrintable(line));
    const ActionRecord &r = m_last;
    auto at = [&](qint64 ns) { return double(ns - r.startNs) / Ms; };
    std::printf("\nThe line during the last action (ms from its start):\n");
    for (qsizetype i = 0; i < r.traffic.size(); ++i)
        std::printf("  %9.3f program  %s\n", at(r.trafficNs[i]),
                    qPrintable(r.traffic[i].left(200)));
    QByteArray run;
    qint64 runNs = 0;
    auto flush = [&] {
        if (!run.isEmpty())
            std::printf("  %9.3f timer got  %s\n", at(runNs), qPrintable(printable(run)));
        run.clear();
    };
    for (const PerloSim::Received &got : r.received) {
        if (got.ns - runNs > Ms)
            flush();
        if (run.isEmpty())
            runNs = got.ns;
        run.append(char(got.byte));
    }
    flush();
    for (const PerloSim::Sent &sent : r.sent)
        std::printf("  %9.3f timer sent %s\n", at(sent.ns),
                    qPrintable(printable(sent.bytes.left(80))));
    std::fflush(stdout);
}
