#include "flightparams.h"
#include "simlink.h"
#include "threadedsim.h"

#include <QtTest>

#include <pthread.h>

using Values = QList<int>; // rows 0 to 10

static Values rows(const RowsView &view) { return Values(view.values.begin(), view.values.end()); }

class tst_Transfer : public QObject
{
    Q_OBJECT
private slots:
    void rowNames();
    void writeAndReadBack_data();
    void writeAndReadBack();
    void valuesAreReadAsTheyAreSent();
    void silentAfterTheBlock();
    void read_data();
    void read();
};

void tst_Transfer::rowNames()
{
    QStringList texts;
    for (const FlightParam &p : FlightParams::table())
        texts << QStringLiteral("%1 %2").arg(p.name, p.unit);
    QCOMPARE(texts.join(", "), "Launch Detect (1/100 Sec), Launch Delay (1/10 Sec), Number of Groups (Count), "
             "Number of Pictures (Count), Picture Interval (1/10 Sec), Group Interval (Seconds), Shutter Speed (1/10 Sec), "
             "Autorun Mode (0 or 1), Powerup Time (1/10 Sec), Cycle Count (Count), Cycle Pacing (1/10 Sec)");
}

void tst_Transfer::writeAndReadBack_data()
{
    QTest::addColumn<int>("blockLen");
    QTest::addColumn<QByteArray>("block"); // the first 11 bytes are the rows
    QTest::newRow("8-byte") << 8 << QByteArray::fromHex("00ff030405060701");
    QTest::newRow("16-byte") << 16 << QByteArray::fromHex("00ff030405060701090a0b0000000000");
}

void tst_Transfer::writeAndReadBack()
{
    QFETCH(int, blockLen);
    QFETCH(QByteArray, block);
    // A busy machine can make the device read a byte late, which shortens the
    // gap after it; a link that sends too early does so every time.
    QStringList faults;
    for (int attempt = 0; attempt < 3 && (attempt == 0 || !faults.isEmpty()); ++attempt) {
        faults.clear();
        ThreadedSim device([&](PerloSim &sim) {
            sim.setGeneration(blockLen);
            sim.setLinePaced(false);
            sim.setStrict(true); // answers "ER" to a block sent too early or too fast
            const sched_param realTime{sched_get_priority_min(SCHED_FIFO)}; // where allowed
            pthread_setschedparam(pthread_self(), SCHED_FIFO, &realTime);
        });
        qputenv("RURUZIDURA_COM1", QFile::encodeName(device.portPath()));
        RowsView view;
        TimerLink link(&view);
        link.Form_Load();
        QVERIFY(link.comPERLO.setPortOpen(true));
        link.ProbeGeneration();
        for (int i = 0; i < 11; ++i)
            view.values[i] = i < blockLen ? quint8(block[i]) : 99; // rows beyond stay off the wire
        device.call([](PerloSim &sim) { sim.clearReceived(); });
        if (const qint16 status = link.WriteParams(); status != TimerLink::StatusOk)
            faults << QStringLiteral("status %1").arg(status);
        QThread::msleep(20); // anything that would trail the block
        QList<PerloSim::Received> in;
        QByteArray wire;
        device.call([&](PerloSim &sim) { in = sim.received(); wire = sim.receivedBytes(); });
        QCOMPARE(wire, "/P" + block);
        QCOMPARE(view.valueWrites, 0);
        for (int i = 2; i < in.size(); ++i) { // less 0.5 ms the device may take to read a byte
            if (const qint64 gapNs = in.at(i).ns - in.at(i - 1).ns; gapNs < (i == 2 ? 104500000 : 4500000))
                faults << QStringLiteral("%1 ns before byte %2").arg(gapNs).arg(i - 2);
        }
        if ((in.last().ns - in.at(2).ns) / (blockLen - 1) < 5000000)
            faults << QStringLiteral("mean gap below 5 ms");
        if (!faults.isEmpty())
            continue;
        const Values sent = rows(view); // the device kept the block: reading gives it back
        for (int i = 0; i <= link.LastParam; ++i)
            view.values[i] = i == 7 ? 1 - sent[7] : 128;
        QVERIFY(link.ReadParams());
        QCOMPARE(rows(view), sent);
    }
    qunsetenv("RURUZIDURA_COM1");
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
}

void tst_Transfer::valuesAreReadAsTheyAreSent()
{
    SimLink s;
    QVERIFY(s.open());
    s.link->ProbeGeneration();
    s.view.values = {10, 11, 12, 13, 14, 15, 16, 0, 18, 19, 20};
    s.sim.clearReceived();
    // One change during the pause after the command, more once the block's first byte is out.
    QTimer::singleShot(40, Qt::PreciseTimer, &s.sim, [&] { s.view.values[0] = 200; });
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    connect(&watch, &QTimer::timeout, &s.sim, [&] {
        if (s.sim.received().size() >= 3) {
            watch.stop();
            s.view.values[5] = 205;
            s.view.values[7] = 1;
            s.view.values[10] = 210;
        }
    });
    watch.start(1);
    QCOMPARE(s.link->WriteParams(), qint16(TimerLink::StatusOk));
    QCOMPARE(s.sim.receivedBytes().mid(2, 11), QByteArray("\xc8\x0b\x0c\x0d\x0e\xcd\x10\x01\x12\x13\xd2", 11));
}

void tst_Transfer::silentAfterTheBlock()
{
    SimLink s;
    QVERIFY(s.open());
    s.link->ProbeGeneration();
    s.sim.setScript('P', {});
    s.sim.clearReceived();
    QCOMPARE(s.link->WriteParams(), qint16(TimerLink::StatusTimedOut));
    QCOMPARE(s.sim.received().size(), 2 + 16);
    // One watchdog interval counted from the last byte, not from the "/P".
    const qint64 afterLastMs = (PerloSim::nowNs() - s.sim.received().last().ns) / 1000000;
    QVERIFY2(afterLastMs >= 450 && afterLastMs <= 650, qPrintable(QString::number(afterLastMs)));
}

void tst_Transfer::read_data()
{
    QTest::addColumn<int>("blockLen");
    QTest::addColumn<int>("length"); // distinct values, both extremes
    QTest::addColumn<int>("byte7");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    QTest::newRow("16 of 16, byte 7 = 200") << 16 << 16 << 200 << true << 0 << 100;
    QTest::newRow("16 of 16, byte 7 = 0") << 16 << 16 << 0 << true << 0 << 100;
    QTest::newRow("8 of 8, byte 7 = 255") << 8 << 8 << 255 << true << 0 << 100;
    QTest::newRow("8 of 8, byte 7 = 0") << 8 << 8 << 0 << true << 0 << 100;
    QTest::newRow("40 of 16, paced") << 16 << 40 << 1 << true << 60 << 120; // all 40: 167 ms
    QTest::newRow("15 of 16") << 16 << 15 << 1 << true << 480 << 650;
    QTest::newRow("14 of 16") << 16 << 14 << 1 << false << 480 << 650;
    QTest::newRow("7 of 8") << 8 << 7 << 1 << false << 480 << 650;
}

void tst_Transfer::read()
{
    QFETCH(int, blockLen);
    QFETCH(int, length);
    QFETCH(int, byte7);
    QFETCH(bool, loaded);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    QByteArray answer;
    for (int i = 0; i < length; ++i)
        answer.append(char(i == 0 ? 0 : i == 1 ? 255 : i == 7 ? byte7 : i * 23 + 5));
    SimLink s(blockLen, length > blockLen); // at line speed, a long answer takes its time
    QVERIFY(s.open());
    s.link->ProbeGeneration();
    s.sim.setScript('D', {{0, answer}});
    s.view.values.fill(77);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(s.link->ReadParams(), loaded);
    QVERIFY2(clock.elapsed() >= minMs && clock.elapsed() <= maxMs, qPrintable(QString::number(clock.elapsed())));
    const int lastParam = loaded ? s.link->LastParam : -1;
    Values expected;
    for (int i = 0; i < 11; ++i)
        expected << (i > lastParam ? 77 : i == 7 ? int(answer[7] != 0) : quint8(answer[i]));
    QCOMPARE(rows(s.view), expected);
    QCOMPARE(s.view.valueWrites, lastParam + 1);
}

QTEST_GUILESS_MAIN(tst_Transfer)
#include "tst_transfer.moc"
