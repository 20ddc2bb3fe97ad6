#include "simthread.h"

SimThread::SimThread(const std::function<void(PerloSim &)> &setUp)
{
    m_anchor.moveToThread(&m_thread);
    m_thread.start();
    // Created on its thread: the sim's timers and notifiers belong to it.
    QMetaObject::invokeMethod(
            &m_anchor, [this] { m_sim = new PerloSim; }, Qt::BlockingQueuedConnection);
    call([&](PerloSim &sim) {
        if (setUp)
            setUp(sim);
        if (QString error; !sim.start(&error))
            qFatal("cannot start the simulated timer: %s", qPrintable(error));
        m_portPath = sim.portPath();
    });
}

SimThread::~SimThread()
{
    call([](PerloSim &sim) { delete &sim; });
    m_thread.quit();
    m_thread.wait();
}

void SimThread::call(const std::function<void(PerloSim &)> &job)
{
    QMetaObject::invokeMethod(
            &m_anchor, [&] { job(*m_sim); }, Qt::BlockingQueuedConnection);
}
