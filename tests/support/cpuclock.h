#ifndef CPUCLOCK_H
#define CPUCLOCK_H

#include <QtGlobal>

// Processor time of the calling thread only: the link's and the window's, not
// the simulated timer's on its own thread.
qint64 threadCpuNs();
// Processor time of the whole process, every thread.
qint64 processCpuNs();

#endif
