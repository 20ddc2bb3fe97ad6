#include "updown.h"
#include "windowbench.h"

#include <QLineEdit>
#include <QtTest>

// Editing rows, "Set", "Retrieve" and "Test Shutter" on a connected window:
// the enabling rules, what reaches the timer, and the failure messages.
class tst_WindowActions : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { m_bench.reset(); }
    void steppingEnablesSet_data();
    void steppingEnablesSet();
    void boxFollowsItsSpinnerOnly();
    void set_data();
    void set();
    void retrieve_data();
    void retrieve();
    void testShutter_data();
    void testShutter();

private:
    // A window connected to a 16-byte timer holding `rows`; QVERIFY it.
    bool connectWindow(const QList<int> &rows = MidRows);
    bool setOn() const { return m_bench->find("btnSet")->isEnabled(); }
    bool shutterOn() const { return m_bench->find("btnShutter")->isEnabled(); }
    // Retrieve and the frame are usable again once an action has ended.
    bool idle() const
    {
        return m_bench->find("btnGet")->isEnabled() && m_bench->find("fmeParams")->isEnabled()
                && !QGuiApplication::overrideCursor();
    }

    // Rows 0 to 10 in the middle of their ranges, shutter speed 2 (200 ms).
    static inline const QList<int> MidRows{100, 101, 102, 103, 104, 105, 2, 1, 108, 109, 110};
    std::unique_ptr<WindowBench> m_bench;
};

bool tst_WindowActions::connectWindow(const QList<int> &rows)
{
    m_bench = std::make_unique<WindowBench>();
    m_bench->sim().setBlock(blockOf(rows));
    if (!m_bench->start() || !m_bench->connectToTimer())
        return false;
    m_bench->sim().clearReceived();
    m_bench->samples.clear();
    return m_bench->values() == rows && !setOn() && shutterOn();
}

void tst_WindowActions::steppingEnablesSet_data()
{
    QTest::addColumn<int>("row");
    for (int row = 0; row < FlightParams::RowCount; ++row)
        QTest::addRow("row %d", row) << row;
}

void tst_WindowActions::steppingEnablesSet()
{
    QFETCH(int, row);
    QVERIFY(connectWindow());
    const bool up = row != FlightParams::AutorunRow; // row 7 holds 1, its highest
    const int after = m_bench->spinner(row)->Value() + (up ? 1 : -1);
    m_bench->step(row, up);

    // The change handler has already run when the click returns.
    QCOMPARE(m_bench->spinner(row)->Value(), after);
    QCOMPARE(m_bench->box(row)->text(), QString::number(after));
    QVERIFY(setOn());
    QCOMPARE(shutterOn(), row != FlightParams::ShutterSpeedRow);
    QVERIFY(m_bench->sim().receivedBytes().isEmpty());
}

void tst_WindowActions::boxFollowsItsSpinnerOnly()
{
    QList<int> rows = MidRows;
    rows[0] = 255;
    rows[10] = 0;
    QVERIFY(connectWindow(rows));
    QTest::mouseClick(m_bench->box(0), Qt::LeftButton);
    QTest::keyClicks(m_bench->box(0), "7");
    QTest::keyClick(m_bench->box(0), Qt::Key_Backspace);
    // Steps stop at the ends of the range (row 7 holds 1, its highest).
    m_bench->step(0, true);
    m_bench->step(FlightParams::AutorunRow, true);
    m_bench->step(10, false);
    QCOMPARE(m_bench->values(), rows);
    QCOMPARE(m_bench->texts(), digits(rows));
    QVERIFY(!setOn());
    m_bench->step(FlightParams::AutorunRow, false);
    m_bench->step(FlightParams::AutorunRow, false);
    QCOMPARE(m_bench->box(FlightParams::AutorunRow)->text(), QStringLiteral("0"));

    // An assignment runs the change handler before it returns, as a step does.
    UpDown *speed = m_bench->spinner(FlightParams::ShutterSpeedRow);
    speed->setValue(42);
    QCOMPARE(m_bench->box(FlightParams::ShutterSpeedRow)->text(), QStringLiteral("42"));
    QVERIFY(!shutterOn());
    speed->setValue(300);
    QCOMPARE(m_bench->box(FlightParams::ShutterSpeedRow)->text(), QStringLiteral("255"));
}

void tst_WindowActions::set_data()
{
    QTest::addColumn<PerloSim::Fault>("fault");
    QTest::addColumn<int>("steppedRow");
    QTest::addColumn<QString>("message");
    const int speed = FlightParams::ShutterSpeedRow;
    QTest::newRow("written") << PerloSim::Fault::None << speed << QString();
    const QString heading = QStringLiteral("Error Setting Flight Parameters\r\n\r\n");
    QTest::newRow("refused, row 6 stepped") << PerloSim::Fault::RefuseAll << speed << heading + "Timer reproted Error";
    QTest::newRow("refused, row 0 stepped") << PerloSim::Fault::RefuseAll << 0 << heading + "Timer reproted Error";
    QTest::newRow("timed out") << PerloSim::Fault::Silent << speed << heading + "I/O Timed Out";
}

void tst_WindowActions::set()
{
    QFETCH(PerloSim::Fault, fault);
    QFETCH(int, steppedRow);
    QFETCH(QString, message);
    QVERIFY(connectWindow());
    m_bench->step(steppedRow, true);
    m_bench->step(9, false);
    const QList<int> rows = m_bench->values();
    const bool shutterBefore = shutterOn();
    m_bench->sim().setFault(fault);

    m_bench->press("btnSet");

    QCOMPARE(m_bench->sim().receivedBytes(), "/P" + blockOf(rows));
    QVERIFY(!m_bench->busySamples().isEmpty());
    QVERIFY(idle());
    QCOMPARE(m_bench->values(), rows);
    if (message.isEmpty()) {
        QVERIFY(m_bench->boxes.seen.isEmpty());
        QCOMPARE(m_bench->sim().block(), blockOf(rows));
        QVERIFY(!setOn());
        QVERIFY(shutterOn());
    } else {
        QCOMPARE(m_bench->boxes.texts(), QStringList(message));
        QVERIFY(setOn());
        QCOMPARE(shutterOn(), shutterBefore);
    }
}

void tst_WindowActions::retrieve_data()
{
    QTest::addColumn<PerloSim::Fault>("fault");
    QTest::newRow("read") << PerloSim::Fault::None;
    QTest::newRow("refused") << PerloSim::Fault::RefuseAll;
}

void tst_WindowActions::retrieve()
{
    QFETCH(PerloSim::Fault, fault);
    QVERIFY(connectWindow());
    m_bench->step(FlightParams::ShutterSpeedRow, true);
    const QList<int> before = m_bench->values();
    const QList<int> timerRows{1, 2, 3, 4, 5, 6, 70, 0, 9, 10, 11};
    m_bench->sim().setBlock(blockOf(timerRows));
    m_bench->sim().setFault(fault);
    m_bench->sim().setReplyDelay(30); // for the cursor to be seen
    QSignalSpy speedChanges(m_bench->box(FlightParams::ShutterSpeedRow), &QLineEdit::textChanged);

    m_bench->press("btnGet");

    QCOMPARE(m_bench->sim().receivedBytes(), QByteArray("/D"));
    QVERIFY(!m_bench->busySamples().isEmpty());
    QVERIFY(idle());
    QVERIFY(m_bench->link().comPERLO.PortOpen());
    if (fault == PerloSim::Fault::None) {
        QVERIFY(m_bench->boxes.seen.isEmpty());
        QCOMPARE(m_bench->texts(), digits(timerRows));
        // Row 6 changed during the read, and the read still ends with the test allowed.
        QCOMPARE(speedChanges.size(), 1);
        QVERIFY(!setOn());
        QVERIFY(shutterOn());
    } else {
        QCOMPARE(m_bench->boxes.texts(), QStringList("Error Retreiving Flight Parameters"));
        QCOMPARE(m_bench->texts(), digits(before));
        QVERIFY(setOn());
        QVERIFY(!shutterOn());
    }
}

void tst_WindowActions::testShutter_data()
{
    QTest::addColumn<PerloSim::Fault>("fault");
    QTest::addColumn<int>("shutterSpeed");
    QTest::addColumn<QString>("message");
    QTest::newRow("confirmed") << PerloSim::Fault::None << 2 << QString();
    QTest::newRow("refused") << PerloSim::Fault::RefuseAll << 2 << "Timer reproted Error";
    QTest::newRow("timed out") << PerloSim::Fault::Silent << 0 << "I/O Timed Out";
}

void tst_WindowActions::testShutter()
{
    QFETCH(PerloSim::Fault, fault);
    QFETCH(int, shutterSpeed);
    QFETCH(QString, message);
    QList<int> rows = MidRows;
    rows[FlightParams::ShutterSpeedRow] = shutterSpeed;
    QVERIFY(connectWindow(rows));
    m_bench->sim().setFault(fault);

    m_bench->press("btnShutter");

    QCOMPARE(m_bench->boxes.texts(), message.isEmpty() ? QStringList()
                                                       : QStringList("Error Testing Shutter: \r\n\r\n" + message));
    QCOMPARE(m_bench->sim().receivedBytes(), QByteArray("/S"));
    // The watchdog ran lengthened by the shutter speed while the test waited,
    // and is back to normal afterwards.
    QList<int> intervals;
    for (const WindowBench::Sample &s : m_bench->busySamples())
        intervals.append(s.dogInterval);
    QVERIFY(!intervals.isEmpty());
    QCOMPARE(intervals, QList<int>(intervals.size(), 500 + 100 * shutterSpeed));
    QCOMPARE(m_bench->link().tmrDog.Interval(), 500);
    QVERIFY(shutterOn());
    QVERIFY(!setOn());
    QVERIFY(idle());
}

QTEST_MAIN(tst_WindowActions)
#include "tst_window_actions.moc"
