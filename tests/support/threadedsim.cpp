#include "threadedsim.h"

#include <pthread.h>
#include <sched.h>

ThreadedSim::ThreadedSim(const std::function<void(PerloSim &)> &setUp)
{
    m_anchor.moveToThread(&m_thread);
    m_thread.start();
    // Created on its thread: the sim's timers and notifiers belong to it.
    runThere([&] {
        m_sim = new PerloSim;
        if (setUp)
            setUp(*m_sim);
        if (m_sim->start())
            m_portPath = m_sim->portPath();
    });
}

ThreadedSim::~ThreadedSim()
{
    runThere([this] { delete m_sim; });
    m_thread.quit();
    m_thread.wait();
}

void ThreadedSim::call(const std::function<void(PerloSim &)> &job)
{
    runThere([&] { job(*m_sim); });
}

void ThreadedSim::runThere(const std::function<void()> &job)
{
    QMetaObject::invokeMethod(&m_anchor, job, Qt::BlockingQueuedConnection);
}

void ThreadedSim::readPromptly()
{
    call([](PerloSim &) {
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_FIFO);
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    });
}
