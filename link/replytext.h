#ifndef REPLYTEXT_H
#define REPLYTEXT_H

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The text a device sends back to one command. Every received byte is looked
// at once for the "OK" and "ER" markers (also when a marker is split across
// two reads), but only the first Capacity bytes are kept, so a device that
// talks without end cannot eat the memory.
class ReplyText
{
public:
    static constexpr qsizetype Capacity = 64 * 1024;

    void clear();
    void append(QByteArrayView bytes);

    bool hasOk() const { return m_ok; }
    bool hasEr() const { return m_er; }
    bool hasMarker() const { return m_ok || m_er; }

    // Latin-1: one character per byte.
    QString text() const { return QString::fromLatin1(m_kept); }
    qint64 receivedCount() const { return m_received; }

private:
    QByteArray m_kept;
    qint64 m_received = 0;
    char m_last = 0;
    bool m_ok = false;
    bool m_er = false;
};

// What the version box shows for a reply that has "OK": from the first "V" up
// to the line break in front of the first "OK". When the reply has no "V"
// before that, or too little between them, the text in front of the "OK"
// without its line breaks.
QString versionFromReply(const QString &reply);

#endif
