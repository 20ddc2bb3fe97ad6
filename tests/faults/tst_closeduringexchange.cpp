// Closing the window while an exchange waits: the waiting handler returns at
// once, the port is closed, no box comes up, and the application's event
// loop ends as it does whenever its last window closes.
#include "windowbench.h"

#include <QApplication>
#include <QtTest>

class tst_CloseDuringExchange : public QObject
{
    Q_OBJECT
private slots:
    void closeEndsTheWait_data();
    void closeEndsTheWait();
};

namespace {

qsizetype bytesAfterCommand(const PerloSim &sim, char command)
{
    const QByteArray wire = sim.receivedBytes();
    const qsizetype at = wire.lastIndexOf(QByteArray("/") + command);
    return at < 0 ? -1 : wire.size() - at - 2;
}

} // namespace

void tst_CloseDuringExchange::closeEndsTheWait_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<char>("slowCommand"); // answered only long after the close
    QTest::addColumn<int>("closeAtBytes"); // this many bytes after the command, and then
    QTest::addColumn<int>("closeAfterMs"); // this long after them

    QTest::newRow("Connect, version read") << "btnConnect" << 'V' << 0 << 100;
    QTest::newRow("Connect, parameter read") << "btnConnect" << 'D' << 0 << 100;
    QTest::newRow("Retrieve") << "btnGet" << 'D' << 0 << 100;
    QTest::newRow("Set, pause after the command") << "btnSet" << 'P' << 0 << 30;
    QTest::newRow("Set, pauses between bytes") << "btnSet" << 'P' << 3 << 0;
    QTest::newRow("Set, waiting for the reply") << "btnSet" << 'P' << 16 << 100;
    QTest::newRow("Test Shutter, 25 s watchdog") << "btnShutter" << 'S' << 0 << 200;
}

void tst_CloseDuringExchange::closeEndsTheWait()
{
    QFETCH(QString, action);
    QFETCH(char, slowCommand);
    QFETCH(int, closeAtBytes);
    QFETCH(int, closeAfterMs);
    WindowBench bench;
    PerloSim &sim = bench.sim();
    // 24.5 s of shutter: with the 500 ms on top, a 25 s watchdog.
    QByteArray block = sim.block();
    block[6] = char(245);
    sim.setBlock(block);
    QVERIFY(bench.start());
    if (action != "btnConnect") {
        QVERIFY(bench.connectToTimer());
        bench.step(0, true); // enables "Set" and keeps "Test Shutter"
    }
    const QByteArray slowReply = slowCommand == 'D' ? block : QByteArray(slowCommand == 'V' ? "V2.10\r\nOK" : "OK");
    sim.setScript(slowCommand, {{30000, slowReply}});

    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
    QVERIFY(QApplication::quitOnLastWindowClosed());
    QElapsedTimer clock;
    clock.start();
    qint64 conditionAt = -1;
    qint64 closedAt = -1;
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (conditionAt < 0 && bytesAfterCommand(sim, slowCommand) >= closeAtBytes)
            conditionAt = clock.elapsed();
        if (conditionAt >= 0 && closedAt < 0 && clock.elapsed() - conditionAt >= closeAfterMs) {
            closedAt = clock.elapsed();
            bench.window().close();
        }
    });
    watch.start(1);
    QTimer::singleShot(0, &bench.window(), [&] { QTest::mouseClick(bench.find(action), Qt::LeftButton); });
    // Should the close not end the wait, the handler runs its course (at most
    // the 25 s watchdog) and the loop is ended here instead.
    QTimer giveUp;
    QObject::connect(&giveUp, &QTimer::timeout, qApp, &QCoreApplication::quit);
    giveUp.start(30000);
    QApplication::exec();
    const qint64 loopEndedAt = clock.elapsed();
    watch.stop();

    qInfo("closed at %lld ms, the event loop ended %lld ms later", closedAt, loopEndedAt - closedAt);
    QVERIFY(closedAt >= 0);
    QVERIFY2(loopEndedAt - closedAt < 250, qPrintable(QString::number(loopEndedAt - closedAt)));
    QCOMPARE(lastWindowClosed.size(), 1);
    QVERIFY(!bench.link().comPERLO.PortOpen());
    QVERIFY(bench.boxes.seen.isEmpty());
    QCOMPARE(bench.window().MousePointer(), 0);
    // The device was not answered yet, and a closed window sends nothing more.
    const qsizetype sentAtClose = bytesAfterCommand(sim, slowCommand);
    QTest::qWait(60);
    QCOMPARE(bytesAfterCommand(sim, slowCommand), sentAtClose);
}

QTEST_MAIN(tst_CloseDuringExchange)
#include "tst_closeduringexchange.moc"
