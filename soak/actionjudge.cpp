#include "actionjudge.h"

#include "boxlook.h"
#include "soakreport.h"
#include "timerlines.h"
#include "windowcheck.h"
#include "windowdriver.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>

namespace {

constexpr int Watchdog = 500;
constexpr qint64 ActionSlackNs = 2000 * Ms;
constexpr qint64 CloseEndsWithinNs = 250 * Ms;
constexpr auto Outcomes = SoakReport::Counted::Outcomes;
constexpr auto Faults = SoakReport::Counted::Faults;

} // namespace

ActionJudge::ActionJudge(WindowDriver &driver, TimerLines &lines, SoakReport &report)
    : m_driver(driver), m_lines(lines), m_report(report), m_line(report)
{
}

void ActionJudge::forgetWindow()
{
    m_model = WindowModel{};
    m_confused = false;
}

bool ActionJudge::judge(const Step &step, ActionRecord &record, const QString &behaviourNow,
                        qint64 stepNo, qint64 runStartNs)
{
    m_report.count(SoakReport::Counted::Actions, actionName(step.action));
    followInput(step, record);
    // A thread the machine held back sees the watchdog and the replies that much later.
    const qint64 heldNs = qMax(record.windowHeldNs, record.timerHeldNs);
    record.facts.graceMs = record.factsDuring.graceMs = int(100 + heldNs / Ms);
    if (heldNs > 10 * Ms)
        ++m_widenedActions;
    judgeLength(step, record);

    bool freshWindowNeeded = false;
    frmMain &window = m_driver.window();
    if (record.closedNs) {
        if (!record.boxes.isEmpty())
            m_report.breach(QStringLiteral("a box after the window was closed: ")
                            + record.boxes.join(" | "));
        if (window.link().comPERLO.PortOpen())
            m_report.breach(QStringLiteral("the port is still open after the window was closed"));
        if (record.endNs - record.closedNs > CloseEndsWithinNs)
            m_report.breach(
                    QStringLiteral("the exchange went on for %1 ms after the window was closed")
                            .arg((record.endNs - record.closedNs) / Ms));
        if (step.action == Action::Set)
            m_line.judgeBlockWritten(record);
        m_report.count(Outcomes, actionName(step.action) + QStringLiteral(": closed"));
        freshWindowNeeded = true;
    } else if (isExchange(step.action)) {
        judgeExchangeAction(step, record);
    } else {
        if (!record.boxes.isEmpty())
            m_report.breach(QStringLiteral("a box after %1: %2")
                                    .arg(actionName(step.action), record.boxes.join(" | ")));
        if (!record.line.received.isEmpty())
            m_report.breach(
                    QStringLiteral("the timer got bytes from an action without an exchange"));
        freshWindowNeeded = step.action == Action::FreshWindow;
    }
    if (!freshWindowNeeded)
        judgeWindow(actionName(step.action));

    QString head = QStringLiteral("#%1 %2 s %3")
                           .arg(stepNo)
                           .arg(double(record.startNs - runStartNs) / 1e9, 0, 'f', 3)
                           .arg(actionName(step.action));
    if (step.action == Action::Step || step.action == Action::Type)
        head += QStringLiteral(" row %1%2")
                        .arg(step.row)
                        .arg(step.action == Action::Step ? (step.up ? " up" : " down") : "");
    if (step.action == Action::ChoosePort)
        head += QStringLiteral(" COM%1").arg(m_model.port);
    m_report.logStep(head, step, record, behaviourNow);
    return freshWindowNeeded;
}

// What a port choice and a step do to the model: the clicks themselves.
void ActionJudge::followInput(const Step &step, const ActionRecord &record)
{
    WindowModel &m = m_model;
    if (step.action == Action::ChoosePort && m.serial)
        m.port = record.port;
    if (step.action != Action::Step || !m.params || step.row > m.lastRowInUse)
        return;
    const FlightParam &param = FlightParams::row(step.row);
    int &value = m.values[size_t(step.row)];
    for (int i = 0; i < step.repeat; ++i) {
        const int stepped = qBound(param.minimum, value + (record.up ? 1 : -1), param.maximum);
        if (stepped != value || !m.shown[size_t(step.row)]) {
            m.set = true;
            if (step.row == FlightParams::ShutterSpeedRow)
                m.shutter = false;
        }
        value = stepped;
        m.shown[size_t(step.row)] = true;
    }
}

// The action ends within its waits and 2 s more.
void ActionJudge::judgeLength(const Step &step, const ActionRecord &record)
{
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
        m_report.breach(QStringLiteral("%1 took %2 ms besides its boxes, more than its waits "
                                       "(%3 ms) and 2 s")
                                .arg(actionName(step.action))
                                .arg(tookNs / Ms)
                                .arg(waitsMs));
}

unsigned ActionJudge::outcomesOf(char command, const ActionRecord &record, int watchdogMs,
                                 bool first)
{
    if (m_confused)
        return Any;
    if (LineJudge::strayBytesBefore(record.line, command))
        return Any;
    if (!LineJudge::timerGot(record.line, command))
        return TimedOut; // nothing on the line heard it
    const TimerLink &link = m_driver.window().link();
    const int blockLen = link.BlockLen, lastParam = link.LastParam;
    auto predict = [&](const TimerFacts &facts) {
        return command == 'D' ? blockOutcomes(facts, blockLen, lastParam, watchdogMs)
                              : textOutcomes(command, facts, watchdogMs);
    };
    unsigned outcomes = predict(record.facts);
    if (record.changedDuring)
        outcomes |= predict(record.factsDuring);
    if (record.line.changed)
        outcomes |= TimedOut;
    if (first && record.replyingAtStart)
        outcomes = Any;
    return outcomes;
}

void ActionJudge::judgeExchangeAction(const Step &step, ActionRecord &record)
{
    WindowModel &m = m_model;
    const bool usable = step.action == Action::Connect ? m.serial && m.connect
            : step.action == Action::Retrieve          ? m.params && m.get
            : step.action == Action::Set               ? m.params && m.set
                                                       : m.params && m.shutter;
    if (!usable) {
        if (!record.boxes.isEmpty() || !record.line.received.isEmpty())
            m_report.breach(QStringLiteral("%1 did something while it could not be pressed")
                                    .arg(actionName(step.action)));
        m_report.count(Outcomes, actionName(step.action) + QStringLiteral(": not usable"));
        return;
    }
    m_report.count(Faults, record.facts.behaviour.name());
    if (step.hangUpAfterBytes && record.line.changed)
        m_report.count(Faults, QStringLiteral("hang-up mid-exchange"));
    if (record.boxes.size() > 1) {
        m_report.breach(QStringLiteral("more than one box: ") + record.boxes.join(" | "));
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
    m_report.count(Outcomes, actionName(step.action) + QStringLiteral(": ") + outcome);
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
    if (command == 'P' && LineJudge::timerGot(record.line, 'P')
        && record.blockLen != record.facts.blockLen)
        m_confused = true; // a block of the wrong length: the timer's parser is lost
    const unsigned outcomes = outcomesOf(command, record, watchdogMs, true);
    const QStringList allowed = command == 'D'
            ? (outcomes & ~Ok ? QStringList{ heading } : QStringList{})
            : failureTexts(heading, outcomes & ~Ok);
    if (box.isEmpty() ? !(outcomes & Ok) : !allowed.contains(box)) {
        m_report.breach(QStringLiteral("%1 ended with %2; the timer (%3) allows %4")
                                .arg(actionName(step.action),
                                     box.isEmpty() ? QStringLiteral("success") : '"' + box + '"',
                                     record.facts.behaviour.name(),
                                     (((outcomes & Ok) ? QStringList{ "success" } : QStringList{})
                                      + allowed)
                                             .join(" or ")));
        return;
    }
    const bool ok = box.isEmpty();
    switch (step.action) {
    case Action::Retrieve:
        if (ok && m_line.rowsFromLine(record.line, 'D', m_driver.window(), m)) {
            m.set = false;
            m.shutter = true;
        }
        break;
    case Action::Set:
        m_line.judgeBlockWritten(record);
        m.set = !ok;
        if (ok)
            m.shutter = true;
        break;
    default:
        m.shutter = true;
        break;
    }
}

void ActionJudge::judgeConnect(ActionRecord &record)
{
    WindowModel &m = m_model;
    frmMain &window = m_driver.window();
    TimerLink &link = window.link();
    const QString box = record.boxes.value(0);
    const bool present = QFileInfo::exists(record.device);
    const QString cannotOpen =
            QStringLiteral("Cannot open COM%1 (%2)\r\n\r\n").arg(m.port).arg(record.device);
    if (box.startsWith(QStringLiteral("Cannot open"))) {
        if (!(box.startsWith(cannotOpen) && (!present || record.line.changed)))
            m_report.breach(
                    QStringLiteral("Connect could not open %1, which is there").arg(record.device));
        if (link.comPERLO.PortOpen())
            m_report.breach(QStringLiteral("the port is open after it could not be opened"));
        return;
    }
    if (!present && !record.line.changed) {
        m_report.breach(QStringLiteral("Connect on %1, which is not there, showed no open failure")
                                .arg(record.device));
        return;
    }

    const unsigned version = outcomesOf('V', record, Watchdog, true);
    // A reply that may still be on its way when the next command goes is part of the next reply.
    const bool lateV = (version & TimedOut) && LineJudge::timerGot(record.line, 'V');
    const unsigned probe = lateV ? Any : outcomesOf('Z', record, Watchdog, false);
    const bool lateZ = (probe & TimedOut) && LineJudge::timerGot(record.line, 'Z');
    const unsigned block = lateZ ? Any : outcomesOf('D', record, Watchdog, false);

    QStringList allowed =
            failureTexts(QStringLiteral("Error getting timer firmware version"), version & ~Ok);
    if ((version & Ok) && (block & ~Ok))
        allowed.append(QStringLiteral("Error retreiving parameters"));
    const bool successAllowed = (version & Ok) && (block & Ok);
    if (box.isEmpty() ? !successAllowed : !allowed.contains(box)) {
        m_report.breach(
                QStringLiteral("Connect ended with %1; the timer (%2) allows %3")
                        .arg(box.isEmpty() ? QStringLiteral("success") : '"' + box + '"',
                             record.facts.behaviour.name(),
                             ((successAllowed ? QStringList{ "success" } : QStringList{}) + allowed)
                                     .join(" or ")));
        return;
    }
    // The probe's outcome decides the rows in use, whether or not the version was read.
    if (probe == Ok && link.LastParam != FlightParams::SixteenByte.LastParam)
        m_report.breach(QStringLiteral("the timer accepted \"/Z\", yet 8 rows are in use"));
    if (!(probe & Ok) && link.LastParam != FlightParams::EightByte.LastParam)
        m_report.breach(QStringLiteral("the timer did not accept \"/Z\", yet 11 rows are in use"));
    m.lastRowInUse = link.LastParam;
    auto *versionBox = window.findChild<QLineEdit *>("txtVersion");
    if (box.startsWith(QStringLiteral("Error getting"))) {
        if (link.comPERLO.PortOpen())
            m_report.breach(QStringLiteral("the port is open after the version read failed"));
        if (versionBox->text() != QStringLiteral("N/A"))
            m_report.breach(QStringLiteral("the version box shows %1 after a failed read")
                                    .arg(versionBox->text()));
        return;
    }
    m.serial = m.connect = false;
    m.params = true;
    if (version == Ok && versionBox->text() != QString::fromLatin1(record.facts.version))
        m_report.breach(
                QStringLiteral("the version box shows %1, the timer is %2")
                        .arg(versionBox->text(), QString::fromLatin1(record.facts.version)));
    if (box.isEmpty() && m_line.rowsFromLine(record.line, 'D', window, m)) {
        m.set = false;
        m.shutter = true;
    }
}

void ActionJudge::judgeBox(QMessageBox &box)
{
    ActionRecord *current = m_driver.current();
    const QString pressedName = m_driver.pressed();
    QStringList wrong = boxStyleFaults(box);
    if (QWidget *pressed = m_driver.find(pressedName);
        pressed && pressed->isEnabledTo(pressed->parentWidget()))
        wrong.append(pressedName + QStringLiteral(" is back before the box"));
    // Unless the line went away by itself, which closes the port at once.
    if (box.text().startsWith(QStringLiteral("Error getting"))
        && !m_driver.window().link().comPERLO.PortOpen() && current
        && m_lines.lineChanges() == current->line.changesAtStart)
        wrong.append(QStringLiteral("the port was closed before the box"));
    if (!current)
        wrong.append(QStringLiteral("no action is running"));
    else
        current->boxes.append(box.text());
    if (!wrong.isEmpty())
        m_report.breach(QStringLiteral("box \"%1\": %2").arg(box.text(), wrong.join(", ")));
}

void ActionJudge::judgeWindow(const QString &when)
{
    const QString breach = windowBreach(m_driver.window(), m_model, when);
    if (!breach.isEmpty())
        m_report.breach(breach);
}

void ActionJudge::addWidenedFigure(SoakReport &report) const
{
    report.figure("actions judged with more grace for a held thread", qint64(m_widenedActions));
}

void ActionJudge::addActionFigures(SoakReport &report) const
{
    report.figure("longest action besides its boxes [ms]", m_maxActionMs);
    m_line.addFigures(report);
}
