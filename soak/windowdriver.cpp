#include "windowdriver.h"

#include "schedulerhold.h"
#include "soakreport.h"
#include "timerlines.h"
#include "trafficcapture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <array>

namespace {

constexpr int QuietLineWaitMs = 1500;
constexpr int BarrageMs = 10; // a click and a key
// Far longer than the pseudo-terminal takes to hand a written byte over.
constexpr int LastBytesWaitMs = 100;

} // namespace

WindowDriver::WindowDriver(TimerLines &lines, CpuShare &cpu, SoakReport &report,
                           const SchedulerHold &hold)
    : m_lines(lines), m_cpu(cpu), m_report(report), m_hold(hold)
{
}

WindowDriver::~WindowDriver() = default;

void WindowDriver::freshWindow()
{
    // Starting the program is the bench's figure, not the running window's.
    CpuShare::OwnWork own(m_cpu, CpuShare::Besides::Windows);
    m_window = std::make_unique<frmMain>();
    m_window->link().comPERLO.setPortLister([this] { return m_lines.presentPorts(); });
    m_window->show();
    m_window->activateWindow();
    QElapsedTimer shown;
    shown.start();
    while (!m_window->isActiveWindow() && shown.elapsed() < 2000)
        waitMs(5);
}

void WindowDriver::closeWindow()
{
    if (!m_window)
        return;
    CpuShare::OwnWork own(m_cpu, CpuShare::Besides::Windows);
    m_window->close();
    m_window.reset();
}

QWidget *WindowDriver::find(const QString &name) const
{
    return m_window->findChild<QWidget *>(name);
}

// A click where the user would make it: through the window, at the middle of
// the control, so that a disabled control or a modal box takes it as a user's.
// Delivered at once, and nothing else runs after it: a click that a handler's
// wait has not taken is not left to run after the handler.
void WindowDriver::click(QWidget *widget)
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

void WindowDriver::type(int key, const QString &text)
{
    QWindow *window = m_window->windowHandle();
    qt_handleKeyEvent(window, QEvent::KeyPress, key, Qt::NoModifier, text);
    qt_handleKeyEvent(window, QEvent::KeyRelease, key, Qt::NoModifier, text);
}

void WindowDriver::waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void WindowDriver::waitForQuietLine()
{
    for (int waited = 0; waited < QuietLineWaitMs; waited += 10) {
        bool replying = false;
        m_lines.onTimer([&](PerloSim &sim) { replying = sim.isReplying(); });
        if (!replying)
            return;
        waitMs(10);
    }
}

ActionRecord WindowDriver::perform(const Step &step, const WindowModel &model)
{
    ActionRecord record;
    record.facts = m_lines.timerFacts();
    record.factsDuring = record.facts;
    record.rowsAtPress = model.values;
    record.blockLen = m_window->link().BlockLen;
    record.lastParam = m_window->link().LastParam;
    record.device = m_window->link().comPERLO.deviceName(model.port);
    m_lines.onTimer([&](PerloSim &sim) {
        sim.clearReceived();
        sim.takeSent();
        record.replyingAtStart = sim.isReplying();
        if (step.hangUpAfterBytes > 0)
            sim.hangUpAfter(step.hangUpAfterBytes, step.hangUpDelayMs);
    });
    const int lineChanges = record.line.changesAtStart = m_lines.lineChanges();
    QStringList dropped;
    QList<qint64> droppedNs;
    TrafficCapture::take(&dropped, &droppedNs);

    QObject during;
    misbehaveDuring(step, record, &during);
    m_current = &record;
    m_readMs = step.readMs;
    const qint64 windowHeld = m_hold.windowNs(), timerHeld = m_hold.timerNs();
    record.startNs = PerloSim::nowNs();
    press(step, model, record);
    record.endNs = PerloSim::nowNs();
    record.windowHeldNs = m_hold.windowNs() - windowHeld;
    record.timerHeldNs = m_hold.timerNs() - timerHeld;
    m_current = nullptr;
    qDeleteAll(during.children());

    m_lines.onTimer([&](PerloSim &sim) {
        record.line.sent = sim.takeSent();
        sim.hangUpAfter(0, 0);
        record.line.changed = sim.lineChanges() != lineChanges;
    });
    TrafficCapture::take(&record.line.traffic, &record.line.trafficNs);
    record.line.received = receivedAll(writtenBytes(record.line.traffic));
    return record;
}

// What the program wrote in the action, from its log of the line.
qsizetype WindowDriver::writtenBytes(const QStringList &traffic)
{
    qsizetype count = 0;
    for (const QString &line : traffic) {
        if (line.startsWith(QStringLiteral("out ")))
            count += line.count(QLatin1Char(' '));
    }
    return count;
}

// What the timer got, once the `written` bytes are in, the line is gone or
// the program talked to another port: a reply that comes early (a timer lost
// in a block) can end an exchange while the program's last byte is still in
// the pseudo-terminal.
QList<PerloSim::Received> WindowDriver::receivedAll(qsizetype written)
{
    QList<PerloSim::Received> received;
    for (int waited = 0;; waited += 2) {
        bool open = true;
        m_lines.onTimer([&](PerloSim &sim) {
            received = sim.received();
            open = sim.isOpen();
        });
        if (received.isEmpty() || received.size() >= written || !open || waited >= LastBytesWaitMs)
            return received;
        waitMs(2);
    }
}

// What the step makes happen while an exchange waits, on timers owned by `during`.
void WindowDriver::misbehaveDuring(const Step &step, ActionRecord &record, QObject *during)
{
    if (!isExchange(step.action))
        return;
    const auto faults = SoakReport::Counted::Faults;
    if (step.barrage) {
        auto *barrage = new QTimer(during);
        auto input = std::make_shared<SoakRandom>(step.inputSeed);
        QObject::connect(barrage, &QTimer::timeout, barrage, [this, &record, input] {
            // The box comes after the exchange: from then on, input is no longer during a wait.
            if (QApplication::activeModalWidget() || !record.boxes.isEmpty() || record.closedNs)
                return;
            // Input at a rate no hand reaches is the soak's load, not the waiting's cost.
            CpuShare::OwnWork own(m_cpu, CpuShare::Besides::Input);
            const QList<QAbstractButton *> buttons = m_window->findChildren<QAbstractButton *>();
            click(buttons[input->below(int(buttons.size()))]);
            static const std::array<int, 5> keys{ Qt::Key_Up, Qt::Key_Down, Qt::Key_Space,
                                                  Qt::Key_Return, Qt::Key_7 };
            const int key = keys[size_t(input->below(5))];
            type(key, key == Qt::Key_7 ? QStringLiteral("7") : QString());
        });
        barrage->start(BarrageMs);
        m_report.count(faults, QStringLiteral("input during wait"));
    }
    if (step.closeAfterMs >= 0) {
        QTimer::singleShot(step.closeAfterMs, during, [this, &record, faults] {
            if (QApplication::activeModalWidget() || !record.boxes.isEmpty())
                return;
            m_report.count(faults, QStringLiteral("window closed mid-exchange"));
            record.closedNs = PerloSim::nowNs();
            m_window->close();
        });
    }
    if (step.changeDuring) {
        QTimer::singleShot(step.changeDuringMs, during, [this, &record, &step, faults] {
            record.changedDuring = true;
            m_lines.setBehaviour(step.during);
            record.factsDuring = m_lines.timerFacts();
            m_report.count(faults, QStringLiteral("change mid-exchange"));
        });
    }
}

void WindowDriver::press(const Step &step, const WindowModel &model, ActionRecord &record)
{
    switch (step.action) {
    case Action::ChoosePort: {
        // The port the timer is on now, or the other one.
        int timersPort = 1;
        for (int port : { 1, 2 }) {
            if (QFileInfo(m_window->link().comPERLO.deviceName(port)).fileName()
                == m_lines.timerName())
                timersPort = port;
        }
        record.port = step.timersPort ? timersPort : 3 - timersPort;
        m_pressed = QStringLiteral("optCom(%1)").arg(record.port - 1);
        click(find(m_pressed));
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
        record.up = step.row == FlightParams::ShutterSpeedRow
                ? step.up && model.values[size_t(step.row)] < 10
                : step.up;
        auto *spinner = find(QStringLiteral("udParam(%1)").arg(step.row));
        for (int i = 0; i < step.repeat; ++i)
            click(spinner->findChild<QWidget *>(record.up ? "up" : "down"));
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
    if (isExchange(step.action))
        click(find(m_pressed));
    if (step.action == Action::Idle)
        waitMs(step.idleMs);
}

void WindowDriver::answer(QMessageBox *box)
{
    const qint64 shownNs = PerloSim::nowNs();
    QTimer::singleShot(m_readMs, box, [this, box, shownNs] {
        if (m_current)
            m_current->boxNs += PerloSim::nowNs() - shownNs;
        box->button(QMessageBox::Ok)->click();
    });
}
