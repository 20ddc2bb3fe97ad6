#include "benchdevices.h"
#include "pseudoterminal.h"
#include "timerfixture.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

LineHolder::LineHolder(const QString &path)
    : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY))
{
}

LineHolder::~LineHolder()
{
    ::close(m_fd);
}

BenchSim::BenchSim() : m_line(portPath())
{
    useAsCom1(portPath());
}

QList<PerloSim::Received> BenchSim::received()
{
    QList<PerloSim::Received> copy;
    call([&](PerloSim &sim) { copy = sim.received(); });
    return copy;
}

MarkerResponder::MarkerResponder()
{
    m_master = openPseudoTerminal(&m_path);
    if (m_master < 0)
        qFatal("cannot make a pseudo-terminal");
    m_line = std::make_unique<LineHolder>(m_path);
    m_thread = std::thread([this] { serve(); });
}

MarkerResponder::~MarkerResponder()
{
    m_stop = true;
    m_thread.join();
    m_line.reset();
    ::close(m_master);
}

void MarkerResponder::serve()
{
    static const QByteArray reply = "V2.10\r\nOK";
    int pending = 0;
    while (!m_stop) {
        pollfd p{ m_master, POLLIN, 0 };
        char buffer[64];
        if (::poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN))
            continue;
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        for (pending += int(qMax<ssize_t>(n, 0)); pending >= 2; pending -= 2) {
            std::this_thread::sleep_for(Delay);
            m_lastReplyNs = PerloSim::nowNs();
            ++m_replies;
            [[maybe_unused]] const ssize_t written =
                    ::write(m_master, reply.constData(), size_t(reply.size()));
        }
    }
}
