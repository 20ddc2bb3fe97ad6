// ruru-bench: how closely the link keeps its timings and what its waits cost,
// measured against the simulated timer on a real pseudo-terminal. Prints one
// table and exits with 1 when a goal is missed. Takes well under a minute.
//
//   cmake --build build --target ruru-bench && ./build/bench/ruru-bench

#include "benchdevices.h"
#include "costfigures.h"
#include "startupfigures.h"
#include "table.h"
#include "timerlink.h"
#include "timingfigures.h"

#include <QApplication>
#include <QThread>

#include <cstdio>

static void progress(const char *what)
{
    std::fprintf(stderr, "ruru-bench: %s\n", what);
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], StartupProbeOption) == 0)
        return startupProbe(argc, argv);

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("ruru-bench: Qt %s, %d cores, %s %s\n", qVersion(), QThread::idealThreadCount(),
                qPrintable(QSysInfo::kernelType()), qPrintable(QSysInfo::kernelVersion()));

    QList<Row> rows;
    {
        BenchSim sim;
        BenchLink bench;
        TimerLink &link = bench.link;
        if (!bench.open())
            qFatal("cannot open the simulated line: %s", qPrintable(link.comPERLO.openError()));

        sim.call([](PerloSim &s) { s.setFault(PerloSim::Fault::Silent); });
        progress("1/8 processor time while waiting (about 25 s)");
        rows += cpuWhileWaiting(link, bench.view);
        progress("2/8 watchdog");
        rows += watchdogLateness(link);
        progress("3/8 pauses");
        rows += pauseAccuracy(link);
        sim.call([](PerloSim &s) { s.setFault(PerloSim::Fault::None); });
        progress("4/8 set");
        rows += setDuration(sim, link);
    }
    progress("5/8 reply latency");
    rows += replyLatency();
    progress("6/8 connect");
    rows += connectDuration();
    progress("7/8 start-up");
    rows += startUp();
    progress("8/8 dead line");
    rows += deadLineCpu();

    printTable(rows);
    return allGoalsMet(rows) ? 0 : 1;
}
