#ifndef THREADEDSIM_H
#define THREADEDSIM_H

#include "perlosim.h"

#include <QObject>
#include <QThread>

#include <functional>

// A simulated timer with an event loop of its own: it reads the line as soon
// as bytes arrive, whatever the thread under test is doing, and a device that
// floods the line does its writing away from the thread under test.
class ThreadedSim
{
public:
    // `setUp` runs on the sim's thread before the sim starts.
    explicit ThreadedSim(const std::function<void(PerloSim &)> &setUp = {});
    ~ThreadedSim();

    bool started() const { return !m_portPath.isEmpty(); }
    QString portPath() const { return m_portPath; }

    // Asks for real-time scheduling of the sim's thread, so that it reads each
    // byte as it arrives even while other work keeps every core busy. Without
    // the privilege for it the thread keeps its priority.
    void readPromptly();

    // Runs `job` on the sim's thread and waits for it.
    void call(const std::function<void(PerloSim &)> &job);

private:
    void runThere(const std::function<void()> &job);

    QThread m_thread;
    QObject m_anchor;
    PerloSim *m_sim = nullptr;
    QString m_portPath;
};

#endif
