#include "busysampler.h"
#include "flightparams.h"
#include "updown.h"
#include "windowbench.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// Editing rows, "Set", "Retrieve" and "Test Shutter" on a connected window:
// the enabling rules, what reaches the timer, and the failure messages.
class tst_WindowActions : public QObject
{
    Q_OBJECT
private slots:
    void steppingEnablesSet_data();
    void steppingEnablesSet();
    void assignmentRunsTheChangeHandlerAtOnce();
    void steppingStaysInRange_data();
    void steppingStaysInRange();
    void typingIntoARowChangesNothing();
    void setWritesTheRows();
    void failedSet_data();
    void failedSet();
    void retrieveLoadsTheRows();
    void failedRetrieveChangesNothing_data();
    void failedRetrieveChangesNothing();
    void testShutter_data();
    void testShutter();
    void actionsShutTheFrameWhileTheyWait_data();
    void actionsShutTheFrameWhileTheyWait();
};

namespace {

// Rows 0 to 10 in the middle of their ranges, shutter speed 2 (200 ms).
const QList<int> MidRows{100, 101, 102, 103, 104, 105, 2, 1, 108, 109, 110};

struct Connected
{
    WindowBench bench;
    QGroupBox *params = nullptr;
    QPushButton *set = nullptr;
    QPushButton *get = nullptr;
    QPushButton *shutter = nullptr;
};

// A window connected to a 16-byte timer holding `rows` (row 7 at 0 or 1);
// QVERIFY it.
bool connectWindow(Connected &c, const QList<int> &rows = MidRows)
{
    c.bench.sim().setBlock(blockOf(rows));
    if (!c.bench.start() || !c.bench.connectToTimer())
        return false;
    c.params = c.bench.frame("fmeParams");
    c.set = c.bench.button("btnSet");
    c.get = c.bench.button("btnGet");
    c.shutter = c.bench.button("btnShutter");
    c.bench.sim().clearReceived();
    return c.bench.values() == rows && !c.set->isEnabled() && c.shutter->isEnabled();
}

} // namespace

void tst_WindowActions::steppingEnablesSet_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("up");
    for (int row = 0; row < FlightParams::RowCount; ++row) {
        // Row 7 holds 1 and can only go down.
        const bool up = row != FlightParams::AutorunRow;
        QTest::addRow("row %d %s", row, up ? "up" : "down") << row << up;
    }
}

void tst_WindowActions::steppingEnablesSet()
{
    QFETCH(int, row);
    QFETCH(bool, up);
    Connected c;
    QVERIFY(connectWindow(c));
    const int before = c.bench.spinner(row)->Value();

    if (up)
        c.bench.stepUp(row);
    else
        c.bench.stepDown(row);

    // The change handler has already run when the click returns.
    const int after = before + (up ? 1 : -1);
    QCOMPARE(c.bench.spinner(row)->Value(), after);
    QCOMPARE(c.bench.box(row)->text(), QString::number(after));
    QVERIFY(c.set->isEnabled());
    QCOMPARE(c.shutter->isEnabled(), row != FlightParams::ShutterSpeedRow);
    QVERIFY(c.get->isEnabled());
    QVERIFY(c.bench.sim().receivedBytes().isEmpty());
}

void tst_WindowActions::assignmentRunsTheChangeHandlerAtOnce()
{
    Connected c;
    QVERIFY(connectWindow(c));
    UpDown *speed = c.bench.spinner(FlightParams::ShutterSpeedRow);
    QLineEdit *speedBox = c.bench.box(FlightParams::ShutterSpeedRow);

    // No event runs between the assignment and the checks.
    speed->setValue(42);
    QCOMPARE(speedBox->text(), QStringLiteral("42"));
    QVERIFY(c.set->isEnabled());
    QVERIFY(!c.shutter->isEnabled());

    speed->setValue(300);
    QCOMPARE(speed->Value(), 255);
    QCOMPARE(speedBox->text(), QStringLiteral("255"));
    speed->setValue(-3);
    QCOMPARE(speed->Value(), 0);
    QCOMPARE(speedBox->text(), QStringLiteral("0"));

    UpDown *autorun = c.bench.spinner(FlightParams::AutorunRow);
    autorun->setValue(5);
    QCOMPARE(autorun->Value(), 1);
    QCOMPARE(c.bench.box(FlightParams::AutorunRow)->text(), QStringLiteral("1"));
}

void tst_WindowActions::steppingStaysInRange_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("maximum");
    QTest::newRow("Launch Detect") << 0 << 255;
    QTest::newRow("Autorun Mode") << int(FlightParams::AutorunRow) << 1;
    QTest::newRow("Cycle Pacing") << 10 << 255;
}

void tst_WindowActions::steppingStaysInRange()
{
    QFETCH(int, row);
    QFETCH(int, maximum);
    QList<int> rows = MidRows;
    rows[row] = maximum;
    Connected c;
    QVERIFY(connectWindow(c, rows));
    UpDown *spin = c.bench.spinner(row);
    QLineEdit *box = c.bench.box(row);

    c.bench.stepUp(row);
    QCOMPARE(spin->Value(), maximum);
    QCOMPARE(box->text(), QString::number(maximum));
    // All the way down and one step beyond, every value shown as digits.
    for (int expected = maximum - 1; expected >= -1; --expected) {
        c.bench.stepDown(row);
        QCOMPARE(spin->Value(), qMax(0, expected));
        QCOMPARE(box->text(), QString::number(qMax(0, expected)));
    }
    c.bench.stepUp(row);
    QCOMPARE(spin->Value(), 1);
    QCOMPARE(box->text(), QStringLiteral("1"));
}

void tst_WindowActions::typingIntoARowChangesNothing()
{
    Connected c;
    QVERIFY(connectWindow(c));
    QLineEdit *box = c.bench.box(0);
    c.bench.click(box);
    QTest::keyClicks(box, "7");
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(box->text(), QStringLiteral("100"));
    QCOMPARE(c.bench.spinner(0)->Value(), 100);
    QVERIFY(!c.set->isEnabled());
}

void tst_WindowActions::setWritesTheRows()
{
    Connected c;
    QVERIFY(connectWindow(c));
    c.bench.stepUp(0);
    c.bench.stepUp(FlightParams::ShutterSpeedRow);
    c.bench.stepDown(9);
    QVERIFY(!c.shutter->isEnabled());
    const QList<int> rows = c.bench.values();
    QCOMPARE(rows, QList<int>({101, 101, 102, 103, 104, 105, 3, 1, 108, 108, 110}));
    BusySampler sampler(c.bench.link());

    c.bench.press(c.set);

    QVERIFY(c.bench.boxes.seen().isEmpty());
    QCOMPARE(c.bench.sim().block(), blockOf(rows));
    QCOMPARE(c.bench.sim().receivedBytes(), "/P" + blockOf(rows));
    QVERIFY(!c.set->isEnabled());
    QVERIFY(c.shutter->isEnabled());
    QVERIFY(c.get->isEnabled());
    QVERIFY(c.params->isEnabled());
    QVERIFY(sampler.firstBusyNs());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCOMPARE(c.bench.values(), rows);
}

void tst_WindowActions::failedSet_data()
{
    QTest::addColumn<PerloSim::Fault>("fault");
    QTest::addColumn<int>("steppedRow");
    QTest::addColumn<QString>("statusText");
    QTest::newRow("refused, row 6 stepped")
            << PerloSim::Fault::RefuseAll << int(FlightParams::ShutterSpeedRow) << "Timer reproted Error";
    QTest::newRow("refused, row 0 stepped")
            << PerloSim::Fault::RefuseAll << 0 << "Timer reproted Error";
    QTest::newRow("silent, row 6 stepped")
            << PerloSim::Fault::Silent << int(FlightParams::ShutterSpeedRow) << "I/O Timed Out";
}

void tst_WindowActions::failedSet()
{
    QFETCH(PerloSim::Fault, fault);
    QFETCH(int, steppedRow);
    QFETCH(QString, statusText);
    Connected c;
    QVERIFY(connectWindow(c));
    c.bench.stepUp(steppedRow);
    const bool shutterBefore = c.shutter->isEnabled();
    QCOMPARE(shutterBefore, steppedRow != FlightParams::ShutterSpeedRow);
    const QList<int> rows = c.bench.values();
    c.bench.sim().setFault(fault);

    c.bench.press(c.set);

    QCOMPARE(c.bench.boxes.seen().size(), 1);
    const MessageBoxWatcher::SeenBox box = c.bench.boxes.seen().first();
    QCOMPARE(box.text, "Error Setting Flight Parameters\r\n\r\n" + statusText);
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.title, QStringLiteral("RURUZidura"));
    QVERIFY(box.defaultCursor);
    QVERIFY(c.bench.sim().receivedBytes().startsWith("/P"));

    QVERIFY(c.set->isEnabled());
    QCOMPARE(c.shutter->isEnabled(), shutterBefore);
    QVERIFY(c.get->isEnabled());
    QVERIFY(c.params->isEnabled());
    QCOMPARE(c.bench.values(), rows);
}

void tst_WindowActions::retrieveLoadsTheRows()
{
    Connected c;
    QVERIFY(connectWindow(c));
    c.bench.stepUp(FlightParams::ShutterSpeedRow);
    QVERIFY(c.set->isEnabled() && !c.shutter->isEnabled());
    const QList<int> timerRows{1, 2, 3, 4, 5, 6, 70, 0, 9, 10, 11};
    c.bench.sim().setBlock(blockOf(timerRows));
    QSignalSpy speedChanges(c.bench.box(FlightParams::ShutterSpeedRow), &QLineEdit::textChanged);
    c.bench.sim().setReplyDelay(30);
    BusySampler sampler(c.bench.link());

    c.bench.press(c.get);

    QVERIFY(c.bench.boxes.seen().isEmpty());
    QVERIFY(sampler.firstBusyNs());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCOMPARE(c.bench.sim().receivedBytes(), QByteArray("/D"));
    QCOMPARE(c.bench.values(), timerRows);
    QCOMPARE(c.bench.texts(), digits(timerRows));
    // Row 6 changed during the read, and the read still ends with the test allowed.
    QCOMPARE(speedChanges.size(), 1);
    QVERIFY(!c.set->isEnabled());
    QVERIFY(c.shutter->isEnabled());
    QVERIFY(c.get->isEnabled());
    QVERIFY(c.params->isEnabled());
    // Still connected: the port stays open and cannot be chosen again.
    QVERIFY(c.bench.link().comPERLO.PortOpen());
    QVERIFY(!c.bench.frame("fmeSerial")->isEnabled());
}

void tst_WindowActions::failedRetrieveChangesNothing_data()
{
    QTest::addColumn<PerloSim::Fault>("fault");
    QTest::addColumn<bool>("stepShutterSpeed");
    QTest::newRow("refused, fresh rows") << PerloSim::Fault::RefuseAll << false;
    QTest::newRow("silent, row 6 stepped") << PerloSim::Fault::Silent << true;
}

void tst_WindowActions::failedRetrieveChangesNothing()
{
    QFETCH(PerloSim::Fault, fault);
    QFETCH(bool, stepShutterSpeed);
    Connected c;
    QVERIFY(connectWindow(c));
    if (stepShutterSpeed)
        c.bench.stepUp(FlightParams::ShutterSpeedRow);
    const bool setBefore = c.set->isEnabled();
    const bool shutterBefore = c.shutter->isEnabled();
    const QList<int> rows = c.bench.values();
    const QStringList texts = c.bench.texts();
    c.bench.sim().setBlock(blockOf({9, 9, 9, 9, 9, 9, 9, 0, 9, 9, 9}));
    c.bench.sim().setFault(fault);

    c.bench.press(c.get);

    QCOMPARE(c.bench.boxes.seen().size(), 1);
    const MessageBoxWatcher::SeenBox box = c.bench.boxes.seen().first();
    QCOMPARE(box.text, QStringLiteral("Error Retreiving Flight Parameters"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.title, QStringLiteral("RURUZidura"));
    QVERIFY(box.defaultCursor);
    QCOMPARE(c.bench.sim().receivedBytes(), QByteArray("/D"));

    QCOMPARE(c.bench.values(), rows);
    QCOMPARE(c.bench.texts(), texts);
    QCOMPARE(c.set->isEnabled(), setBefore);
    QCOMPARE(c.shutter->isEnabled(), shutterBefore);
    QVERIFY(c.get->isEnabled());
    QVERIFY(c.params->isEnabled());
}

void tst_WindowActions::testShutter_data()
{
    QTest::addColumn<PerloSim::Fault>("fault");
    QTest::addColumn<int>("shutterSpeed");
    QTest::addColumn<QString>("message");
    QTest::newRow("confirmed") << PerloSim::Fault::None << 2 << QString();
    QTest::newRow("refused") << PerloSim::Fault::RefuseAll << 2
                             << "Error Testing Shutter: \r\n\r\nTimer reproted Error";
    QTest::newRow("timed out") << PerloSim::Fault::Silent << 0
                               << "Error Testing Shutter: \r\n\r\nI/O Timed Out";
}

void tst_WindowActions::testShutter()
{
    QFETCH(PerloSim::Fault, fault);
    QFETCH(int, shutterSpeed);
    QFETCH(QString, message);
    QList<int> rows = MidRows;
    rows[FlightParams::ShutterSpeedRow] = shutterSpeed;
    Connected c;
    QVERIFY(connectWindow(c, rows));
    c.bench.sim().setFault(fault);
    BusySampler sampler(c.bench.link());

    c.bench.press(c.shutter);

    if (message.isEmpty()) {
        QVERIFY(c.bench.boxes.seen().isEmpty());
    } else {
        QCOMPARE(c.bench.boxes.seen().size(), 1);
        const MessageBoxWatcher::SeenBox box = c.bench.boxes.seen().first();
        QCOMPARE(box.text, message);
        QCOMPARE(box.icon, QMessageBox::Critical);
        QVERIFY(box.defaultCursor);
    }
    QCOMPARE(c.bench.sim().receivedBytes(), QByteArray("/S"));
    // The watchdog ran lengthened by the shutter speed while the test waited,
    // and is back to normal afterwards.
    const QList<int> intervals = sampler.busyDogIntervals();
    QVERIFY(!intervals.isEmpty());
    QCOMPARE(intervals, QList<int>(intervals.size(), 500 + 100 * shutterSpeed));
    QCOMPARE(c.bench.link().tmrDog.Interval(), 500);

    QVERIFY(c.shutter->isEnabled());
    QVERIFY(!c.set->isEnabled());
    QVERIFY(c.get->isEnabled());
    QVERIFY(c.params->isEnabled());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void tst_WindowActions::actionsShutTheFrameWhileTheyWait_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("Set") << "btnSet" << QByteArray("/P");
    QTest::newRow("Retrieve") << "btnGet" << QByteArray("/D");
    QTest::newRow("Test Shutter") << "btnShutter" << QByteArray("/S");
}

void tst_WindowActions::actionsShutTheFrameWhileTheyWait()
{
    QFETCH(QString, action);
    QFETCH(QByteArray, command);
    Connected c;
    QVERIFY(connectWindow(c));
    c.bench.stepUp(0); // so that "Set" can be pressed
    const QList<int> rows = c.bench.values();
    c.bench.sim().setReplyDelay(200);

    // Everything a user could reach in the frame, clicked while the exchange waits.
    bool clicked = false;
    bool frameShut = false;
    QList<int> valuesAfterClicks;
    QTimer::singleShot(50, &c.bench.window(), [&] {
        frameShut = !c.params->isEnabled();
        for (QPushButton *button : {c.set, c.get, c.shutter})
            c.bench.click(button);
        c.bench.stepUp(0);
        c.bench.stepDown(FlightParams::ShutterSpeedRow);
        valuesAfterClicks = c.bench.values();
        clicked = true;
    });
    const bool ended = c.bench.pressWithin(c.bench.button(qPrintable(action)), 3000);

    QVERIFY(clicked);
    const QByteArray expected = command == "/P" ? command + blockOf(rows) : command;
    QCOMPARE(c.bench.sim().receivedBytes(), expected);
    QVERIFY2(ended, "the exchange had to be ended by closing the window");
    QVERIFY(frameShut);
    QCOMPARE(valuesAfterClicks, rows);
    QVERIFY(c.bench.boxes.seen().isEmpty());
    QVERIFY(c.params->isEnabled());
}

QTEST_MAIN(tst_WindowActions)
#include "tst_window_actions.moc"
