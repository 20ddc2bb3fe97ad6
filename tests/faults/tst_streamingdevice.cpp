// A device that talks without end and never sends a marker: the watchdog
// still ends the exchange on time, events keep running, memory stays small.
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

    // Stands in for the window: a 20 ms timer whose longest gap is kept.
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestGap = qMax(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    QVERIFY(ProcessUsage::resetPeakRss());
    const qint64 rssBefore = ProcessUsage::peakRssKiB();

    link.comPERLO.setInputMode(SerialControl::InputModeText);
    link.comPERLO.setInBufferCount(0);
    link.comPERLO.Output("/V");
    ReplyText reply;
    heartbeat.start(20);
    clock.start();
    QCOMPARE(link.WaitReply(reply), qint16(TimerLink::StatusTimedOut));
    const qint64 took = clock.elapsed();
    longestGap = qMax(longestGap, took - lastTick);
    const qint64 rssGrowthKiB = ProcessUsage::peakRssKiB() - rssBefore;
    QVERIFY2(took >= 500 && took <= 550, qPrintable(QString::number(took)));
    QVERIFY2(longestGap <= 100, qPrintable(QString::number(longestGap)));
    // A real flood, of which only the first part is kept.
    QVERIFY(reply.receivedCount() >= 4 * ReplyText::Capacity);
    QCOMPARE(reply.text().size(), ReplyText::Capacity);
    // Under the sanitizer freed read buffers stay resident: memory says nothing there.
#ifndef RURUZIDURA_SANITIZE
    QVERIFY2(rssGrowthKiB < 8 * 1024, qPrintable(QString::number(rssGrowthKiB)));
#endif
}

QTEST_GUILESS_MAIN(tst_StreamingDevice)
#include "tst_streamingdevice.moc"
