#include "inprocessline.h"

#include <cstring>

qint64 ProgramEnd::bytesAvailable() const
{
    return m_incoming.size() + QIODevice::bytesAvailable();
}

void ProgramEnd::close()
{
    QIODevice::close();
    m_incoming.clear();
}

void ProgramEnd::deliver(const QByteArray &bytes)
{
    if (!isOpen() || bytes.isEmpty())
        return;
    m_incoming += bytes;
    emit readyRead();
}

qint64 ProgramEnd::readData(char *data, qint64 maxSize)
{
    const qint64 n = qMin<qint64>(maxSize, m_incoming.size());
    std::memcpy(data, m_incoming.constData(), size_t(n));
    m_incoming.remove(0, n);
    return n;
}

qint64 ProgramEnd::writeData(const char *data, qint64 size)
{
    emit written(QByteArray(data, size));
    return size;
}

InProcessLine::InProcessLine(ProgramEnd *programEnd, QObject *parent)
    : SimLine(parent), m_programEnd(programEnd)
{
    connect(programEnd, &ProgramEnd::written, this, &SimLine::received);
    connect(programEnd, &QIODevice::aboutToClose, this, &SimLine::programLeft);
    connect(&m_writable, &QTimer::timeout, this, &SimLine::writable);
}

InProcessLine::~InProcessLine()
{
    // A timer that hangs up: the program finds its line closed.
    if (m_programEnd) {
        disconnect(m_programEnd, nullptr, this, nullptr);
        m_programEnd->close();
    }
}

qint64 InProcessLine::send(const char *data, qint64 size)
{
    if (!m_programEnd || !m_programEnd->isOpen())
        return -1;
    m_programEnd->deliver(QByteArray(data, size));
    return size;
}

void InProcessLine::notifyWhenWritable(bool on)
{
    if (on)
        m_writable.start(0);
    else
        m_writable.stop();
}
