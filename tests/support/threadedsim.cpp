#include "threadedsim.h"

ThreadedSim::ThreadedSim(const std::function<void(PerloSim &)> &setUp)
{
    m_anchor.moveToThread(&m_thread);
    m_thread.start();
    // Created on its thread: the sim's timers and notifiers belong to it.
    QMetaObject::invokeMethod(&m_anchor, [this] { m_sim = new PerloSim; }, Qt::BlockingQueuedConnection);
    call([&](PerloSim &sim) {
        setUp(sim);
        if (sim.start())
            m_portPath = sim.portPath();
    });
}

ThreadedSim::~ThreadedSim()
{
    call([](PerloSim &sim) { delete &sim; });
    m_thread.quit();
    m_thread.wait();
}

void ThreadedSim::call(const std::function<void(PerloSim &)> &job)
{
    QMetaObject::invokeMethod(&m_anchor, [&] { job(*m_sim); }, Qt::BlockingQueuedConnection);
}
