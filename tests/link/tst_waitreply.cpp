#include "processusage.h"
#include "simlink.h"

#include <QtTest>

using Script = QList<PerloSim::Chunk>;

class tst_WaitReply : public QObject
{
    Q_OBJECT
private slots:
    void statusText();
    void status_data();
    void status();
    void returnsWhenTheMarkerArrives();
    void staleBytesNeverCount_data();
    void staleBytesNeverCount();
    void identification_data();
    void identification();
};

void tst_WaitReply::statusText()
{
    QStringList texts;
    for (const int status : {0, 1, 2, 3, 7})
        texts << TimerLink::StatusText(qint16(status));
    QCOMPARE(texts, QStringList({"Undefined Error", "Timer reproted Error", "I/O Timed Out",
                                 "Unexpected Error", "Undefined Error"}));
}

void tst_WaitReply::status_data()
{
    QTest::addColumn<Script>("script"); // empty: nothing answers
    QTest::addColumn<int>("abandonAtMs"); // -1: never
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QByteArray>("unread"); // left in the port afterwards
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    const QByteArray none;
    QTest::newRow("OK") << Script{{0, "V2.10\r\nOK"}} << -1 << 0 << "V2.10\r\nOK" << none << 0 << 150;
    QTest::newRow("ER") << Script{{0, "ER"}} << -1 << 1 << "ER" << none << 0 << 150;
    QTest::newRow("O, K") << Script{{0, "O"}, {60, "K"}} << -1 << 0 << "OK" << none << 55 << 200;
    QTest::newRow("ER, later OK") << Script{{0, "ER"}, {100, "OK"}} << -1 << 1 << "ER"
                                  << QByteArray("OK") << 0 << 90;
    QTest::newRow("ER and OK in one read") << Script{{0, "ER\r\nOK"}} << -1 << 0 << "ER\r\nOK"
                                           << none << 0 << 150;
    QTest::newRow("lower case") << Script{{0, "ok er"}} << -1 << 2 << "ok er" << none << 480 << 650;
    QTest::newRow("no device") << Script{} << -1 << 2 << "" << none << 480 << 650;
    QTest::newRow("abandoned") << Script{} << 60 << 3 << "" << none << 55 << 300;
}

void tst_WaitReply::status()
{
    QFETCH(Script, script);
    QFETCH(int, abandonAtMs);
    QFETCH(int, status);
    QFETCH(QString, reply);
    QFETCH(QByteArray, unread);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    SimLink s;
    if (script.isEmpty())
        s.sim.setFault(PerloSim::Fault::Silent);
    else
        s.sim.setScript('V', script);
    QVERIFY(s.open());
    TimerLink &link = *s.link;
    if (abandonAtMs >= 0)
        QTimer::singleShot(abandonAtMs, Qt::PreciseTimer, &link, &TimerLink::abandon);

    ReplyText text;
    text.append("left over");
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuUs = ProcessUsage::cpuTimeUs();
    link.comPERLO.Output("/V");
    QCOMPARE(link.WaitReply(text), qint16(status));
    const qint64 ms = clock.elapsed();
    const qint64 busyUs = ProcessUsage::cpuTimeUs() - cpuUs;
    QCOMPARE(text.text(), reply);
    QVERIFY2(ms >= minMs && ms <= maxMs, qPrintable(QString::number(ms)));
    QVERIFY(!link.tmrDog.Enabled());
    QCOMPARE(link.TimedOut, status == TimerLink::StatusTimedOut);
    // A long wait sleeps in the event loop instead of spinning.
    if (ms >= 400)
        QVERIFY2(busyUs * 20 < ms * 1000, qPrintable(QString::number(busyUs) + " us of CPU"));
    QTRY_COMPARE(link.comPERLO.InBufferCount(), qint64(unread.size()));
    QCOMPARE(link.comPERLO.Input(), unread);
}

void tst_WaitReply::returnsWhenTheMarkerArrives()
{
    SimLink s;
    QVERIFY(s.open());
    QList<qint64> latenessUs;
    for (const int delay : {30, 80, 150, 50, 110}) {
        s.sim.clearReceived();
        s.sim.setScript('V', {{delay, "V2.10\r\nOK"}});
        ReplyText reply;
        s.link->comPERLO.Output("/V");
        QCOMPARE(s.link->WaitReply(reply), qint16(TimerLink::StatusOk));
        // The device starts its delay when the command is in.
        latenessUs.append((PerloSim::nowNs() - s.sim.received().last().ns) / 1000 - delay * 1000);
    }
    std::sort(latenessUs.begin(), latenessUs.end());
    QString all;
    for (const qint64 us : latenessUs)
        all += QString::number(us) + " us ";
    QVERIFY2(latenessUs.first() >= 0, qPrintable(all));
    QVERIFY2(latenessUs.at(latenessUs.size() / 2) < 5000, qPrintable(all));
    QVERIFY2(latenessUs.last() < 30000, qPrintable(all));
}

void tst_WaitReply::staleBytesNeverCount_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("version") << QByteArray("/V/Z");
    QTest::newRow("shutter") << QByteArray("/S");
}

void tst_WaitReply::staleBytesNeverCount()
{
    QFETCH(QByteArray, wire);

    SimLink s;
    s.sim.setScript('V', {{0, "ER"}, {30, "\r\nOK"}});
    QVERIFY(s.open());
    TimerLink &link = *s.link;
    ReplyText reply;
    link.comPERLO.Output("/V");
    QCOMPARE(link.WaitReply(reply), qint16(TimerLink::StatusRefused));
    QTRY_COMPARE(link.comPERLO.InBufferCount(), qint64(4)); // the late "OK" waits

    // Refused now: the stale "OK" must not turn that around.
    s.sim.setScript('V', {{0, "ER"}});
    s.sim.setScript('S', {{0, "ER"}});
    s.sim.clearReceived();
    QCOMPARE(wire == "/S" ? link.TestShutter() : link.ReadVersion(), qint16(TimerLink::StatusRefused));
    SimLink::spin(20);
    QCOMPARE(s.sim.receivedBytes(), wire);
}

void tst_WaitReply::identification_data()
{
    QTest::addColumn<QByteArray>("v");
    QTest::addColumn<QByteArray>("z"); // empty: "/Z" goes unanswered
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("lastParam");
    QTest::addColumn<int>("minMs");

    const QByteArray ok("OK");
    QTest::newRow("16-byte") << QByteArray("V2.10\r\nOK") << ok << 0 << "V2.10" << 10 << 0;
    QTest::newRow("8-byte") << QByteArray("V1.02\r\nOK") << QByteArray("ER") << 0 << "V1.02" << 7 << 0;
    QTest::newRow("silent probe") << QByteArray("V1.02\r\nOK") << QByteArray() << 0 << "V1.02" << 7 << 480;
    QTest::newRow("junk before the V") << QByteArray("\0\x7f#v9 junk\r\nV2.10\r\nOK", 22) << ok << 0
                                       << "V2.10" << 10 << 0;
    QTest::newRow("nothing between") << QByteArray("V1OK") << ok << 0 << "" << 10 << 0;
    QTest::newRow("V right before OK") << QByteArray("VOK") << ok << 0 << "V" << 10 << 0;
    QTest::newRow("no V") << QByteArray("\r\nX1\r\nOK") << ok << 0 << "X1" << 10 << 0;
    QTest::newRow("V after OK") << QByteArray("\r\nOK V2.10") << ok << 0 << "" << 10 << 0;
    QTest::newRow("refused") << QByteArray("V2.10\r\nER") << ok << 1 << "N/A" << 10 << 0;
    QTest::newRow("no marker") << QByteArray("V2.10\r\nok") << ok << 2 << "N/A" << 10 << 480;
}

void tst_WaitReply::identification()
{
    QFETCH(QByteArray, v);
    QFETCH(QByteArray, z);
    QFETCH(int, status);
    QFETCH(QString, version);
    QFETCH(int, lastParam);
    QFETCH(int, minMs);

    SimLink s;
    s.sim.setScript('V', {{0, v}});
    if (z.isEmpty())
        s.sim.setFault(PerloSim::Fault::Silent);
    else
        s.sim.setScript('Z', {{0, z}});
    QVERIFY(s.open());
    s.view.version = "stale";
    for (int i = 0; i < 11; ++i)
        s.view.inUse[i] = i > lastParam; // the state each row must not end in

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(s.link->ReadVersion(), qint16(status));
    QVERIFY2(clock.elapsed() >= minMs && clock.elapsed() <= minMs + 170, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(s.view.version, version);
    // The probe runs whatever the version exchange gave.
    QCOMPARE(s.sim.receivedBytes(), QByteArray("/V/Z"));
    QCOMPARE(s.link->LastParam, qint16(lastParam));
    QCOMPARE(s.link->BlockLen, qint16(lastParam == 10 ? 16 : 8));
    for (int i = 0; i < 11; ++i)
        QVERIFY2(s.view.inUse[i] == (i <= lastParam), qPrintable(QString::number(i)));
}

QTEST_GUILESS_MAIN(tst_WaitReply)
#include "tst_waitreply.moc"
