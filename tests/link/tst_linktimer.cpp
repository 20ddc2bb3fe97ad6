#include "simlink.h"

#include <QtTest>

#include <time.h>

namespace {

qint64 processCpuNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

class tst_LinkTimer : public QObject
{
    Q_OBJECT
private slots:
    void intervalZeroNeverFires();
    void enablingStartsTheCount();
    void watchdogFiresOnce();
    void pause_data();
    void pause();
    void idleWaitUsesNoCpu();
};

void tst_LinkTimer::intervalZeroNeverFires()
{
    SimLink s;
    // The pause timer sits enabled with interval 0 between pauses.
    QVERIFY(s.link->tmrWait.Enabled());
    QCOMPARE(s.link->tmrWait.Interval(), 0);

    LinkTimer timer;
    QSignalSpy fired(&timer, &LinkTimer::Timer);
    QSignalSpy waitFired(&s.link->tmrWait, &LinkTimer::Timer);
    timer.setEnabled(true);
    SimLink::spin(60);
    timer.setInterval(20);
    timer.setInterval(0); // a running timer stops when its interval goes back to 0
    SimLink::spin(60);
    QCOMPARE(fired.count(), 0);
    QCOMPARE(waitFired.count(), 0);
    QVERIFY(!s.link->WaitDone);
}

void tst_LinkTimer::enablingStartsTheCount()
{
    LinkTimer timer;
    QElapsedTimer clock;
    QList<qint64> firedAt;
    connect(&timer, &LinkTimer::Timer, &timer, [&] {
        firedAt.append(clock.elapsed());
        timer.setEnabled(false);
    });

    // A disabled timer with an interval stays quiet.
    timer.setInterval(50);
    SimLink::spin(120);
    QCOMPARE(firedAt.size(), 0);

    clock.start();
    timer.setEnabled(true);
    QTRY_COMPARE_WITH_TIMEOUT(firedAt.size(), 1, 1000);
    QVERIFY2(firedAt.first() >= 50 && firedAt.first() < 90, qPrintable(QString::number(firedAt.first())));

    // Enabling again starts a fresh count, not the rest of an old one.
    firedAt.clear();
    timer.setEnabled(true);
    SimLink::spin(30);
    QCOMPARE(firedAt.size(), 0);
    timer.setEnabled(false);
    clock.start();
    timer.setEnabled(true);
    QTRY_COMPARE_WITH_TIMEOUT(firedAt.size(), 1, 1000);
    QVERIFY2(firedAt.first() >= 50 && firedAt.first() < 90, qPrintable(QString::number(firedAt.first())));
}

void tst_LinkTimer::watchdogFiresOnce()
{
    SimLink s;
    TimerLink &link = *s.link;
    QCOMPARE(link.tmrDog.Interval(), 500); // from Form_Load
    QVERIFY(!link.tmrDog.Enabled());

    QSignalSpy fired(&link.tmrDog, &LinkTimer::Timer);
    link.tmrDog.setInterval(40);
    link.TimedOut = false;
    link.tmrDog.setEnabled(true);
    SimLink::spin(250);
    QCOMPARE(fired.count(), 1);
    QVERIFY(link.TimedOut);
    QVERIFY(!link.tmrDog.Enabled());
}

void tst_LinkTimer::pause_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<int>("typicalSlackMs");

    QTest::newRow("5 ms") << 5 << 20 << 4;
    QTest::newRow("100 ms") << 100 << 5 << 15;
}

void tst_LinkTimer::pause()
{
    QFETCH(int, ms);
    QFETCH(int, repeat);
    QFETCH(int, typicalSlackMs);

    SimLink s;
    TimerLink &link = *s.link;
    QList<qint64> lengthsUs;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer clock;
        clock.start();
        link.Pause(qint16(ms));
        lengthsUs.append(clock.nsecsElapsed() / 1000);
        QVERIFY(link.WaitDone);
        QVERIFY(!link.tmrWait.Enabled());
    }
    std::sort(lengthsUs.begin(), lengthsUs.end());
    const QString all = QString::number(lengthsUs.first()) + ".." + QString::number(lengthsUs.last()) + " us";
    QVERIFY2(lengthsUs.first() >= ms * 1000, qPrintable(all));
    // Not a coarse tick: the typical pause is close to what was asked.
    QVERIFY2(lengthsUs.at(lengthsUs.size() / 2) < (ms + typicalSlackMs) * 1000, qPrintable(all));
    QVERIFY2(lengthsUs.last() < ms * 1000 + 40000, qPrintable(all));
}

void tst_LinkTimer::idleWaitUsesNoCpu()
{
    // Waiting for a device that says nothing: the status, the empty reply,
    // the length, and that the process sleeps meanwhile.
    SimLink s;
    s.sim.setFault(PerloSim::Fault::Silent);
    QVERIFY(s.open());
    TimerLink &link = *s.link;
    link.comPERLO.setInputMode(SerialControl::InputModeText);
    link.comPERLO.setInBufferCount(0);
    link.comPERLO.Output("/V");

    ReplyText reply;
    reply.append("left over");
    QElapsedTimer wall;
    const qint64 cpuBefore = processCpuNs();
    wall.start();
    const qint16 status = link.WaitReply(reply);
    const qint64 wallNs = wall.nsecsElapsed();
    const qint64 cpuNs = processCpuNs() - cpuBefore;

    QCOMPARE(status, qint16(TimerLink::StatusTimedOut));
    QCOMPARE(reply.text(), QString());
    QVERIFY(link.TimedOut);
    QVERIFY(!link.tmrDog.Enabled());
    QVERIFY2(wallNs >= 480000000 && wallNs < 650000000, qPrintable(QString::number(wallNs)));
    QVERIFY2(cpuNs * 20 < wallNs, qPrintable(QStringLiteral("%1 us of CPU in %2 us")
                                                     .arg(cpuNs / 1000).arg(wallNs / 1000)));
}

QTEST_GUILESS_MAIN(tst_LinkTimer)
#include "tst_linktimer.moc"
