#include "replytext.h"

void ReplyText::clear()
{
    m_kept.clear();
    m_received = 0;
    m_last = 0;
    m_ok = m_er = false;
}

void ReplyText::append(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (m_last == 'O' && c == 'K')
            m_ok = true;
        else if (m_last == 'E' && c == 'R')
            m_er = true;
        m_last = c;
    }
    m_received += bytes.size();
    const qsizetype room = Capacity - m_kept.size();
    if (room > 0)
        m_kept.append(bytes.first(qMin(room, bytes.size())));
}

QString versionFromReply(const QString &reply)
{
    const qsizetype v = reply.indexOf(QLatin1Char('V'));
    const qsizetype k = reply.indexOf(QLatin1String("OK"));
    const qsizetype length = k - v - 2;
    if (v >= 0 && k >= 0 && length >= 0)
        return reply.mid(v, length);

    QString before = k >= 0 ? reply.left(k) : reply;
    while (!before.isEmpty() && (before.front() == u'\r' || before.front() == u'\n'))
        before.remove(0, 1);
    while (!before.isEmpty() && (before.back() == u'\r' || before.back() == u'\n'))
        before.chop(1);
    return before;
}
