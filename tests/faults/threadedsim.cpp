#include "threadedsim.h"

ThreadedSim::ThreadedSim(const std::function<void(PerloSim &)> &setUp)
{
    m_anchor.moveToThread(&m_thread);
    m_thread.start();
    // Created on its thread: the sim's timers and notifiers belong to it.
    QMetaObject::invokeMethod(&m_anchor, [&] {
        m_sim = new PerloSim;
        if (setUp)
            setUp(*m_sim);
        if (m_sim->start())
            m_portPath = m_sim->portPath();
    }, Qt::BlockingQueuedConnection);
}

ThreadedSim::~ThreadedSim()
{
    QMetaObject::invokeMethod(&m_anchor, [this] { delete m_sim; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}
