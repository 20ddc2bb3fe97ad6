#include "simlink.h"

#include <QtTest>

#include <limits>

using Script = QList<PerloSim::Chunk>;

namespace {

QString msText(qint64 ms)
{
    return QString::number(ms) + " ms";
}

} // namespace

class tst_Shutter : public QObject
{
    Q_OBJECT
private slots:
    void watchdogMs_data();
    void watchdogMs();
    void timing_data();
    void timing();
    void intervalRestored_data();
    void intervalRestored();
    void staleBytesNeverCount();
    void unusableWatchdog_data();
    void unusableWatchdog();
};

void tst_Shutter::watchdogMs_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("saved");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("ms");

    constexpr int Max = std::numeric_limits<qint32>::max();
    QTest::newRow("0") << 0 << 500 << true << 500;
    QTest::newRow("25") << 25 << 500 << true << 3000;
    QTest::newRow("255") << 255 << 500 << true << 26000;
    QTest::newRow("saved 32767") << 0 << 32767 << true << 32767;
    QTest::newRow("saved -32768") << 10 << -32768 << true << -31768;
    QTest::newRow("saved 32768") << 0 << 32768 << false << 0;
    QTest::newRow("saved -32769") << 0 << -32769 << false << 0;
    QTest::newRow("sum at the top") << Max / 100 << Max % 100 << true << Max;
    QTest::newRow("sum overflows") << Max / 100 << Max % 100 + 1 << false << 0;
    QTest::newRow("product overflows") << Max / 100 + 1 << 0 << false << 0;
    QTest::newRow("negative product overflows") << -(Max / 100) - 2 << 0 << false << 0;
}

void tst_Shutter::watchdogMs()
{
    QFETCH(int, speed);
    QFETCH(int, saved);
    QFETCH(bool, fits);
    QFETCH(int, ms);

    const std::optional<qint32> extended = shutterWatchdogMs(speed, saved);
    QCOMPARE(extended.has_value(), fits);
    if (fits)
        QCOMPARE(*extended, ms);
}

void tst_Shutter::timing_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<Script>("script"); // empty: the device stays silent
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    QTest::newRow("speed 0, silent") << 0 << Script{} << 2 << 480 << 650;
    QTest::newRow("speed 25, OK after 2.8 s") << 25 << Script{{2800, "OK"}} << 0 << 2780 << 2950;
    QTest::newRow("speed 25, OK after 3.2 s") << 25 << Script{{3200, "OK"}} << 2 << 2980 << 3150;
}

void tst_Shutter::timing()
{
    QFETCH(int, speed);
    QFETCH(Script, script);
    QFETCH(int, status);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    SimLink s;
    if (script.isEmpty())
        s.sim.setFault(PerloSim::Fault::Silent);
    else
        s.sim.setScript('S', script);
    QVERIFY(s.open());
    s.view.values[6] = speed;

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(s.link->TestShutter(), qint16(status));
    QVERIFY2(clock.elapsed() >= minMs && clock.elapsed() <= maxMs, qPrintable(msText(clock.elapsed())));
    QCOMPARE(s.sim.receivedBytes(), QByteArray("/S"));
    QCOMPARE(s.link->tmrDog.Interval(), 500);
    QCOMPARE(s.view.valueWrites, 0);
}

void tst_Shutter::intervalRestored_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<Script>("script");
    QTest::addColumn<int>("status");

    QTest::newRow("confirmed") << 25 << Script{{60, "OK"}} << 0;
    QTest::newRow("refused") << 25 << Script{{60, "ER"}} << 1;
    QTest::newRow("timed out") << 3 << Script{} << 2;
}

void tst_Shutter::intervalRestored()
{
    QFETCH(int, speed);
    QFETCH(Script, script);
    QFETCH(int, status);

    SimLink s;
    if (script.isEmpty())
        s.sim.setFault(PerloSim::Fault::Silent);
    else
        s.sim.setScript('S', script);
    QVERIFY(s.open());
    TimerLink &link = *s.link;
    s.view.values[6] = speed;

    int intervalDuringTest = 0;
    bool armedDuringTest = false;
    QTimer::singleShot(20, &s.sim, [&] {
        intervalDuringTest = link.tmrDog.Interval();
        armedDuringTest = link.tmrDog.Enabled();
    });
    QCOMPARE(link.TestShutter(), qint16(status));
    QCOMPARE(intervalDuringTest, speed * 100 + 500);
    QVERIFY(armedDuringTest);
    QCOMPARE(link.tmrDog.Interval(), 500);
    QVERIFY(!link.tmrDog.Enabled());

    // The next exchange has the normal watchdog again.
    s.sim.clearScripts();
    s.sim.setFault(PerloSim::Fault::Silent);
    QElapsedTimer clock;
    clock.start();
    link.ProbeGeneration();
    QVERIFY2(clock.elapsed() >= 480 && clock.elapsed() <= 650, qPrintable(msText(clock.elapsed())));
}

void tst_Shutter::staleBytesNeverCount()
{
    SimLink s;
    s.sim.setScript('V', {{0, "ER"}, {30, "\r\nOK"}});
    s.sim.setScript('S', {{0, "ER"}});
    QVERIFY(s.open());
    TimerLink &link = *s.link;

    link.comPERLO.setInputMode(SerialControl::InputModeText);
    link.comPERLO.setInBufferCount(0);
    link.comPERLO.Output("/V");
    ReplyText reply;
    QCOMPARE(link.WaitReply(reply), qint16(TimerLink::StatusRefused));
    QTRY_COMPARE(link.comPERLO.InBufferCount(), qint64(4)); // the late "OK" is waiting

    s.sim.clearReceived();
    QCOMPARE(link.TestShutter(), qint16(TimerLink::StatusRefused));
    QCOMPARE(s.sim.receivedBytes(), QByteArray("/S"));
}

void tst_Shutter::unusableWatchdog_data()
{
    QTest::addColumn<int>("saved");
    QTest::addColumn<int>("speed");

    QTest::newRow("saved beyond 16 bits") << 40000 << 0;
    QTest::newRow("overflow") << 500 << std::numeric_limits<qint32>::max() / 100 + 1;
}

void tst_Shutter::unusableWatchdog()
{
    QFETCH(int, saved);
    QFETCH(int, speed);

    SimLink s;
    QVERIFY(s.open());
    TimerLink &link = *s.link;
    link.tmrDog.setInterval(saved);
    s.view.values[6] = speed;

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(link.TestShutter(), qint16(TimerLink::StatusUnexpected));
    QVERIFY2(clock.elapsed() < 100, qPrintable(msText(clock.elapsed())));
    SimLink::spin(30);
    QCOMPARE(s.sim.receivedBytes(), QByteArray());
    QCOMPARE(link.tmrDog.Interval(), saved);
    QVERIFY(!link.tmrDog.Enabled());
}

QTEST_GUILESS_MAIN(tst_Shutter)
#include "tst_shutter.moc"
