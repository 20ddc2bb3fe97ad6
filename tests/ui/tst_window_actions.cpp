#include "windowbench.h"

#include <QtTest>

// "Connect", row steps, "Set", "Retrieve" and "Test Shutter" as the user sees
// them: the enabling rules, what reaches the timer, and the failure messages.
class tst_WindowActions : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_bench = std::make_unique<WindowBench>(); }
    void connectsToA16ByteTimer();
    void connectsToAn8ByteTimer();
    void failedVersionReadAllowsAnotherPort_data();
    void failedVersionReadAllowsAnotherPort();
    void failedParameterRead();
    void stepping_data();
    void stepping();
    void set_data();
    void set();
    void retrieve_data();
    void retrieve();
    void testShutter_data();
    void testShutter();

private:
    // Connects to a 16-byte timer holding `rows`; QVERIFY it.
    bool connectWindow(const QList<int> &rows)
    {
        m_bench->sim().setBlock(blockOf(rows));
        if (!m_bench->start() || !m_bench->connectToTimer())
            return false;
        m_bench->sim().clearReceived();
        m_bench->samples.clear();
        return m_bench->values() == rows;
    }

    std::unique_ptr<WindowBench> m_bench;
};

namespace {

const QList<int> TimerRows{11, 22, 33, 44, 55, 66, 77, 200, 88, 99, 255};
const QList<int> ShownRows{11, 22, 33, 44, 55, 66, 77, 1, 88, 99, 255};
const QList<int> MidRows{100, 101, 102, 103, 104, 105, 2, 1, 108, 109, 110}; // 200 ms shutter
const QString TimedOut = QStringLiteral("\r\n\r\nI/O Timed Out");
const QString Refused = QStringLiteral("\r\n\r\nTimer reproted Error");

} // namespace

void tst_WindowActions::connectsToA16ByteTimer()
{
    WindowBench &b = *m_bench;
    b.sim().setReplyDelay(30); // for the cursor to be watched
    b.sim().setScript('D', {{150, blockOf(TimerRows)}});
    QVERIFY(b.start());
    QSignalSpy speedChanges(b.box(FlightParams::ShutterSpeedRow), &QLineEdit::textChanged);
    QVERIFY(b.connectToTimer());

    QCOMPARE(b.sim().receivedBytes(), QByteArray("/V/Z/D"));
    QCOMPARE(b.version(), QStringLiteral("V2.10"));
    QCOMPARE(b.values(), ShownRows);
    QCOMPARE(b.texts(), digits(ShownRows));
    // Loading row 6 ran its change handler, yet "Set" ends off and "Test Shutter" on.
    QCOMPARE(speedChanges.size(), 1);
    QVERIFY(!b.enabled("btnSet") && b.enabled("btnShutter") && !b.enabled("fmeSerial"));
    // Busy for the version read only; the parameter read lets events run.
    const qint64 readNs = b.sim().received().at(5).ns;
    const QList<WindowBench::Sample> busy = b.busySamples();
    QVERIFY(!busy.isEmpty() && busy.last().ns < readNs);
    QVERIFY(std::count_if(b.samples.cbegin(), b.samples.cend(), [&](auto &s) { return s.ns > readNs; }) > 5);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void tst_WindowActions::connectsToAn8ByteTimer()
{
    WindowBench &b = *m_bench;
    b.sim().setGeneration(8);
    b.sim().setBlock(blockOf(TimerRows));
    QVERIFY(b.start());
    QVERIFY(b.connectToTimer());

    QCOMPARE(b.texts(), digits(ShownRows.mid(0, 8)) + QStringList(3, QString()));
    // Greyed as drawn: the background left of each box's right-aligned digits.
    auto drawn = [&](int row) { return b.box(row)->grab().toImage().pixelColor(5, b.box(row)->height() / 2); };
    for (int row = 0; row < FlightParams::RowCount; ++row) {
        QCOMPARE(b.box(row)->isEnabled(), row <= 7);
        QCOMPARE(b.spinner(row)->isEnabled(), row <= 7);
        QCOMPARE(drawn(row) == drawn(0), row <= 7);
    }
    QVERIFY(!b.enabled("btnSet") && b.enabled("btnShutter"));
}

void tst_WindowActions::failedVersionReadAllowsAnotherPort_data()
{
    QTest::addColumn<PerloSim::Fault>("fault");
    QTest::addColumn<QString>("status");
    QTest::newRow("no device") << PerloSim::Fault::Silent << TimedOut;
    QTest::newRow("refused") << PerloSim::Fault::RefuseAll << Refused;
}

void tst_WindowActions::failedVersionReadAllowsAnotherPort()
{
    QFETCH(PerloSim::Fault, fault);
    QFETCH(QString, status);
    WindowBench &b = *m_bench;
    b.sim().setFault(fault);
    b.sim(2).setVersion("V3.01");
    QVERIFY(b.start(2));
    const qint64 clickNs = PerloSim::nowNs();
    b.press("btnConnect");

    QCOMPARE(b.boxes.texts, QStringList("Error getting timer firmware version" + status));
    QCOMPARE(b.sim().receivedBytes(), QByteArray("/V/Z"));
    if (fault == PerloSim::Fault::Silent) {
        // "/V" then "/Z", a watchdog each, under the wait cursor.
        const QList<WindowBench::Sample> busy = b.busySamples();
        QVERIFY(!busy.isEmpty() && busy.first().ns - clickNs < 150000000);
        const qint64 boxMs = (b.boxes.shownNs.first() - clickNs) / 1000000;
        const qint64 busyMs = (busy.last().ns - busy.first().ns) / 1000000;
        QVERIFY2(boxMs >= 900 && boxMs <= 1400, qPrintable(QString::number(boxMs)));
        QVERIFY2(busyMs >= 900 && busyMs <= 1400, qPrintable(QString::number(busyMs)));
    }
    QVERIFY(!b.link().comPERLO.PortOpen());
    QCOMPARE(b.version(), QStringLiteral("N/A"));
    QVERIFY(b.enabled("btnConnect") && !b.enabled("fmeParams"));

    b.press("optCom(1)");
    b.boxes.clear();
    QVERIFY(b.connectToTimer());
    QCOMPARE(b.sim(2).receivedBytes(), QByteArray("/V/Z/D"));
    QCOMPARE(b.version(), QStringLiteral("V3.01"));
}

void tst_WindowActions::failedParameterRead()
{
    WindowBench &b = *m_bench;
    b.sim().setGeneration(8);
    b.sim().setFault(PerloSim::Fault::ShortBlock);
    QVERIFY(b.start());
    b.press("btnConnect");

    QCOMPARE(b.boxes.texts, QStringList("Error retreiving parameters"));
    QCOMPARE(b.version(), QStringLiteral("V2.10"));
    QVERIFY(b.link().comPERLO.PortOpen() && b.enabled("fmeParams") && !b.enabled("fmeSerial"));
    QCOMPARE(b.texts(), QStringList(FlightParams::RowCount, QString()));
    QVERIFY(!b.enabled("btnSet") && b.enabled("btnShutter"));
}

void tst_WindowActions::stepping_data()
{
    QTest::addColumn<int>("row");
    for (int row = 0; row < FlightParams::RowCount; ++row)
        QTest::addRow("row %d", row) << row;
}

void tst_WindowActions::stepping()
{
    QFETCH(int, row);
    const FlightParam &param = FlightParams::table().at(size_t(row));
    const bool atTop = row % 2 == 0;
    QList<int> rows = MidRows;
    rows[row] = atTop ? param.maximum : param.minimum;
    QVERIFY(connectWindow(rows));
    WindowBench &b = *m_bench;
    b.step(row, !atTop);
    // Digits and change handler, before the click returns.
    QCOMPARE(b.box(row)->text(), QString::number(rows[row] + (atTop ? -1 : 1)));
    QVERIFY(b.enabled("btnSet"));
    QCOMPARE(b.enabled("btnShutter"), row != FlightParams::ShutterSpeedRow);
    b.step(row, atTop);
    b.step(row, atTop);
    QCOMPARE(b.box(row)->text(), QString::number(rows[row]));
    QVERIFY(b.sim().receivedBytes().isEmpty());
}

void tst_WindowActions::set_data()
{
    QTest::addColumn<PerloSim::Fault>("fault");
    QTest::addColumn<int>("steppedRow");
    QTest::addColumn<QString>("message");
    const QString heading = QStringLiteral("Error Setting Flight Parameters");
    QTest::newRow("written") << PerloSim::Fault::None << 6 << QString();
    QTest::newRow("refused, row 0 stepped") << PerloSim::Fault::RefuseAll << 0 << heading + Refused;
    QTest::newRow("timed out, row 6 stepped") << PerloSim::Fault::Silent << 6 << heading + TimedOut;
}

void tst_WindowActions::set()
{
    QFETCH(PerloSim::Fault, fault);
    QFETCH(int, steppedRow);
    QFETCH(QString, message);
    QVERIFY(connectWindow(MidRows));
    WindowBench &b = *m_bench;
    b.step(steppedRow, true);
    const QList<int> rows = b.values();
    const bool shutterBefore = b.enabled("btnShutter");
    b.sim().setFault(fault);
    b.press("btnSet");

    QCOMPARE(b.sim().receivedBytes(), "/P" + blockOf(rows));
    QCOMPARE(b.boxes.texts, message.isEmpty() ? QStringList() : QStringList(message));
    QCOMPARE(b.values(), rows);
    QVERIFY(b.enabled("btnGet") && !QGuiApplication::overrideCursor());
    QCOMPARE(b.enabled("btnSet"), !message.isEmpty());
    QCOMPARE(b.enabled("btnShutter"), message.isEmpty() || shutterBefore);
    if (message.isEmpty())
        QCOMPARE(b.sim().block(), blockOf(rows));
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
    const bool read = fault == PerloSim::Fault::None;
    QVERIFY(connectWindow(MidRows));
    WindowBench &b = *m_bench;
    b.step(FlightParams::ShutterSpeedRow, true);
    const QList<int> before = b.values();
    const QList<int> timerRows{1, 2, 3, 4, 5, 6, 70, 0, 9, 10, 11};
    b.sim().setBlock(blockOf(timerRows));
    b.sim().setFault(fault);
    QSignalSpy speedChanges(b.box(FlightParams::ShutterSpeedRow), &QLineEdit::textChanged);
    b.press("btnGet");

    QCOMPARE(b.sim().receivedBytes(), QByteArray("/D"));
    QCOMPARE(b.boxes.texts, read ? QStringList() : QStringList("Error Retreiving Flight Parameters"));
    QCOMPARE(b.texts(), digits(read ? timerRows : before));
    // A read changes row 6 and still ends with the test allowed.
    QCOMPARE(speedChanges.size(), read ? 1 : 0);
    QCOMPARE(b.enabled("btnSet"), !read);
    QCOMPARE(b.enabled("btnShutter"), read);
    QVERIFY(b.enabled("btnGet") && b.link().comPERLO.PortOpen() && !QGuiApplication::overrideCursor());
}

void tst_WindowActions::testShutter_data()
{
    QTest::addColumn<PerloSim::Fault>("fault");
    QTest::addColumn<int>("shutterSpeed");
    QTest::addColumn<QString>("message");
    QTest::newRow("confirmed") << PerloSim::Fault::None << 2 << QString();
    QTest::newRow("refused") << PerloSim::Fault::RefuseAll << 2 << Refused;
    QTest::newRow("timed out") << PerloSim::Fault::Silent << 0 << TimedOut;
}

void tst_WindowActions::testShutter()
{
    QFETCH(PerloSim::Fault, fault);
    QFETCH(int, shutterSpeed);
    QFETCH(QString, message);
    QList<int> rows = MidRows;
    rows[FlightParams::ShutterSpeedRow] = shutterSpeed;
    QVERIFY(connectWindow(rows));
    WindowBench &b = *m_bench;
    b.sim().setFault(fault);
    b.press("btnShutter");

    QCOMPARE(b.boxes.texts, message.isEmpty() ? QStringList() : QStringList("Error Testing Shutter: " + message));
    QCOMPARE(b.sim().receivedBytes(), QByteArray("/S"));
    // The watchdog runs lengthened by the shutter speed, and is back to normal afterwards.
    QList<int> intervals;
    for (const WindowBench::Sample &s : b.busySamples())
        intervals.append(s.dogInterval);
    QVERIFY(!intervals.isEmpty());
    QCOMPARE(intervals, QList<int>(intervals.size(), 500 + 100 * shutterSpeed));
    QCOMPARE(b.link().tmrDog.Interval(), 500);
    QVERIFY(b.enabled("btnShutter") && !b.enabled("btnSet") && b.enabled("btnGet"));
}

QTEST_MAIN(tst_WindowActions)
#include "tst_window_actions.moc"
