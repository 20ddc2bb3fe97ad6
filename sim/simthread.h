#ifndef SIMTHREAD_H
#define SIMTHREAD_H

#include "perlosim.h"

#include <QThread>

#include <functional>

// A simulated timer with an event loop of its own: it reads the line as bytes
// arrive whatever the thread that talks to it does, and its work is never in
// that thread's way.
class SimThread
{
public:
    // `setUp` runs on the sim's thread before the sim starts.
    explicit SimThread(const std::function<void(PerloSim &)> &setUp = {});
    ~SimThread();
    SimThread(const SimThread &) = delete;
    SimThread &operator=(const SimThread &) = delete;

    QString portPath() const { return m_portPath; }
    // Runs `job` on the sim's thread and returns when it is done.
    void call(const std::function<void(PerloSim &)> &job);

private:
    QThread m_thread;
    QObject m_anchor;
    PerloSim *m_sim = nullptr;
    QString m_portPath;
};

#endif
