// A device that talks without end and never sends a marker: the watchdog
// still ends the exchange on time, the event loop stays responsive, and what
// is kept of the flood stays small.
#include "processusage.h"
#include "simlink.h"
#include "threadedsim.h"

#include <QtTest>

class tst_StreamingDevice : public QObject
{
    Q_OBJECT
private slots:
    void watchdogEndsTheFlood();
};

void tst_StreamingDevice::watchdogEndsTheFlood()
{
    // Flooding from its own thread, as a real device would, whatever this one does.
    ThreadedSim sim([](PerloSim &device) { device.setFault(PerloSim::Fault::Stream); });
    QVERIFY(sim.started());
    qputenv("RURUZIDURA_COM1", QFile::encodeName(sim.portPath()));
    RowsView view;
    TimerLink link(&view);
    link.Form_Load();
    QVERIFY(link.comPERLO.setPortOpen(true));
    qunsetenv("RURUZIDURA_COM1");

    // Stands in for the window: a 20 ms timer whose every gap is recorded.
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    int ticks = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestGap = qMax(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
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
    clock.start();
    const qint16 status = link.WaitReply(reply);
    const qint64 took = clock.elapsed();
    longestGap = qMax(longestGap, took - lastTick);
    const qint64 rssGrowthKiB = ProcessUsage::peakRssKiB() - rssBefore;
    qInfo("exchange %lld ms, %lld bytes arrived, %d ticks, longest gap %lld ms, peak RSS +%lld KiB",
          took, reply.receivedCount(), ticks, longestGap, rssGrowthKiB);

    QCOMPARE(status, qint16(TimerLink::StatusTimedOut));
    QVERIFY2(took >= 500 && took <= 550, qPrintable(QString::number(took)));
    QVERIFY2(longestGap <= 100, qPrintable(QString::number(longestGap)));
    QVERIFY(ticks >= 15);
    // The flood really was a flood, yet only the first part of it was kept.
    QVERIFY(reply.receivedCount() >= 4 * ReplyText::Capacity);
    QCOMPARE(reply.text().size(), ReplyText::Capacity);
    // The sanitizer holds freed blocks back for a while, so every read buffer
    // the flood passes through stays resident: memory says nothing there.
#ifndef RURUZIDURA_SANITIZE
    QVERIFY2(rssGrowthKiB < 8 * 1024, qPrintable(QString::number(rssGrowthKiB)));
#endif
}

QTEST_GUILESS_MAIN(tst_StreamingDevice)
#include "tst_streamingdevice.moc"
