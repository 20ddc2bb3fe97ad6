#include "simlink.h"

#include <QtTest>

using Script = QList<PerloSim::Chunk>;

namespace {

// What every text exchange does before it waits for the reply.
void writeCommand(TimerLink &link, const char *command)
{
    link.comPERLO.setInputMode(SerialControl::InputModeText);
    link.comPERLO.setInBufferCount(0);
    link.comPERLO.Output(command);
}

QString msText(qint64 ms)
{
    return QString::number(ms) + " ms";
}

} // namespace

class tst_WaitReply : public QObject
{
    Q_OBJECT
private slots:
    void statusText_data();
    void statusText();
    void status_data();
    void status();
    void refusalLeavesLaterOkUnread();
    void staleBytesNeverCount();
    void returnsWhenTheMarkerArrives();

    void commandsOnTheWire();
    void generation_data();
    void generation();
    void silentProbeCostsOneWatchdog();
    void versionText_data();
    void versionText();
    void versionFailure_data();
    void versionFailure();
};

void tst_WaitReply::statusText_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << 0 << "Undefined Error";
    QTest::newRow("1") << 1 << "Timer reproted Error";
    QTest::newRow("2") << 2 << "I/O Timed Out";
    QTest::newRow("3") << 3 << "Unexpected Error";
    QTest::newRow("7") << 7 << "Undefined Error";
    QTest::newRow("-1") << -1 << "Undefined Error";
}

void tst_WaitReply::statusText()
{
    QFETCH(int, status);
    QFETCH(QString, text);
    QCOMPARE(TimerLink::StatusText(qint16(status)), text);
}

void tst_WaitReply::status_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<int>("abandonAtMs"); // -1: never
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    QTest::newRow("OK") << Script{{0, "OK"}} << -1 << 0 << "OK" << 0 << 150;
    QTest::newRow("ER") << Script{{0, "ER"}} << -1 << 1 << "ER" << 0 << 150;
    QTest::newRow("O, K") << Script{{0, "O"}, {60, "K"}} << -1 << 0 << "OK" << 55 << 200;
    QTest::newRow("E, R") << Script{{0, "E"}, {60, "R"}} << -1 << 1 << "ER" << 55 << 200;
    QTest::newRow("text and O, K") << Script{{0, "V2.10\r\nO"}, {40, "K"}} << -1 << 0
                                   << "V2.10\r\nOK" << 35 << 200;
    QTest::newRow("ER and OK in one read") << Script{{0, "ER\r\nOK"}} << -1 << 0 << "ER\r\nOK"
                                           << 0 << 150;
    QTest::newRow("OK and ER in one read") << Script{{0, "OK ER"}} << -1 << 0 << "OK ER" << 0
                                           << 150;
    QTest::newRow("ok") << Script{{0, "ok"}} << -1 << 2 << "ok" << 480 << 650;
    QTest::newRow("er") << Script{{0, "er"}} << -1 << 2 << "er" << 480 << 650;
    QTest::newRow("abandoned") << Script{} << 60 << 3 << "" << 55 << 300;
}

void tst_WaitReply::status()
{
    QFETCH(Script, script);
    QFETCH(int, abandonAtMs);
    QFETCH(int, status);
    QFETCH(QString, reply);
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
    QElapsedTimer clock;
    clock.start();
    writeCommand(link, "/V");
    QCOMPARE(link.WaitReply(text), qint16(status));
    const qint64 ms = clock.elapsed();
    QCOMPARE(text.text(), reply);
    QVERIFY2(ms >= minMs && ms <= maxMs, qPrintable(msText(ms)));
    QVERIFY(!link.tmrDog.Enabled());
    QCOMPARE(link.TimedOut, status == TimerLink::StatusTimedOut);
}

void tst_WaitReply::refusalLeavesLaterOkUnread()
{
    SimLink s;
    s.sim.setScript('V', {{0, "ER"}, {100, "OK"}});
    QVERIFY(s.open());
    TimerLink &link = *s.link;

    ReplyText reply;
    QElapsedTimer clock;
    clock.start();
    writeCommand(link, "/V");
    QCOMPARE(link.WaitReply(reply), qint16(TimerLink::StatusRefused));
    QVERIFY2(clock.elapsed() < 90, qPrintable(msText(clock.elapsed())));
    QCOMPARE(reply.text(), QString("ER"));

    QTRY_COMPARE(link.comPERLO.InBufferCount(), qint64(2));
    QCOMPARE(link.comPERLO.Input(), QByteArray("OK"));
}

void tst_WaitReply::staleBytesNeverCount()
{
    SimLink s;
    s.sim.setScript('V', {{550, "V2.10\r\nOK"}}); // too late for the watchdog
    QVERIFY(s.open());
    TimerLink &link = *s.link;

    ReplyText reply;
    writeCommand(link, "/V");
    QCOMPARE(link.WaitReply(reply), qint16(TimerLink::StatusTimedOut));
    QTRY_COMPARE(link.comPERLO.InBufferCount(), qint64(9));

    // The next exchange is refused; the late "OK" must not turn that around.
    s.sim.setScript('V', {{0, "ER"}});
    s.view.version = "stale";
    QCOMPARE(link.ReadVersion(), qint16(TimerLink::StatusRefused));
    QCOMPARE(s.view.version, QString("N/A"));
}

void tst_WaitReply::returnsWhenTheMarkerArrives()
{
    SimLink s;
    QVERIFY(s.open());
    TimerLink &link = *s.link;

    QList<qint64> latenessUs;
    for (const int delay : {30, 80, 150, 50, 110}) {
        s.sim.clearReceived();
        s.sim.setScript('V', {{delay, "V2.10\r\nOK"}});
        ReplyText reply;
        writeCommand(link, "/V");
        QCOMPARE(link.WaitReply(reply), qint16(TimerLink::StatusOk));
        const qint64 returnedNs = PerloSim::nowNs();
        QCOMPARE(s.sim.receivedBytes(), QByteArray("/V"));
        // The device starts its delay when the command is in.
        const qint64 markerDueNs = s.sim.received().last().ns + delay * 1000000LL;
        latenessUs.append((returnedNs - markerDueNs) / 1000);
    }
    std::sort(latenessUs.begin(), latenessUs.end());
    QString all;
    for (const qint64 us : latenessUs)
        all += QString::number(us) + " us ";
    QVERIFY2(latenessUs.first() >= 0, qPrintable(all));
    QVERIFY2(latenessUs.at(latenessUs.size() / 2) < 5000, qPrintable(all));
    QVERIFY2(latenessUs.last() < 30000, qPrintable(all));
}

void tst_WaitReply::commandsOnTheWire()
{
    SimLink s;
    QVERIFY(s.open());
    QList<char> commands;
    connect(&s.sim, &PerloSim::commandReceived, &s.sim, [&](char c) { commands.append(c); });

    QCOMPARE(s.link->ReadVersion(), qint16(TimerLink::StatusOk));
    QCOMPARE(s.sim.receivedBytes(), QByteArray("/V/Z"));
    QCOMPARE(commands, QList<char>({'V', 'Z'}));

    s.sim.clearReceived();
    s.link->ProbeGeneration();
    SimLink::spin(20);
    QCOMPARE(s.sim.receivedBytes(), QByteArray("/Z"));
}

void tst_WaitReply::generation_data()
{
    QTest::addColumn<int>("blockLen");
    QTest::addColumn<int>("lastParam");

    QTest::newRow("16-byte") << 16 << 10;
    QTest::newRow("8-byte") << 8 << 7;
}

void tst_WaitReply::generation()
{
    QFETCH(int, blockLen);
    QFETCH(int, lastParam);

    SimLink s(blockLen);
    QVERIFY(s.open());
    QCOMPARE(s.link->LastParam, qint16(0));
    QCOMPARE(s.link->BlockLen, qint16(0));
    // Every row starts in the state it must not end in.
    for (int i = 0; i < 11; ++i)
        s.view.inUse[i] = i > lastParam;

    QElapsedTimer clock;
    clock.start();
    s.link->ProbeGeneration();
    QVERIFY2(clock.elapsed() < 300, qPrintable(msText(clock.elapsed())));
    QCOMPARE(s.link->LastParam, qint16(lastParam));
    QCOMPARE(s.link->BlockLen, qint16(blockLen));
    for (int i = 0; i < 11; ++i)
        QVERIFY2(s.view.inUse[i] == (i <= lastParam), qPrintable(QString::number(i)));
}

void tst_WaitReply::silentProbeCostsOneWatchdog()
{
    SimLink s;
    s.sim.setFault(PerloSim::Fault::Silent);
    QVERIFY(s.open());
    s.view.inUse.fill(true);

    QElapsedTimer clock;
    clock.start();
    s.link->ProbeGeneration();
    QVERIFY2(clock.elapsed() >= 480 && clock.elapsed() <= 650, qPrintable(msText(clock.elapsed())));
    QCOMPARE(s.link->LastParam, qint16(7));
    QCOMPARE(s.link->BlockLen, qint16(8));
    for (int i = 0; i < 11; ++i)
        QCOMPARE(s.view.inUse[i], i <= 7);
}

void tst_WaitReply::versionText_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("version");

    QTest::newRow("V2.10") << QByteArray("V2.10\r\nOK") << "V2.10";
    QTest::newRow("junk before the V") << QByteArray("\0\x7f#v9 junk\r\nV2.10\r\nOK", 22)
                                       << "V2.10";
    QTest::newRow("V right before OK") << QByteArray("VOK") << "V";
    QTest::newRow("no V") << QByteArray("2.10\r\nOK") << "2.10";
    QTest::newRow("OK alone") << QByteArray("OK") << "";
    QTest::newRow("no V, line breaks around") << QByteArray("\r\nX1\r\nOK") << "X1";
}

void tst_WaitReply::versionText()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, version);

    SimLink s;
    s.sim.setScript('V', {{0, reply}});
    QVERIFY(s.open());
    QCOMPARE(s.link->ReadVersion(), qint16(TimerLink::StatusOk));
    QCOMPARE(s.view.version, version);
}

void tst_WaitReply::versionFailure_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("minMs");

    QTest::newRow("refused") << QByteArray("V2.10\r\nER") << 1 << 0;
    QTest::newRow("no marker") << QByteArray("V2.10\r\nok") << 2 << 480;
}

void tst_WaitReply::versionFailure()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, status);
    QFETCH(int, minMs);

    SimLink s; // accepts "/Z"
    s.sim.setScript('V', {{0, reply}});
    QVERIFY(s.open());
    s.view.version = "stale";

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(s.link->ReadVersion(), qint16(status));
    QVERIFY2(clock.elapsed() >= minMs && clock.elapsed() <= minMs + 170,
             qPrintable(msText(clock.elapsed())));
    QCOMPARE(s.view.version, QString("N/A"));
    // The probe ran all the same.
    QCOMPARE(s.sim.receivedBytes(), QByteArray("/V/Z"));
    QCOMPARE(s.link->LastParam, qint16(10));
    QCOMPARE(s.link->BlockLen, qint16(16));
}

QTEST_GUILESS_MAIN(tst_WaitReply)
#include "tst_waitreply.moc"
