#ifndef DEVICETHREAD_H
#define DEVICETHREAD_H

#include "perlosim.h"

#include <QObject>
#include <QThread>

#include <functional>

// A simulated timer with an event loop of its own. It reads the line as soon
// as bytes arrive, whatever the thread under test is doing, so the times it
// records are those of the bytes on the line even on a busy machine.
class DeviceThread
{
public:
    // `setUp` runs on the device's thread before the device starts.
    explicit DeviceThread(const std::function<void(PerloSim &)> &setUp = {});
    ~DeviceThread();

    QString portPath() const { return m_portPath; }

    // Asks for real-time scheduling for the device's thread, so that it
    // reads each byte as it arrives even while other work keeps every core
    // busy. Without the privilege for it the thread keeps its priority.
    void readPromptly();

    // Runs `job` on the device's thread and waits for it.
    void call(const std::function<void(PerloSim &)> &job);

private:
    QThread m_thread;
    QObject m_anchor;
    PerloSim *m_sim = nullptr;
    QString m_portPath;
};

#endif
