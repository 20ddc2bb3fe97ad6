#ifndef PROCESSUSAGE_H
#define PROCESSUSAGE_H

#include <QtGlobal>

// Processor time used so far, and peak resident memory since the last reset.
namespace ProcessUsage {
qint64 cpuTimeUs();
bool resetPeakRss(); // false where the system cannot
qint64 peakRssKiB();
}

#endif
