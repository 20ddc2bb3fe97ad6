#ifndef MEMORYMETER_H
#define MEMORYMETER_H

#include <QtGlobal>

class SoakReport;

// The process's resident memory, after a warm-up and at the end: memory that
// grows with use (a leak, a log that is never cut) grows between the two.
class MemoryMeter
{
public:
    // A run of `runMs`; the warm-up takes its first minute, or a quarter of a shorter run.
    explicit MemoryMeter(qint64 runMs);

    // After each step, `elapsedMs` into the run.
    void afterStep(qint64 elapsedMs);
    // The figure at the end, judged against the one after the warm-up.
    void finish(SoakReport &report);
    void addFigures(SoakReport &report) const;

    // What the process uses, after the allocator has given back what is free.
    static qint64 residentBytes();

private:
    qint64 m_warmUpMs;
    qint64 m_afterWarmUp = -1, m_end = 0;
};

#endif
