#include "flightparams.h"
#include "simlink.h"
#include "threadedsim.h"

#include <QtTest>

using Values = QList<int>; // rows 0 to 10

namespace {

Values rows(const RowsView &view)
{
    return Values(view.values.begin(), view.values.end());
}

// Distinct values, both extremes, and the given byte 7.
QByteArray sampleBlock(int length, int byte7 = 0x80)
{
    QByteArray block;
    for (int i = 0; i < length; ++i)
        block.append(char(i == 0 ? 0 : i == 1 ? 255 : i == 7 ? byte7 : i * 23 + 5));
    return block;
}

} // namespace

class tst_Transfer : public QObject
{
    Q_OBJECT
private slots:
    void rowTexts();
    void writeAndReadBack_data();
    void writeAndReadBack();
    void valuesAreReadAsTheyAreSent();
    void silentAfterTheBlock();
    void read_data();
    void read();
};

void tst_Transfer::rowTexts()
{
    QStringList texts;
    for (const FlightParam &p : FlightParams::table())
        texts << QStringLiteral("%1 %2 %3..%4").arg(p.name, p.unit).arg(p.minimum).arg(p.maximum);
    QCOMPARE(texts, QStringList({"Launch Detect (1/100 Sec) 0..255", "Launch Delay (1/10 Sec) 0..255",
                                 "Number of Groups (Count) 0..255", "Number of Pictures (Count) 0..255",
                                 "Picture Interval (1/10 Sec) 0..255", "Group Interval (Seconds) 0..255",
                                 "Shutter Speed (1/10 Sec) 0..255", "Autorun Mode (0 or 1) 0..1",
                                 "Powerup Time (1/10 Sec) 0..255", "Cycle Count (Count) 0..255",
                                 "Cycle Pacing (1/10 Sec) 0..255"}));
}

void tst_Transfer::writeAndReadBack_data()
{
    QTest::addColumn<int>("blockLen");
    QTest::addColumn<QByteArray>("block"); // the first 11 bytes are the rows

    QTest::newRow("8-byte") << 8 << QByteArray::fromHex("00ff030405060701");
    QTest::newRow("8-byte, autorun 0") << 8 << QByteArray::fromHex("ff00807f11223300");
    QTest::newRow("16-byte") << 16 << QByteArray::fromHex("00ff030405060701090a0b0000000000");
    QTest::newRow("16-byte, autorun 0") << 16 << QByteArray::fromHex("ff00807f11223300c864020000000000");
}

void tst_Transfer::writeAndReadBack()
{
    QFETCH(int, blockLen);
    QFETCH(QByteArray, block);

    // A busy machine can make the device read a byte late, which shortens the
    // gap after it; a link that sends too early does so every time.
    QStringList faults;
    for (int attempt = 0; attempt < 3 && (attempt == 0 || !faults.isEmpty()); ++attempt) {
        ThreadedSim device([&](PerloSim &sim) {
            sim.setGeneration(blockLen);
            sim.setLinePaced(false);
            sim.setStrict(true); // answers "ER" to a block sent too early or too fast
        });
        QVERIFY(device.started());
        device.readPromptly();
        qputenv("RURUZIDURA_COM1", QFile::encodeName(device.portPath()));
        RowsView view;
        TimerLink link(&view);
        link.Form_Load();
        QVERIFY(link.comPERLO.setPortOpen(true));
        link.ProbeGeneration();
        QCOMPARE(link.BlockLen, qint16(blockLen));
        for (int i = 0; i < 11; ++i)
            view.values[i] = i < blockLen ? quint8(block[i]) : 99; // rows beyond stay off the wire
        device.call([](PerloSim &sim) { sim.clearReceived(); });

        faults.clear();
        if (const qint16 status = link.WriteParams(); status != TimerLink::StatusOk)
            faults << QStringLiteral("status %1").arg(status);
        QThread::msleep(20); // anything that would trail the block
        QList<PerloSim::Received> in;
        device.call([&](PerloSim &sim) { in = sim.received(); });
        QByteArray wire;
        for (const PerloSim::Received &r : in)
            wire.append(char(r.byte));
        QCOMPARE(wire, "/P" + block);
        QCOMPARE(view.valueWrites, 0);

        // Gaps as the device sees them, less what reading them may shift.
        constexpr qint64 JitterNs = 500000;
        for (int i = 2; i < in.size(); ++i) {
            const qint64 gapNs = in.at(i).ns - in.at(i - 1).ns;
            if (gapNs < (i == 2 ? 105000000 : 5000000) - JitterNs)
                faults << QStringLiteral("%1 ns before byte %2").arg(gapNs).arg(i - 2);
        }
        if ((in.last().ns - in.at(2).ns) / (blockLen - 1) < 5000000)
            faults << QStringLiteral("mean gap below 5 ms");
        if (!faults.isEmpty())
            continue;

        // The device kept the block: reading it gives every row its value back.
        const Values sent = rows(view);
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
    SimLink s(16);
    QVERIFY(s.open());
    s.link->ProbeGeneration(); // as "Connect" does
    s.view.values = {10, 11, 12, 13, 14, 15, 16, 0, 18, 19, 20};
    s.sim.clearReceived();

    // One change while the link pauses after the command, more once the
    // first byte of the block is on the wire.
    QTimer::singleShot(40, Qt::PreciseTimer, &s.sim, [&] { s.view.values[0] = 200; });
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    connect(&watch, &QTimer::timeout, &s.sim, [&] {
        if (s.sim.received().size() < 3)
            return;
        watch.stop();
        s.view.values[5] = 205;
        s.view.values[7] = 1;
        s.view.values[10] = 210;
    });
    watch.start(1);

    QCOMPARE(s.link->WriteParams(), qint16(TimerLink::StatusOk));
    QVERIFY(!watch.isActive());
    QCOMPARE(s.sim.receivedBytes().mid(2, 11), QByteArray("\xc8\x0b\x0c\x0d\x0e\xcd\x10\x01\x12\x13\xd2", 11));
}

void tst_Transfer::silentAfterTheBlock()
{
    SimLink s(16);
    QVERIFY(s.open());
    s.link->ProbeGeneration(); // as "Connect" does
    s.sim.setFault(PerloSim::Fault::Silent);
    s.sim.clearReceived();

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(s.link->WriteParams(), qint16(TimerLink::StatusTimedOut));
    const qint64 returnedNs = PerloSim::nowNs();
    QCOMPARE(s.sim.received().size(), 2 + 16);
    // One watchdog interval counted from the last byte, not from the "/P".
    const qint64 afterLastMs = (returnedNs - s.sim.received().last().ns) / 1000000;
    QVERIFY2(afterLastMs >= 450 && afterLastMs <= 650, qPrintable(QString::number(afterLastMs)));
    QVERIFY2(clock.elapsed() >= 180 + 480, qPrintable(QString::number(clock.elapsed())));
}

void tst_Transfer::read_data()
{
    QTest::addColumn<int>("blockLen");
    QTest::addColumn<bool>("paced");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    QTest::newRow("16 of 16, byte 7 = 200") << 16 << false << sampleBlock(16, 200) << true << 0 << 100;
    QTest::newRow("16 of 16, byte 7 = 0") << 16 << false << sampleBlock(16, 0) << true << 0 << 100;
    QTest::newRow("8 of 8, byte 7 = 255") << 8 << false << sampleBlock(8, 255) << true << 0 << 100;
    QTest::newRow("8 of 8, byte 7 = 0") << 8 << false << sampleBlock(8, 0) << true << 0 << 100;
    QTest::newRow("17 of 16") << 16 << false << sampleBlock(17) << true << 0 << 100;
    QTest::newRow("40 of 16, paced") << 16 << true << sampleBlock(40) << true << 60 << 120; // all 40: 167 ms
    QTest::newRow("15 of 16") << 16 << false << sampleBlock(15) << true << 480 << 650;
    QTest::newRow("14 of 16") << 16 << false << sampleBlock(14) << false << 480 << 650;
    QTest::newRow("7 of 8") << 8 << false << sampleBlock(7) << false << 480 << 650;
}

void tst_Transfer::read()
{
    QFETCH(int, blockLen);
    QFETCH(bool, paced);
    QFETCH(QByteArray, answer);
    QFETCH(bool, loaded);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    SimLink s(blockLen, paced);
    QVERIFY(s.open());
    s.link->ProbeGeneration(); // as "Connect" does
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
