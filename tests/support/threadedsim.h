#ifndef THREADEDSIM_H
#define THREADEDSIM_H

#include "perlosim.h"

#include <QThread>

#include <functional>

// A simulated timer with an event loop of its own: it reads the line as bytes
// arrive whatever the thread under test does, and floods away from it.
class ThreadedSim
{
public:
    // `setUp` runs on the sim's thread before the sim starts.
    explicit ThreadedSim(const std::function<void(PerloSim &)> &setUp);
    ~ThreadedSim();
    bool started() const { return !m_portPath.isEmpty(); }
    QString portPath() const { return m_portPath; }
    // Runs `job` on the sim's thread and waits for it.
    void call(const std::function<void(PerloSim &)> &job);

private:
    QThread m_thread;
    QObject m_anchor;
    PerloSim *m_sim = nullptr;
    QString m_portPath;
};

#endif
