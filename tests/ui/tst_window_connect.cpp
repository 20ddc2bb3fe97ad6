#include "updown.h"
#include "windowbench.h"

#include <QLineEdit>
#include <QtTest>

// "Connect" from the user's side: what the window shows and lets the user do
// after it succeeds or fails, and what reaches the timer meanwhile.
class tst_WindowConnect : public QObject
{
    Q_OBJECT
private slots:
    void connectsToA16ByteTimer();
    void connectsToAn8ByteTimer();
    void failedVersionReadAllowsAnotherPort_data();
    void failedVersionReadAllowsAnotherPort();
    void failedParameterReadLeavesTheFrameUsable();
};

namespace {

// Rows 0 to 10 as the timer holds them, and as the window must show them.
const QList<int> TimerRows{11, 22, 33, 44, 55, 66, 77, 200, 88, 99, 255};
const QList<int> ShownRows{11, 22, 33, 44, 55, 66, 77, 1, 88, 99, 255};

} // namespace

void tst_WindowConnect::connectsToA16ByteTimer()
{
    WindowBench bench;
    // Slow replies, so that the cursor can be watched.
    bench.sim().setReplyDelay(30);
    bench.sim().setScript('D', {{150, blockOf(TimerRows)}});
    QVERIFY(bench.start());
    QSignalSpy shutterRowChanges(bench.box(FlightParams::ShutterSpeedRow), &QLineEdit::textChanged);

    QVERIFY(bench.connectToTimer());

    QCOMPARE(bench.sim().receivedBytes(), QByteArray("/V/Z/D"));
    QCOMPARE(bench.find<QLineEdit>("txtVersion")->text(), QStringLiteral("V2.10"));
    QCOMPARE(bench.values(), ShownRows);
    QCOMPARE(bench.texts(), digits(ShownRows));
    for (int row = 0; row < FlightParams::RowCount; ++row)
        QVERIFY(bench.box(row)->isEnabled() && bench.spinner(row)->isEnabled());
    // Loading the rows raised their change events, row 6's included, yet the
    // read ends with "Set" off and "Test Shutter" on.
    QCOMPARE(shutterRowChanges.size(), 1);
    QVERIFY(!bench.find("btnSet")->isEnabled());
    QVERIFY(bench.find("btnShutter")->isEnabled() && bench.find("btnGet")->isEnabled());
    // No way back to another port.
    QVERIFY(!bench.find("fmeSerial")->isEnabled());
    QVERIFY(!bench.find("btnConnect")->isEnabledTo(bench.find("fmeSerial")));
    QVERIFY(bench.link().comPERLO.PortOpen());

    // Busy for the version read only: the parameter read runs with the default cursor.
    const qint64 readNs = bench.sim().received().at(5).ns; // the "D" of "/D"
    const QList<WindowBench::Sample> busy = bench.busySamples();
    QVERIFY(!busy.isEmpty());
    QVERIFY(busy.last().ns < readNs);
    const auto duringRead = std::count_if(bench.samples.cbegin(), bench.samples.cend(),
                                          [&](const WindowBench::Sample &s) { return s.ns > readNs; });
    QVERIFY2(duringRead > 5, "the parameter read did not let events run");
    QCOMPARE(bench.window().MousePointer(), 0);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void tst_WindowConnect::connectsToAn8ByteTimer()
{
    WindowBench bench;
    bench.sim().setGeneration(8);
    bench.sim().setBlock(blockOf(TimerRows));
    QVERIFY(bench.start());
    QVERIFY(bench.connectToTimer());

    QCOMPARE(bench.sim().receivedBytes(), QByteArray("/V/Z/D"));
    QCOMPARE(bench.texts(), digits(ShownRows.mid(0, 8)) + QStringList(3, QString()));
    // Greyed as drawn: the background left of each box's right-aligned digits.
    auto drawn = [&](int row) {
        return bench.box(row)->grab().toImage().pixelColor(5, bench.box(row)->height() / 2);
    };
    for (int row = 0; row < FlightParams::RowCount; ++row) {
        const bool inUse = row <= 7;
        QCOMPARE(bench.box(row)->isEnabled(), inUse);
        QCOMPARE(bench.spinner(row)->isEnabled(), inUse);
        QCOMPARE(drawn(row) == drawn(0), inUse);
    }
    QCOMPARE(bench.spinner(9)->Value(), 0);
    QVERIFY(!bench.find("btnSet")->isEnabled());
    QVERIFY(bench.find("btnShutter")->isEnabled());
}

void tst_WindowConnect::failedVersionReadAllowsAnotherPort_data()
{
    QTest::addColumn<PerloSim::Fault>("fault");
    QTest::addColumn<QString>("status");
    QTest::newRow("no device") << PerloSim::Fault::Silent << "I/O Timed Out";
    QTest::newRow("refused") << PerloSim::Fault::RefuseAll << "Timer reproted Error";
}

void tst_WindowConnect::failedVersionReadAllowsAnotherPort()
{
    QFETCH(PerloSim::Fault, fault);
    QFETCH(QString, status);
    WindowBench bench(2);
    bench.sim().setFault(fault);
    bench.sim(2).setVersion("V3.01");
    QVERIFY(bench.start());

    const qint64 clickNs = PerloSim::nowNs();
    bench.press("btnConnect");

    QCOMPARE(bench.boxes.texts(), QStringList("Error getting timer firmware version\r\n\r\n" + status));
    QCOMPARE(bench.sim().receivedBytes(), QByteArray("/V/Z"));
    if (fault == PerloSim::Fault::Silent) {
        // Two watchdog intervals, "/V" then "/Z", under the wait cursor.
        const QList<WindowBench::Sample> busy = bench.busySamples();
        QVERIFY(!busy.isEmpty());
        const qint64 boxMs = (bench.boxes.seen.first().ns - clickNs) / 1000000;
        const qint64 busyMs = (busy.last().ns - busy.first().ns) / 1000000;
        QVERIFY2(boxMs >= 900 && boxMs <= 1400, qPrintable(QString::number(boxMs)));
        QVERIFY(busy.first().ns - clickNs < 150000000);
        QVERIFY2(busyMs >= 900 && busyMs <= 1400, qPrintable(QString::number(busyMs)));
    }
    QVERIFY(!bench.link().comPERLO.PortOpen());
    QCOMPARE(bench.find<QLineEdit>("txtVersion")->text(), QStringLiteral("N/A"));
    QVERIFY(bench.find("fmeSerial")->isEnabled() && bench.find("btnConnect")->isEnabled());
    QVERIFY(!bench.find("fmeParams")->isEnabled());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // The user can pick the other port and retry.
    WindowBench::press(bench.find("optCom(1)"));
    QCOMPARE(bench.link().comPERLO.CommPort(), qint16(2));
    bench.boxes.seen.clear();
    QVERIFY(bench.connectToTimer());
    QCOMPARE(bench.sim(2).receivedBytes(), QByteArray("/V/Z/D"));
    QCOMPARE(bench.sim().receivedBytes(), QByteArray("/V/Z"));
    QCOMPARE(bench.find<QLineEdit>("txtVersion")->text(), QStringLiteral("V3.01"));
}

void tst_WindowConnect::failedParameterReadLeavesTheFrameUsable()
{
    // An 8-byte timer whose block comes one byte short: no "Autorun Mode".
    WindowBench bench;
    bench.sim().setGeneration(8);
    bench.sim().setFault(PerloSim::Fault::ShortBlock);
    bench.sim().setBlock(blockOf(TimerRows));
    QVERIFY(bench.start());
    bench.press("btnConnect");

    QCOMPARE(bench.boxes.texts(), QStringList("Error retreiving parameters"));
    QCOMPARE(bench.find<QLineEdit>("txtVersion")->text(), QStringLiteral("V2.10"));
    QVERIFY(bench.link().comPERLO.PortOpen());
    QVERIFY(bench.find("fmeParams")->isEnabled());
    QVERIFY(!bench.find("fmeSerial")->isEnabled());
    QCOMPARE(bench.texts(), QStringList(FlightParams::RowCount, QString()));
    QVERIFY(!bench.find("btnSet")->isEnabled());
    QVERIFY(bench.find("btnShutter")->isEnabled());

    // "Retrieve" is the way to try again.
    bench.sim().setFault(PerloSim::Fault::None);
    bench.boxes.seen.clear();
    bench.press("btnGet");
    QVERIFY(bench.boxes.seen.isEmpty());
    QCOMPARE(bench.values().mid(0, 8), ShownRows.mid(0, 8));
}

QTEST_MAIN(tst_WindowConnect)
#include "tst_window_connect.moc"
