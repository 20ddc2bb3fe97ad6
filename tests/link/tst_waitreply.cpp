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
    QCOMPARE(texts, QStringList({"Undefined Error", "Timer reproted Error", "I/O Timed Out", "Unexpected Error", "Undefined Error"}));
}

void tst_WaitReply::status_data()
{
    QTest::addColumn<Script>("script"); // empty: nothing answers
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("unread"); // left in the port afterwards
    QTest::addColumn<int>("ms");
    QTest::newRow("O, K") << Script{{0, "O"}, {60, "K"}} << 0 << QByteArray() << 60;
    QTest::newRow("ER, later OK") << Script{{0, "ER"}, {100, "OK"}} << 1 << QByteArray("OK") << 0;
    QTest::newRow("ER and OK in one read") << Script{{0, "ER\r\nOK"}} << 0 << QByteArray() << 0;
    QTest::newRow("lower case") << Script{{0, "ok er"}} << 2 << QByteArray() << 500;
    QTest::newRow("no device") << Script{} << 2 << QByteArray() << 500;
}

void tst_WaitReply::status()
{
    QFETCH(Script, script);
    QFETCH(int, status);
    QFETCH(QByteArray, unread);
    QFETCH(int, ms);
    SimLink s;
    s.sim.setScript('V', script);
    QVERIFY(s.open());
    TimerLink &link = *s.link;
    ReplyText text;
    text.append("left over");
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuUs = ProcessUsage::cpuTimeUs();
    link.comPERLO.Output("/V");
    QCOMPARE(link.WaitReply(text), qint16(status));
    const qint64 tookMs = clock.elapsed(), busyUs = ProcessUsage::cpuTimeUs() - cpuUs;
    QByteArray whole;
    for (const PerloSim::Chunk &c : script)
        whole += c.bytes;
    QCOMPARE(text.text(), QString::fromLatin1(whole.chopped(unread.size())));
    QVERIFY2(tookMs >= ms - 20 && tookMs <= ms + 150, qPrintable(QString::number(tookMs)));
    QVERIFY(!link.tmrDog.Enabled());
    QCOMPARE(link.TimedOut, status == TimerLink::StatusTimedOut);
    // A long wait sleeps in the event loop instead of spinning.
    QVERIFY2(tookMs < 400 || busyUs * 20 < tookMs * 1000, qPrintable(QString::number(busyUs) + " us of CPU"));
    QTRY_COMPARE(link.comPERLO.InBufferCount(), qint64(unread.size()));
    QCOMPARE(link.comPERLO.Input(), unread);
}

void tst_WaitReply::returnsWhenTheMarkerArrives()
{
    SimLink s;
    QVERIFY(s.open());
    QList<qint64> lateUs;
    for (const int delay : {30, 80, 150, 50, 110}) {
        s.sim.setScript('V', {{delay, "V2.10\r\nOK"}});
        ReplyText reply;
        s.link->comPERLO.Output("/V");
        QCOMPARE(s.link->WaitReply(reply), qint16(TimerLink::StatusOk));
        lateUs.append((PerloSim::nowNs() - s.sim.received().last().ns) / 1000 - delay * 1000);
    }
    std::sort(lateUs.begin(), lateUs.end());
    const QByteArray all = QByteArray::number(lateUs.first()) + ".." + QByteArray::number(lateUs.last()) + " us";
    QVERIFY2(lateUs.first() >= 0 && lateUs.at(lateUs.size() / 2) < 5000 && lateUs.last() < 30000, all);
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
    ReplyText reply;
    s.link->comPERLO.Output("/V");
    QCOMPARE(s.link->WaitReply(reply), qint16(TimerLink::StatusRefused));
    QTRY_COMPARE(s.link->comPERLO.InBufferCount(), qint64(4)); // the late "OK" waits
    s.sim.setScript('V', {{0, "ER"}});
    s.sim.setScript('S', {{0, "ER"}});
    s.sim.clearReceived();
    QCOMPARE(wire == "/S" ? s.link->TestShutter() : s.link->ReadVersion(), qint16(TimerLink::StatusRefused));
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
    const QByteArray ok("OK"), v102("V1.02\r\nOK");
    QTest::newRow("16-byte") << QByteArray("V2.10\r\nOK") << ok << 0 << "V2.10" << 10;
    QTest::newRow("8-byte") << v102 << QByteArray("ER") << 0 << "V1.02" << 7;
    QTest::newRow("silent probe") << v102 << QByteArray() << 0 << "V1.02" << 7;
    QTest::newRow("junk before the V") << QByteArray("\0\x7f#v9 junk\r\nV2.10\r\nOK", 22) << ok << 0 << "V2.10" << 10;
    QTest::newRow("no V") << QByteArray("\r\nX1\r\nOK") << ok << 0 << "X1" << 10;
    QTest::newRow("refused") << QByteArray("V2.10\r\nER") << ok << 1 << "N/A" << 10;
    QTest::newRow("no marker") << QByteArray("V2.10\r\nok") << ok << 2 << "N/A" << 10;
}

void tst_WaitReply::identification()
{
    QFETCH(QByteArray, v);
    QFETCH(QByteArray, z);
    QFETCH(int, status);
    QFETCH(QString, version);
    QFETCH(int, lastParam);
    const int minMs = z.isEmpty() || status == TimerLink::StatusTimedOut ? 480 : 0; // a silent exchange costs one interval
    SimLink s;
    s.sim.setScript('V', {{0, v}});
    s.sim.setScript('Z', z.isEmpty() ? Script() : Script{{0, z}});
    QVERIFY(s.open());
    s.view.version = "stale";
    for (int i = 0; i < 11; ++i)
        s.view.inUse[i] = i > lastParam; // the state each row must not end in
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(s.link->ReadVersion(), qint16(status));
    QVERIFY2(clock.elapsed() >= minMs && clock.elapsed() <= minMs + 170, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(s.view.version, version);
    QCOMPARE(s.sim.receivedBytes(), QByteArray("/V/Z")); // the probe runs whatever the version gave
    QCOMPARE(s.link->LastParam, qint16(lastParam));
    QCOMPARE(s.link->BlockLen, qint16(lastParam == 10 ? 16 : 8));
    for (int i = 0; i < 11; ++i)
        QVERIFY2(s.view.inUse[i] == (i <= lastParam), qPrintable(QString::number(i)));
}

QTEST_GUILESS_MAIN(tst_WaitReply)
#include "tst_waitreply.moc"
