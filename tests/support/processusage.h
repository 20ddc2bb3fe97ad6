#ifndef PROCESSUSAGE_H
#define PROCESSUSAGE_H

#include <QtGlobal>

// What this process costs the machine: processor time used so far, and the
// peak resident memory since the last reset.
namespace ProcessUsage {

qint64 cpuTimeUs();
// Sets the peak to the current resident size; false where the system cannot.
bool resetPeakRss();
qint64 peakRssKiB();

} // namespace ProcessUsage

#endif
