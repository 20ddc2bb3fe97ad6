#include "simlink.h"

#include <QtTest>

class tst_LinkTimer : public QObject
{
    Q_OBJECT
private slots:
    void formTimers();
    void enablingStartsTheCount();
    void pause_data();
    void pause();
};

void tst_LinkTimer::formTimers()
{
    SimLink s;
    TimerLink &link = *s.link;
    QCOMPARE(link.tmrDog.Interval(), 500); // from Form_Load
    QVERIFY(!link.tmrDog.Enabled());
    // The pause timer sits enabled with interval 0 between pauses.
    QVERIFY(link.tmrWait.Enabled());
    QCOMPARE(link.tmrWait.Interval(), 0);

    QSignalSpy dogFired(&link.tmrDog, &LinkTimer::Timer);
    QSignalSpy waitFired(&link.tmrWait, &LinkTimer::Timer);
    link.tmrDog.setInterval(40);
    link.tmrDog.setEnabled(true);
    SimLink::spin(250);
    QCOMPARE(dogFired.count(), 1);
    QVERIFY(link.TimedOut);
    QVERIFY(!link.tmrDog.Enabled());
    QCOMPARE(waitFired.count(), 0);
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
    auto firesAfter50 = [&] {
        QTRY_COMPARE_WITH_TIMEOUT(firedAt.size(), 1, 1000);
        QVERIFY2(firedAt.first() >= 50 && firedAt.first() < 90, qPrintable(QString::number(firedAt.first())));
        firedAt.clear();
    };

    timer.setEnabled(true); // interval 0: never fires
    SimLink::spin(60);
    timer.setInterval(20);
    timer.setInterval(0); // a running timer stops when its interval goes back to 0
    SimLink::spin(60);
    timer.setEnabled(false);
    timer.setInterval(50); // disabled: stays quiet
    SimLink::spin(120);
    QCOMPARE(firedAt.size(), 0);
    clock.start();
    timer.setEnabled(true);
    firesAfter50();

    // Enabling starts a fresh count even while one runs, as when an exchange
    // re-arms the watchdog a parameter read left armed.
    timer.setEnabled(true);
    SimLink::spin(30);
    clock.start();
    timer.setEnabled(true);
    firesAfter50();
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
    QList<qint64> lengthsUs;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer clock;
        clock.start();
        s.link->Pause(qint16(ms));
        lengthsUs.append(clock.nsecsElapsed() / 1000);
        QVERIFY(s.link->WaitDone);
        QVERIFY(!s.link->tmrWait.Enabled());
    }
    std::sort(lengthsUs.begin(), lengthsUs.end());
    const QByteArray range = QByteArray::number(lengthsUs.first()) + ".." + QByteArray::number(lengthsUs.last()) + " us";
    QVERIFY2(lengthsUs.first() >= ms * 1000, range);
    // Not a coarse tick: the typical pause is close to what was asked.
    QVERIFY2(lengthsUs.at(lengthsUs.size() / 2) < (ms + typicalSlackMs) * 1000, range);
    QVERIFY2(lengthsUs.last() < ms * 1000 + 40000, range);
}

QTEST_GUILESS_MAIN(tst_LinkTimer)
#include "tst_linktimer.moc"
