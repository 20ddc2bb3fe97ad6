// The line goes away in the middle of an exchange: the exchange ends by its
// watchdog, nothing spins on the dead port, and every later action fails
// within its own watchdog with its box instead of hanging.
#include "processusage.h"
#include "windowbench.h"

#include <QSerialPort>
#include <QtTest>

class tst_LineLoss : public QObject
{
    Q_OBJECT
private slots:
    void actionsEndByTheWatchdog_data();
    void actionsEndByTheWatchdog();
};

void tst_LineLoss::actionsEndByTheWatchdog_data()
{
    QTest::addColumn<bool>("deviceHangsUp");
    QTest::newRow("device hangs up halfway through its reply") << true;
    QTest::newRow("line dropped while the device is silent") << false;
}

void tst_LineLoss::actionsEndByTheWatchdog()
{
    QFETCH(bool, deviceHangsUp);
    WindowBench bench;
    bench.sim().setBlock(blockOf({1, 2, 3, 4, 5, 6, 0, 1, 9, 10, 11})); // a 500 ms shutter watchdog
    QVERIFY(bench.start());
    QVERIFY(bench.connectToTimer());
    bench.step(0, true); // so that "Set" can be pressed
    bench.sim().setFault(deviceHangsUp ? PerloSim::Fault::HangUp : PerloSim::Fault::Silent);
    if (!deviceHangsUp)
        QTimer::singleShot(100, &bench.sim(), &PerloSim::hangUp);

    // Wall and processor time while the busy cursor is up: a loop that spins
    // on the dead line would use about as much processor time as wall time.
    struct Busy { qint64 fromNs = -1, toNs = -1, fromCpuUs = 0, toCpuUs = 0; } busy;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const bool up = QGuiApplication::overrideCursor();
        if (up && busy.fromNs < 0)
            busy = {PerloSim::nowNs(), -1, ProcessUsage::cpuTimeUs(), 0};
        if (!up && busy.fromNs >= 0 && busy.toNs < 0) {
            busy.toNs = PerloSim::nowNs();
            busy.toCpuUs = ProcessUsage::cpuTimeUs();
        }
    });
    poll.start(1);
    struct Action { const char *button; qint64 maxMs; QString text; };
    const QString timedOut = QStringLiteral("\r\n\r\nI/O Timed Out");
    for (const Action &action : {Action{"btnShutter", 560, "Error Testing Shutter: " + timedOut},
                                 Action{"btnGet", 560, "Error Retreiving Flight Parameters"},
                                 Action{"btnSet", 100 + 16 * 5 + 500 + 150,
                                        "Error Setting Flight Parameters" + timedOut}}) {
        busy = {};
        bench.boxes.seen.clear();
        QVERIFY(bench.find(action.button)->isEnabled());
        bench.press(action.button);
        const qint64 wallMs = (busy.toNs - busy.fromNs) / 1000000;
        const qint64 cpuMs = (busy.toCpuUs - busy.fromCpuUs) / 1000;
        qInfo("%s: busy %lld ms, %lld ms of processor", action.button, wallMs, cpuMs);
        QVERIFY(busy.toNs > 0);
        QVERIFY2(wallMs >= 450 && wallMs <= action.maxMs, qPrintable(QString::number(wallMs)));
        QVERIFY2(cpuMs * 5 <= wallMs, qPrintable(QString::number(cpuMs)));
        QCOMPARE(bench.boxes.texts(), QStringList(action.text));
        QVERIFY(bench.find("fmeParams")->isEnabled());
        // The dead line was let go of at once rather than polled.
        QVERIFY(!bench.sim().isOpen());
        QVERIFY(!bench.link().comPERLO.serialPort().isOpen());
    }
}

QTEST_MAIN(tst_LineLoss)
#include "tst_lineloss.moc"
