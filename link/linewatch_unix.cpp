#include "linewatch.h"

#include <QSerialPort>
#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

LineWatch::LineWatch(QObject *parent) : QObject(parent) { }

LineWatch::~LineWatch()
{
    stop();
}

void LineWatch::watch(const QSerialPort &line)
{
    stop();
    m_fd = ::fcntl(line.handle(), F_DUPFD_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    // A hang-up reads as "readable" for ever after, so this fires until the line is let go.
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LineWatch::check);
}

void LineWatch::stop()
{
    if (m_notifier) {
        // It may be the one whose signal is running.
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void LineWatch::check()
{
    // Plain data is Qt's to read; only the end of the line matters here.
    pollfd line{ m_fd, POLLIN, 0 };
    if (::poll(&line, 1, 0) <= 0 || !(line.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return;
    m_notifier->setEnabled(false); // once per line
    emit lineGone();
}
