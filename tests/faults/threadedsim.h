#ifndef THREADEDSIM_H
#define THREADEDSIM_H

#include "perlosim.h"

#include <QObject>
#include <QThread>

#include <functional>

// A simulated timer with an event loop of its own, so that a device that
// floods the line does its writing on another thread than the one under test.
class ThreadedSim
{
public:
    // `setUp` runs on the sim's thread before the sim starts.
    explicit ThreadedSim(const std::function<void(PerloSim &)> &setUp = {});
    ~ThreadedSim();

    bool started() const { return !m_portPath.isEmpty(); }
    QString portPath() const { return m_portPath; }

private:
    QThread m_thread;
    QObject m_anchor;
    PerloSim *m_sim = nullptr;
    QString m_portPath;
};

#endif
