#include "devicethread.h"
#include "simlink.h"

#include <QtTest>

using Values = QList<int>; // rows 0 to 10

namespace {

// A link that has probed its generation, as after "Connect".
bool connectLink(SimLink &s)
{
    if (!s.open())
        return false;
    s.link->ProbeGeneration();
    return s.link->BlockLen == s.sim.blockLen();
}

void setRows(RowsView &view, const Values &values)
{
    for (int i = 0; i < values.size(); ++i)
        view.values.at(size_t(i)) = values.at(i);
}

Values rows(const RowsView &view)
{
    return Values(view.values.begin(), view.values.end());
}

// Distinct values, both extremes, and a byte 7 that is neither 0 nor 1.
QByteArray sampleBlock(int length)
{
    QByteArray block;
    for (int i = 0; i < length; ++i)
        block.append(char(quint8(i * 23 + 5)));
    block[0] = char(0);
    block[1] = char(255);
    if (length > 7)
        block[7] = char(0x80);
    return block;
}

QString msText(qint64 ms)
{
    return QString::number(ms) + " ms";
}

} // namespace

class tst_Transfer : public QObject
{
    Q_OBJECT
private slots:
    void write_data();
    void write();
    void valuesAreReadAsTheyAreSent();
    void silentAfterTheBlock();
    void autorun_data();
    void autorun();
    void answerLength_data();
    void answerLength();
    void roundTrip_data();
    void roundTrip();
};

void tst_Transfer::write_data()
{
    QTest::addColumn<int>("blockLen");
    QTest::addColumn<Values>("values");
    QTest::addColumn<QByteArray>("block");

    QTest::newRow("8-byte") << 8 << Values{0, 255, 3, 4, 5, 6, 7, 1, 99, 99, 99}
                            << QByteArray("\x00\xff\x03\x04\x05\x06\x07\x01", 8);
    QTest::newRow("16-byte") << 16 << Values{0, 255, 3, 4, 5, 6, 7, 1, 9, 10, 11}
                             << QByteArray("\x00\xff\x03\x04\x05\x06\x07\x01\x09\x0a\x0b"
                                           "\x00\x00\x00\x00\x00", 16);
}

void tst_Transfer::write()
{
    QFETCH(int, blockLen);
    QFETCH(Values, values);
    QFETCH(QByteArray, block);

    // A busy machine can make the device read a byte late, which shortens the
    // gap after it; a link that sends too early does so every time.
    QString timingFault;
    for (int attempt = 0; attempt < 3; ++attempt) {
        QByteArrayList written;
        DeviceThread device([&](PerloSim &sim) {
            sim.setGeneration(blockLen);
            sim.setLinePaced(false);
            sim.setStrict(true);
            connect(&sim, &PerloSim::blockWritten, &sim,
                    [&](const QByteArray &b) { written.append(b); });
        });
        QVERIFY(!device.portPath().isEmpty());
        device.readPromptly();
        qputenv("RURUZIDURA_COM1", QFile::encodeName(device.portPath()));
        auto forgetPort = qScopeGuard([] { qunsetenv("RURUZIDURA_COM1"); });
        RowsView view;
        TimerLink link(&view);
        link.Form_Load();
        QVERIFY(link.comPERLO.setPortOpen(true));
        link.ProbeGeneration();
        QCOMPARE(link.BlockLen, qint16(blockLen));
        setRows(view, values);
        device.call([](PerloSim &sim) { sim.clearReceived(); });

        const qint16 status = link.WriteParams();
        QThread::msleep(20); // anything that would trail the block
        QList<PerloSim::Received> in;
        int rejects = -1;
        device.call([&](PerloSim &sim) {
            in = sim.received();
            rejects = sim.strictRejects();
        });
        QByteArray wire;
        for (const PerloSim::Received &r : in)
            wire.append(char(r.byte));
        QCOMPARE(wire, "/P" + block);
        QCOMPARE(view.valueWrites, 0);

        // Gaps as the device sees them, less what reading them may shift.
        constexpr qint64 JitterNs = 500000;
        QStringList faults;
        if (status != TimerLink::StatusOk || rejects != 0)
            faults << QStringLiteral("status %1, %2 refused by the strict device").arg(status).arg(rejects);
        const qint64 commandGap = in.at(2).ns - in.at(1).ns;
        if (commandGap < 105000000 - JitterNs)
            faults << QStringLiteral("command to byte 0: %1 ns").arg(commandGap);
        for (int i = 3; i < in.size(); ++i) {
            const qint64 gap = in.at(i).ns - in.at(i - 1).ns;
            if (gap < 5000000 - JitterNs)
                faults << QStringLiteral("byte %1 to %2: %3 ns").arg(i - 3).arg(i - 2).arg(gap);
        }
        const qint64 meanGap = (in.last().ns - in.at(2).ns) / (blockLen - 1);
        if (meanGap < 5000000)
            faults << QStringLiteral("mean gap %1 ns").arg(meanGap);
        timingFault = faults.join(QLatin1String("; "));
        if (timingFault.isEmpty()) {
            QCOMPARE(written, QByteArrayList{block});
            break;
        }
    }
    QVERIFY2(timingFault.isEmpty(), qPrintable(timingFault));
}

void tst_Transfer::valuesAreReadAsTheyAreSent()
{
    SimLink s(16);
    QVERIFY(connectLink(s));
    setRows(s.view, {10, 11, 12, 13, 14, 15, 16, 0, 18, 19, 20});
    s.sim.clearReceived();

    // One change while the link pauses after the command, more once the
    // first byte of the block is on the wire.
    QTimer::singleShot(40, Qt::PreciseTimer, &s.sim, [&] { s.view.values[0] = 200; });
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    watch.setInterval(1);
    connect(&watch, &QTimer::timeout, &s.sim, [&] {
        if (s.sim.received().size() < 3)
            return;
        watch.stop();
        s.view.values[5] = 205;
        s.view.values[7] = 1;
        s.view.values[10] = 210;
    });
    watch.start();

    QCOMPARE(s.link->WriteParams(), qint16(TimerLink::StatusOk));
    QVERIFY(!watch.isActive());
    QCOMPARE(s.sim.receivedBytes().mid(2, 11),
             QByteArray("\xc8\x0b\x0c\x0d\x0e\xcd\x10\x01\x12\x13\xd2", 11));
}

void tst_Transfer::silentAfterTheBlock()
{
    SimLink s(16);
    QVERIFY(connectLink(s));
    s.sim.setFault(PerloSim::Fault::Silent);
    s.sim.clearReceived();

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(s.link->WriteParams(), qint16(TimerLink::StatusTimedOut));
    const qint64 returnedNs = PerloSim::nowNs();
    QCOMPARE(s.sim.received().size(), 2 + 16);
    // One watchdog interval counted from the last byte, not from the "/P".
    const qint64 afterLastMs = (returnedNs - s.sim.received().last().ns) / 1000000;
    QVERIFY2(afterLastMs >= 450 && afterLastMs <= 650, qPrintable(msText(afterLastMs)));
    QVERIFY2(clock.elapsed() >= 180 + 480, qPrintable(msText(clock.elapsed())));
}

void tst_Transfer::autorun_data()
{
    QTest::addColumn<int>("blockLen");
    QTest::addColumn<int>("byte7");
    QTest::addColumn<int>("autorun");

    for (const int blockLen : {8, 16}) {
        for (const auto &[byte7, autorun] : {std::pair{0, 0}, {1, 1}, {200, 1}, {255, 1}}) {
            QTest::addRow("%d-byte, %d", blockLen, byte7) << blockLen << byte7 << autorun;
        }
    }
}

void tst_Transfer::autorun()
{
    QFETCH(int, blockLen);
    QFETCH(int, byte7);
    QFETCH(int, autorun);

    SimLink s(blockLen);
    QVERIFY(connectLink(s));
    QByteArray block = sampleBlock(16);
    block[7] = char(byte7);
    s.sim.setBlock(block);
    s.view.values.fill(77);
    s.view.values[7] = 1 - autorun;

    QVERIFY(s.link->ReadParams());
    const int lastParam = s.link->LastParam;
    Values expected;
    for (int i = 0; i < 11; ++i)
        expected.append(i > lastParam ? 77 : i == 7 ? autorun : quint8(block[i]));
    QCOMPARE(rows(s.view), expected);
    QCOMPARE(s.view.valueWrites, lastParam + 1);
}

void tst_Transfer::answerLength_data()
{
    QTest::addColumn<int>("blockLen");
    QTest::addColumn<bool>("paced");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    QTest::newRow("16 of 16") << 16 << false << 16 << true << 0 << 100;
    QTest::newRow("17 of 16") << 16 << false << 17 << true << 0 << 100;
    QTest::newRow("40 of 16, paced") << 16 << true << 40 << true << 60 << 120; // all 40: 167 ms
    QTest::newRow("15 of 16") << 16 << false << 15 << true << 480 << 650;
    QTest::newRow("14 of 16") << 16 << false << 14 << false << 480 << 650;
    QTest::newRow("8 of 8") << 8 << false << 8 << true << 0 << 100;
    QTest::newRow("7 of 8") << 8 << false << 7 << false << 480 << 650;
}

void tst_Transfer::answerLength()
{
    QFETCH(int, blockLen);
    QFETCH(bool, paced);
    QFETCH(int, length);
    QFETCH(bool, loaded);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    SimLink s(blockLen, paced);
    QVERIFY(connectLink(s));
    const QByteArray answer = sampleBlock(length);
    s.sim.setScript('D', {{0, answer}});
    s.view.values.fill(77);
    const Values before = rows(s.view);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(s.link->ReadParams(), loaded);
    QVERIFY2(clock.elapsed() >= minMs && clock.elapsed() <= maxMs, qPrintable(msText(clock.elapsed())));
    if (!loaded) {
        QCOMPARE(s.view.valueWrites, 0);
        QCOMPARE(rows(s.view), before);
        return;
    }
    const int lastParam = s.link->LastParam;
    QCOMPARE(s.view.valueWrites, lastParam + 1);
    for (int i = 0; i <= lastParam; ++i)
        QCOMPARE(s.view.values[i], i == 7 ? 1 : int(quint8(answer[i])));
}

void tst_Transfer::roundTrip_data()
{
    QTest::addColumn<int>("blockLen");
    QTest::addColumn<Values>("values");

    const Values extremes{0, 255, 255, 0, 255, 0, 255, 1, 0, 255, 0};
    const Values zeros(11, 0);
    Values mixed;
    for (int i = 0; i < 11; ++i)
        mixed.append(i == 7 ? 1 : 255 - 17 * i);
    for (const int blockLen : {8, 16}) {
        QTest::addRow("%d-byte, extremes", blockLen) << blockLen << extremes;
        QTest::addRow("%d-byte, zeros", blockLen) << blockLen << zeros;
        QTest::addRow("%d-byte, mixed", blockLen) << blockLen << mixed;
    }
}

void tst_Transfer::roundTrip()
{
    QFETCH(int, blockLen);
    QFETCH(Values, values);

    SimLink s(blockLen);
    QVERIFY(connectLink(s));
    setRows(s.view, values);
    QCOMPARE(s.link->WriteParams(), qint16(TimerLink::StatusOk));

    const int lastParam = s.link->LastParam;
    for (int i = 0; i <= lastParam; ++i)
        s.view.values[i] = i == 7 ? 1 - values[i] : 128;
    QVERIFY(s.link->ReadParams());
    QCOMPARE(rows(s.view), values);
}

QTEST_GUILESS_MAIN(tst_Transfer)
#include "tst_transfer.moc"
