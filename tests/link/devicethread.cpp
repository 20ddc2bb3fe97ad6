#include "devicethread.h"

#include <pthread.h>
#include <sched.h>

DeviceThread::DeviceThread(const std::function<void(PerloSim &)> &setUp)
{
    m_anchor.moveToThread(&m_thread);
    m_thread.start();
    // Made on its own thread, so that its timers and notifiers run there.
    QMetaObject::invokeMethod(&m_anchor, [&] {
        m_sim = new PerloSim;
        if (setUp)
            setUp(*m_sim);
        if (m_sim->start())
            m_portPath = m_sim->portPath();
    }, Qt::BlockingQueuedConnection);
}

DeviceThread::~DeviceThread()
{
    QMetaObject::invokeMethod(&m_anchor, [this] { delete m_sim; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void DeviceThread::call(const std::function<void(PerloSim &)> &job)
{
    QMetaObject::invokeMethod(&m_anchor, [&] { job(*m_sim); }, Qt::BlockingQueuedConnection);
}

void DeviceThread::readPromptly()
{
    call([](PerloSim &) {
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_FIFO);
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    });
}
