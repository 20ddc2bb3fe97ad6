#ifndef TIMINGFIGURES_H
#define TIMINGFIGURES_H

#include "table.h"

class BenchSim;
class TimerLink;

// How closely the link keeps its timings: 2 the watchdog, 3 the pauses, 4 a
// "Set", 5 a reply's latency, 6 a "Connect" in the window.
QList<Row> watchdogLateness(TimerLink &link);
QList<Row> pauseAccuracy(TimerLink &link);
Row setDuration(BenchSim &sim, TimerLink &link);
Row replyLatency();
Row connectDuration();

#endif
