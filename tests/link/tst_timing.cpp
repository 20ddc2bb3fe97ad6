#include "simlink.h"

#include <QtTest>

#include <limits>

using Script = QList<PerloSim::Chunk>;

class tst_Timing : public QObject
{
    Q_OBJECT
private slots:
    void watchdogFiresOnce();
    void enablingStartsTheCount();
    void pause_data();
    void pause();
    void shutterWatchdogMs_data();
    void shutterWatchdogMs();
    void shutter_data();
    void shutter();
};

void tst_Timing::watchdogFiresOnce()
{
    SimLink s;
    QSignalSpy fired(&s.link->tmrDog, &LinkTimer::Timer);
    s.link->tmrDog.setInterval(40);
    s.link->tmrDog.setEnabled(true);
    SimLink::spin(250);
    QCOMPARE(fired.count(), 1);
    QVERIFY(s.link->TimedOut);
    QVERIFY(!s.link->tmrDog.Enabled());
}

void tst_Timing::enablingStartsTheCount()
{
    LinkTimer timer;
    QElapsedTimer clock;
    QList<qint64> firedAt;
    connect(&timer, &LinkTimer::Timer, &timer, [&] {
        firedAt.append(clock.elapsed());
        timer.setEnabled(false);
    });
    timer.setEnabled(true); // interval 0: never fires
    SimLink::spin(60);
    timer.setEnabled(false);
    timer.setInterval(50);
    SimLink::spin(120);
    QCOMPARE(firedAt.size(), 0);
    for (const int restartAfterMs : {0, 30}) { // enabling a running timer restarts its count
        timer.setEnabled(true);
        SimLink::spin(restartAfterMs);
        clock.start();
        timer.setEnabled(true);
        QTRY_COMPARE_WITH_TIMEOUT(firedAt.size(), 1, 1000);
        QVERIFY2(firedAt.first() >= 50 && firedAt.first() < 90, qPrintable(QString::number(firedAt.first())));
        firedAt.clear();
    }
}

void tst_Timing::pause_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<int>("typicalSlackMs");
    QTest::newRow("5 ms") << 5 << 20 << 4;
    QTest::newRow("100 ms") << 100 << 5 << 15;
}

void tst_Timing::pause()
{
    QFETCH(int, ms);
    QFETCH(int, repeat);
    QFETCH(int, typicalSlackMs);
    SimLink s;
    QList<qint64> us;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer clock;
        clock.start();
        s.link->Pause(qint16(ms));
        us.append(clock.nsecsElapsed() / 1000);
        QVERIFY(s.link->WaitDone && !s.link->tmrWait.Enabled());
    }
    std::sort(us.begin(), us.end());
    const QByteArray range = QByteArray::number(us.first()) + ".." + QByteArray::number(us.last()) + " us";
    QVERIFY2(us.first() >= ms * 1000 && us.last() < ms * 1000 + 40000, range);
    // Not a coarse tick: the typical pause is close to what was asked.
    QVERIFY2(us.at(us.size() / 2) < (ms + typicalSlackMs) * 1000, range);
}

void tst_Timing::shutterWatchdogMs_data()
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

void tst_Timing::shutterWatchdogMs()
{
    QFETCH(int, speed);
    QFETCH(int, saved);
    QFETCH(int, ms);
    QCOMPARE(::shutterWatchdogMs(speed, saved).value_or(-1), ms);
    if (ms > 0)
        return;
    SimLink s; // without a usable watchdog the exchange is not started at all
    QVERIFY(s.open());
    s.link->tmrDog.setInterval(saved);
    s.view.values[6] = speed;
    QCOMPARE(s.link->TestShutter(), qint16(TimerLink::StatusUnexpected));
    SimLink::spin(30);
    QCOMPARE(s.sim.receivedBytes(), QByteArray());
    QCOMPARE(s.link->tmrDog.Interval(), saved);
    QVERIFY(!s.link->tmrDog.Enabled());
}

void tst_Timing::shutter_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<Script>("script"); // empty: the device stays silent
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("ms");
    QTest::newRow("speed 0, silent") << 0 << Script{} << 2 << 500;
    QTest::newRow("speed 25, OK after 2.8 s") << 25 << Script{{2800, "OK"}} << 0 << 2800;
    QTest::newRow("speed 25, OK after 3.2 s") << 25 << Script{{3200, "OK"}} << 2 << 3000;
    QTest::newRow("speed 25, ER") << 25 << Script{{60, "ER"}} << 1 << 60;
}

void tst_Timing::shutter()
{
    QFETCH(int, speed);
    QFETCH(Script, script);
    QFETCH(int, status);
    QFETCH(int, ms);
    SimLink s;
    s.sim.setScript('S', script);
    QVERIFY(s.open());
    s.view.values[6] = speed;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(s.link->TestShutter(), qint16(status));
    QVERIFY2(clock.elapsed() >= ms - 20 && clock.elapsed() <= ms + 150, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(s.sim.receivedBytes(), QByteArray("/S"));
    QCOMPARE(s.link->tmrDog.Interval(), 500);
    QVERIFY(!s.link->tmrDog.Enabled());
    // The next exchange has the normal watchdog again, and discards a late "OK".
    if (status == TimerLink::StatusTimedOut && !script.isEmpty())
        QTRY_COMPARE(s.link->comPERLO.InBufferCount(), qint64(2));
    s.sim.setScript('Z', {});
    clock.start();
    s.link->ProbeGeneration();
    QVERIFY2(clock.elapsed() >= 480 && clock.elapsed() <= 650, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(tst_Timing)
#include "tst_timing.moc"
