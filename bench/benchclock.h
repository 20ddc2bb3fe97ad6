#ifndef BENCHCLOCK_H
#define BENCHCLOCK_H

#include "perlosim.h"

// On the sim's steady clock, CLOCK_MONOTONIC: it compares with the sim's
// timestamps and across processes.
inline double msSince(qint64 startNs)
{
    return double(PerloSim::nowNs() - startNs) / 1e6;
}

#endif
