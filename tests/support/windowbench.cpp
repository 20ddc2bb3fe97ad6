#include "windowbench.h"
#include "boxlook.h"
#include "cpuclock.h"
#include "portlist.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QTest>

#include <tuple>

bool WindowState::operator==(const WindowState &other) const
{
    return std::tie(com, portOpen, enabled, rows, version)
            == std::tie(other.com, other.portOpen, other.enabled, other.rows, other.version);
}

// The frames and buttons, in the order of WindowState's flags.
static const char *const ControlNames[] = { "fmeSerial", "btnConnect", "fmeParams",
                                            "btnGet",    "btnSet",     "btnShutter" };

char *toString(const WindowState &state)
{
    QString text =
            QStringLiteral("COM%1 %2;").arg(state.com).arg(state.portOpen ? "open" : "closed");
    for (int bit = 0; bit < 6; ++bit)
        text += QStringLiteral(" %1%2").arg(
                ControlNames[bit],
                state.enabled.testFlag(WindowState::Control(1 << bit)) ? "+" : "-");
    return qstrdup(qPrintable(text + "; rows " + state.rows + "; " + state.version));
}

namespace {

bool read(const QString &word, int &value)
{
    bool ok = false;
    value = word.toInt(&ok);
    return ok;
}

bool read(const QString &word, char &value)
{
    value = word.isEmpty() ? '\0' : word.at(0).toLatin1();
    return word.size() == 1;
}

bool read(const QString &word, QString &value)
{
    value = word;
    return true;
}

bool read(const QString &word, PerloSim::Fault &value)
{
    bool known = false;
    value = PerloSim::faultFromName(word, &known);
    return known;
}

// The argument's words read as the action's parameters, the last taking the
// rest of the line (a port's description has spaces); false if one does not read.
template<typename... Parameters>
std::function<bool(const QString &)> reading(const std::function<void(Parameters...)> &action)
{
    return [action](const QString &argument) {
        constexpr int count = int(sizeof...(Parameters));
        std::tuple<std::decay_t<Parameters>...> values;
        int at = 0;
        const auto next = [&](auto &value) {
            return read(++at < count ? argument.section(' ', at - 1, at - 1)
                                     : argument.section(' ', at - 1),
                        value);
        };
        if (!std::apply([&](auto &...value) { return (next(value) && ...); }, values)
            || (count == 0 && !argument.isEmpty()))
            return false;
        std::apply(action, values);
        return true;
    };
}

} // namespace

template<typename Action>
void WindowBench::addVerb(const char *name, Action action)
{
    m_verbs.insert(QLatin1String(name), reading(std::function(action)));
}

// Timer 1 is the one that misbehaves, takes other rows or answers late.
void WindowBench::addVerbs()
{
    addVerb("connect", [this] { press("btnConnect"); });
    addVerb("get", [this] { press("btnGet"); });
    addVerb("set", [this] { press("btnSet"); });
    addVerb("shutter", [this] { press("btnShutter"); });
    addVerb("com1", [this] { press("optCom(0)"); });
    addVerb("com2", [this] { press("optCom(1)"); });
    for (const char *arrow : { "up", "down" })
        addVerb(arrow, [this, arrow](int row) {
            QTest::mouseClick(spinner(row)->findChild<QWidget *>(arrow), Qt::LeftButton);
        });
    addVerb("type", [this] { QTest::keyClicks(find("txtVersion"), "V9.99"); });
    addVerb("fault", [this](PerloSim::Fault fault) { sim().setFault(fault); });
    addVerb("block", [this] { sim().setBlock(sim(2).block()); }); // timer 2's rows
    addVerb("row", [this](int row, int value) {
        sim().setBlock(sim().block().replace(row, 1, QByteArray(1, char(value))));
    });
    addVerb("gen", [this](int firmware) { sim().setGeneration(firmware); });
    addVerb("delay", [this](int ms) { sim().setReplyDelay(ms); });
    addVerb("slow", [this](char command) { // answers only after 30 s
        const QByteArray reply =
                command == 'D' ? sim().block() : QByteArray(command == 'V' ? "V2.10\r\nOK" : "OK");
        sim().setScript(command, { { 30000, reply } });
    });
    addVerb("drop", [this] { QTimer::singleShot(100, &sim(), &PerloSim::hangUp); });
    addVerb("idle", [] { QTest::qWait(1000); });
    addVerb("adapter", [this] { // COM1 is the one port the system lists
        qunsetenv("RURUZIDURA_COM1");
        link().comPERLO.setPortLister([this] { return m_present; });
    });
    addVerb("ports", [this](const QString &ports) { // "A|desc|maker,B", or none at all
        m_present = portsFrom(ports.split(',', Qt::SkipEmptyParts));
        link().comPERLO.setPortLister([this] { return m_present; });
    });
    addVerb("replug", [this](const QString &name) { // timer 2 appears as NAME, the one listed
        m_present = { { cable(1).chopped(4) + name, {}, {} } };
        QVERIFY(sim(2).makeLink(m_present.first().device));
    });
    addVerb("absent",
            [this] { qputenv("RURUZIDURA_COM1", QFile::encodeName(cable(1) + ".absent")); });
    addVerb("held", [this] { // by another program
        m_otherProgram.setPortName(cable(1));
        QVERIFY(m_otherProgram.open(QIODevice::ReadWrite));
    });
    addVerb("denied", [this] { // a device this process may not open
        const QString device = cable(1) + ".denied";
        QVERIFY(QFile(device).open(QIODevice::WriteOnly) && QFile::setPermissions(device, {}));
        qputenv("RURUZIDURA_COM1", QFile::encodeName(device));
    });
    addVerb("barrage", [this] { m_barrage.start(5); }); // during the next step
    // Closes the window afterMs after bytes have followed "/command", during the next step.
    addVerb("close", [this](char command, int bytes, int afterMs) {
        const QByteArray sent = QByteArray("/") + command;
        QObject::connect(&m_closer, &QTimer::timeout, [=, conditionNs = qint64(0)]() mutable {
            const QByteArray wire = sim().receivedBytes();
            const qsizetype at = wire.lastIndexOf(sent);
            if (conditionNs == 0 && at >= 0 && wire.size() - at - 2 >= bytes)
                conditionNs = PerloSim::nowNs();
            if (conditionNs && !m_closedNs
                && PerloSim::nowNs() - conditionNs >= afterMs * 1000000LL) {
                m_closedNs = PerloSim::nowNs();
                m_window->close();
            }
        });
        m_closer.start(1);
    });
}

WindowBench::WindowBench()
{
    for (PerloSim &sim : m_sims)
        sim.setLinePaced(false);
    m_sampler.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_sampler, &QTimer::timeout, [this] { answerBox(); });
    for (int port : { 1, 2 })
        QObject::connect(&sim(port), &PerloSim::commandReceived, [this, port](char command) {
            m_roundsAtLastCommand = m_rounds;
            const bool readAtConnect = m_verb == QLatin1String("connect") && command == 'D';
            if (m_window->MousePointer() != (readAtConnect ? 0 : 11))
                wrongPointers += QStringLiteral("%1/%2 ").arg(port).arg(command);
        });
    // Every input the window takes, each round: every button pressed, every row stepped.
    QObject::connect(&m_barrage, &QTimer::timeout, [this] {
        if (m_firing) // the round before has not returned: an input started something that waits
            return void(++m_nestedRounds);
        QScopedValueRollback rollback(m_firing, true);
        const qint64 roundStartUs = (threadCpuNs() / 1000);
        auto countCpu =
                qScopeGuard([&] { m_barrageCpuUs += (threadCpuNs() / 1000) - roundStartUs; });
        ++m_rounds;
        for (QAbstractButton *button : m_window->findChildren<QAbstractButton *>())
            QTest::mouseClick(button, Qt::LeftButton);
        for (int row = 0; row < FlightParams::RowCount; ++row)
            QTest::keyClick(spinner(row), m_rounds % 2 ? Qt::Key_Up : Qt::Key_Down);
    });
    addVerbs();
}

WindowBench::~WindowBench()
{
    m_sampler.stop();
    m_window.reset();
    qunsetenv("RURUZIDURA_COM1");
    qunsetenv("RURUZIDURA_COM2");
}

bool WindowBench::start(int ports)
{
    // Each sim is reached through a link of its own, which goes when the sim
    // hangs up: a freed pseudo-terminal number may soon be another's.
    for (int port = 1; port <= ports; ++port) {
        if (!sim(port).start() || !sim(port).makeLink(cable(port)))
            return false;
        qputenv(("RURUZIDURA_COM" + QByteArray::number(port)).constData(),
                QFile::encodeName(cable(port)));
    }
    m_window = std::make_unique<frmMain>();
    QObject::connect(m_window.get(), &frmMain::mousePointerChanged, [this](int pointer) {
        pointerChanges.append({ PerloSim::nowNs(), pointer });
    });
    m_window->show();
    m_sampler.start(5);
    return QTest::qWaitForWindowExposed(m_window.get());
}

void WindowBench::perform(const QString &steps)
{
    const QStringList all = steps.split(QStringLiteral("; "));
    for (qsizetype i = 0; i < all.size(); ++i) {
        m_verb = all[i].section(' ', 0, 0);
        const auto verb = m_verbs.constFind(m_verb);
        if (verb == m_verbs.cend())
            QFAIL(qPrintable("unknown step " + all[i]));
        if (i == all.size() - 1)
            pointerChanges.clear();
        const qint64 cpuUs = (threadCpuNs() / 1000) - m_barrageCpuUs, startNs = PerloSim::nowNs();
        if (!(*verb)(all[i].section(' ', 1)))
            QFAIL(qPrintable("unreadable argument in step " + all[i]));
        if (QTest::currentTestFailed())
            return;
        const qint64 wallMs = (PerloSim::nowNs() - startNs) / 1000000,
                     cpuMs = ((threadCpuNs() / 1000) - m_barrageCpuUs - cpuUs) / 1000;
        QVERIFY2(sleptWhileWaiting(cpuMs, wallMs),
                 qPrintable(QStringLiteral("%1: %2 ms, %3 ms of CPU")
                                    .arg(all[i])
                                    .arg(wallMs)
                                    .arg(cpuMs)));
        if (m_rounds > 0 && m_verb != QLatin1String("barrage")) // it went on during the wait
            QVERIFY2(m_nestedRounds == 0 && std::exchange(m_rounds, 0) - m_roundsAtLastCommand >= 5,
                     qPrintable(QString::number(m_roundsAtLastCommand)));
        if (m_closer.isActive() && m_verb != QLatin1String("close")) {
            m_closer.stop();
            // A close that waited for the exchange's own end would take the 25 s
            // watchdog or the timer's 30 s delay; even a loaded machine ends it in far less.
            const qint64 sinceCloseMs = (PerloSim::nowNs() - m_closedNs) / 1000000;
            QVERIFY2(m_closedNs && sinceCloseMs < 1500, qPrintable(QString::number(sinceCloseMs)));
            QVERIFY(!link().comPERLO.PortOpen());
        }
    }
}

qint64 WindowBench::busyMs() const
{
    qint64 setNs = -1;
    for (const PointerChange &change : pointerChanges) {
        if (change.pointer != frmMain::PointerDefault && setNs < 0)
            setNs = change.ns;
        else if (change.pointer == frmMain::PointerDefault && setNs >= 0)
            return (change.ns - setNs) / 1000000;
    }
    return 0;
}

void WindowBench::answerBox()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    QString wrong;
    for (const QString &fault : boxStyleFaults(*box))
        wrong += QLatin1Char('[') + fault + QStringLiteral("] ");
    if (find(m_pressed)->isEnabledTo(find(m_pressed)->parentWidget()))
        wrong += QStringLiteral("[%1 back before the box] ").arg(m_pressed);
    if (box->text().startsWith(QLatin1String("Error getting")) && !link().comPERLO.PortOpen())
        wrong += QStringLiteral("[port closed before the box] ");
    boxes.append(wrong + box->text());
    box->button(QMessageBox::Ok)->click();
}

// Input once the click's handler has returned is no longer input during the exchange.
void WindowBench::press(const QString &name)
{
    m_pressed = name;
    QTest::mouseClick(find(name), Qt::LeftButton);
    m_barrage.stop();
    QTest::qWait(20);
}

QString WindowBench::texts() const
{
    QStringList all;
    for (int row = 0; row < FlightParams::RowCount; ++row)
        all.append(box(row)->text().isEmpty() ? QStringLiteral("-") : box(row)->text());
    return all.join(' ');
}

WindowState WindowBench::state() const
{
    WindowState now;
    now.com = find<QAbstractButton>("optCom(0)")->isChecked() ? 1 : 2;
    now.portOpen = link().comPERLO.PortOpen();
    for (int bit = 0; bit < 6; ++bit) {
        QWidget *w = find(ControlNames[bit]);
        now.enabled.setFlag(WindowState::Control(1 << bit), w->isEnabledTo(w->parentWidget()));
    }
    QWidget *params = find("fmeParams");
    const QPalette system = QGuiApplication::palette();
    for (int row = 0; row < FlightParams::RowCount; ++row) {
        const bool boxOn = box(row)->isEnabledTo(params),
                   spinnerOn = spinner(row)->isEnabledTo(params);
        const QColor background = box(row)->palette().color(QPalette::Base);
        now.rows[row] = boxOn && spinnerOn && background == system.color(QPalette::Base) ? 'x'
                : !boxOn && !spinnerOn && background == system.color(QPalette::Button)   ? '.'
                                                                                         : '?';
    }
    now.version = find<QLineEdit>("txtVersion")->text();
    return now;
}
