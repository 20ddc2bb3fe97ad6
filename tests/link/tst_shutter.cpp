#include "simlink.h"

#include <QtTest>

#include <limits>

using Script = QList<PerloSim::Chunk>;

class tst_Shutter : public QObject
{
    Q_OBJECT
private slots:
    void watchdogMs_data();
    void watchdogMs();
    void outcome_data();
    void outcome();
};

void tst_Shutter::watchdogMs_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("saved");
    QTest::addColumn<int>("ms"); // -1: unusable

    constexpr int Max = std::numeric_limits<qint32>::max();
    QTest::newRow("0") << 0 << 500 << 500;
    QTest::newRow("25") << 25 << 500 << 3000;
    QTest::newRow("255") << 255 << 500 << 26000;
    QTest::newRow("saved 32767") << 0 << 32767 << 32767;
    QTest::newRow("saved 32768") << 0 << 32768 << -1;
    QTest::newRow("saved -32769") << 0 << -32769 << -1;
    QTest::newRow("saved 0") << 0 << 0 << 0;
    QTest::newRow("sum at the top") << Max / 100 << Max % 100 << Max;
    QTest::newRow("sum overflows") << Max / 100 << Max % 100 + 1 << -1;
    QTest::newRow("product overflows") << Max / 100 + 1 << 0 << -1;
}

void tst_Shutter::watchdogMs()
{
    QFETCH(int, speed);
    QFETCH(int, saved);
    QFETCH(int, ms);
    QCOMPARE(shutterWatchdogMs(speed, saved).value_or(-1), ms);
    if (ms > 0)
        return; // usable intervals at work: outcome()

    // Without a usable watchdog the exchange is not started at all.
    SimLink s;
    QVERIFY(s.open());
    s.link->tmrDog.setInterval(saved);
    s.view.values[6] = speed;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(s.link->TestShutter(), qint16(TimerLink::StatusUnexpected));
    QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
    SimLink::spin(30);
    QCOMPARE(s.sim.receivedBytes(), QByteArray());
    QCOMPARE(s.link->tmrDog.Interval(), saved);
    QVERIFY(!s.link->tmrDog.Enabled());
}

void tst_Shutter::outcome_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<Script>("script"); // empty: the device stays silent
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    QTest::newRow("speed 0, silent") << 0 << Script{} << 2 << 480 << 650;
    QTest::newRow("speed 25, OK after 2.8 s") << 25 << Script{{2800, "OK"}} << 0 << 2780 << 2950;
    QTest::newRow("speed 25, OK after 3.2 s") << 25 << Script{{3200, "OK"}} << 2 << 2980 << 3150;
    QTest::newRow("speed 25, ER") << 25 << Script{{60, "ER"}} << 1 << 55 << 200;
}

void tst_Shutter::outcome()
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
    TimerLink &link = *s.link;
    s.view.values[6] = speed;

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(link.TestShutter(), qint16(status));
    QVERIFY2(clock.elapsed() >= minMs && clock.elapsed() <= maxMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(s.sim.receivedBytes(), QByteArray("/S"));
    QCOMPARE(link.tmrDog.Interval(), 500);
    QVERIFY(!link.tmrDog.Enabled());
    QCOMPARE(s.view.valueWrites, 0);

    // The next exchange has the normal watchdog again, and discards a late "OK".
    if (status == TimerLink::StatusTimedOut && !script.isEmpty())
        QTRY_COMPARE(link.comPERLO.InBufferCount(), qint64(2));
    s.sim.clearScripts();
    s.sim.setFault(PerloSim::Fault::Silent);
    clock.start();
    link.ProbeGeneration();
    QVERIFY2(clock.elapsed() >= 480 && clock.elapsed() <= 650, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(tst_Shutter)
#include "tst_shutter.moc"
