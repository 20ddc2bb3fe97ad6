#include "costfigures.h"
#include "benchdevices.h"
#include "cpuclock.h"
#include "pollingshutter.h"
#include "rowsview.h"
#include "timerlink.h"

#include <QEventLoop>
#include <QTimer>

// 1. Processor time of a 3 s "Test Shutter" wait that runs to its watchdog,
// beside the same wait as a polling loop. Pairs alternate so that a change of
// load on the machine hits both designs alike.
QList<Row> cpuWhileWaiting(TimerLink &link, RowsView &view)
{
    constexpr int ShutterSpeed = 25; // 2.5 s on top of the 500 ms watchdog
    view.values[FlightParams::ShutterSpeedRow] = ShutterSpeed;
    Row blocking{ "1a. CPU, 3 s shutter wait, link [% core]", "p99 < 2", {}, [](const Stats &s) {
                     return s.p99 < 2;
                 } };
    Row polling{ "1b. CPU, 3 s shutter wait, polling [% core]", "(comparison)", {}, {} };
    Row ratio{ "1c. CPU polling / link [x]", "min >= 50", {}, [](const Stats &s) {
                  return s.min >= 50;
              } };

    auto coreShare = [](Row &row, const std::function<qint16()> &wait) {
        const qint64 wallStart = PerloSim::nowNs();
        const qint64 cpuStart = processCpuNs();
        const qint16 status = wait();
        const double cpu = double(processCpuNs() - cpuStart);
        const double wall = double(PerloSim::nowNs() - wallStart);
        if (status != TimerLink::StatusTimedOut || wall < 3e9) {
            ++row.failures;
            return 0.0;
        }
        row.samples << 100 * cpu / wall;
        return row.samples.last();
    };
    for (int i = 0; i < 4; ++i) {
        const double linkShare = coreShare(blocking, [&] { return link.TestShutter(); });
        const double pollShare =
                coreShare(polling, [&] { return pollingTestShutter(link, ShutterSpeed); });
        if (linkShare > 0 && pollShare > 0)
            ratio.samples << pollShare / linkShare;
    }
    return { blocking, polling, ratio };
}

// 8. A line whose far end hangs up while the link waits for a reply: the
// process's processor time over that wait and the idle second after it.
Row deadLineCpu()
{
    Row row{ "8. CPU, dead line: wait + 1 s after [% core]", "p99 < 2", {}, [](const Stats &s) {
                return s.p99 < 2;
            } };
    for (int i = 0; i < 4; ++i) {
        BenchSim sim;
        sim.call([](PerloSim &s) {
            s.setFault(PerloSim::Fault::Silent);
            QTimer::singleShot(100, &s, &PerloSim::hangUp);
        });
        BenchLink bench;
        TimerLink &link = bench.link;
        if (!bench.open()) {
            ++row.failures;
            continue;
        }
        const qint64 wallStart = PerloSim::nowNs();
        const qint64 cpuStart = processCpuNs();
        link.comPERLO.Output("/V");
        ReplyText reply;
        const qint16 status = link.WaitReply(reply);
        QEventLoop idle;
        QTimer::singleShot(1000, &idle, &QEventLoop::quit);
        idle.exec();
        if (status != TimerLink::StatusTimedOut || link.comPERLO.PortOpen()) {
            ++row.failures;
            continue;
        }
        row.samples << 100 * double(processCpuNs() - cpuStart)
                        / double(PerloSim::nowNs() - wallStart);
    }
    return row;
}
