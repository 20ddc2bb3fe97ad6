// A device that talks without end and never sends a marker: the watchdog
// still ends the exchange on time, the window stays responsive, and what is
// kept of the flood stays small.
#include "processusage.h"
#include "simlink.h"
#include "simprocess.h"
#include "threadedsim.h"

#include <QtTest>

#include <memory>

namespace {

// The sanitizer holds freed blocks back for a while, so every read buffer
// the flood passes through stays resident: memory says nothing there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool underAddressSanitizer = true;
#else
constexpr bool underAddressSanitizer = false;
#endif
#else
constexpr bool underAddressSanitizer = false;
#endif

} // namespace

class tst_StreamingDevice : public QObject
{
    Q_OBJECT
private slots:
    void watchdogEndsTheFlood_data();
    void watchdogEndsTheFlood();
};

void tst_StreamingDevice::watchdogEndsTheFlood_data()
{
    QTest::addColumn<bool>("asProgram");
    QTest::newRow("sim on its own thread") << false;
    QTest::newRow("perlo-sim program") << true;
}

void tst_StreamingDevice::watchdogEndsTheFlood()
{
    QFETCH(bool, asProgram);

    std::unique_ptr<ThreadedSim> simThread;
    std::unique_ptr<SimProcess> simProcess;
    QString port;
    if (asProgram) {
        simProcess = std::make_unique<SimProcess>(QStringList{"--fault", "stream"});
        QVERIFY(simProcess->started());
        port = simProcess->portPath();
    } else {
        simThread = std::make_unique<ThreadedSim>(
                [](PerloSim &sim) { sim.setFault(PerloSim::Fault::Stream); });
        QVERIFY(simThread->started());
        port = simThread->portPath();
    }
    qputenv("RURUZIDURA_COM1", QFile::encodeName(port));
    RowsView view;
    TimerLink link(&view);
    link.Form_Load();
    QVERIFY(link.comPERLO.setPortOpen(true));

    // Stands in for the window: a 20 ms timer whose every gap is recorded.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    int ticks = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestGap = qMax(longestGap, now - lastTick);
        lastTick = now;
        ++ticks;
    });

    QVERIFY(ProcessUsage::resetPeakRss());
    const qint64 rssBefore = ProcessUsage::peakRssKiB();
    QVERIFY(rssBefore > 0);

    link.comPERLO.setInputMode(SerialControl::InputModeText);
    link.comPERLO.setInBufferCount(0);
    link.comPERLO.Output("/V");
    ReplyText reply;
    heartbeat.start(20);
    lastTick = clock.elapsed();
    QElapsedTimer exchange;
    exchange.start();
    const qint16 status = link.WaitReply(reply);
    const qint64 took = exchange.elapsed();
    heartbeat.stop();
    longestGap = qMax(longestGap, clock.elapsed() - lastTick);
    const qint64 rssGrowthKiB = ProcessUsage::peakRssKiB() - rssBefore;
    link.comPERLO.setPortOpen(false);
    qunsetenv("RURUZIDURA_COM1");

    qInfo("exchange %lld ms, %lld bytes arrived, %lld kept, %d ticks, longest gap %lld ms, "
          "peak RSS +%lld KiB",
          took, reply.receivedCount(), qint64(reply.text().size()), ticks, longestGap,
          rssGrowthKiB);

    QCOMPARE(status, qint16(TimerLink::StatusTimedOut));
    QVERIFY2(took >= 500 && took <= 550, qPrintable(QString::number(took)));
    QVERIFY2(longestGap <= 100, qPrintable(QString::number(longestGap)));
    QVERIFY(ticks >= 15);
    // The flood really was a flood, yet only the first part of it was kept.
    QVERIFY2(reply.receivedCount() >= 4 * ReplyText::Capacity,
             qPrintable(QString::number(reply.receivedCount())));
    QCOMPARE(reply.text().size(), ReplyText::Capacity);
    if (!underAddressSanitizer)
        QVERIFY2(rssGrowthKiB < 8 * 1024, qPrintable(QString::number(rssGrowthKiB)));
}

QTEST_GUILESS_MAIN(tst_StreamingDevice)
#include "tst_streamingdevice.moc"
