#include "perlosim.h"
#include "inprocessline.h"
#include "simline.h"

#include <QFile>

#include <chrono>
#include <utility>

namespace {

constexpr std::pair<PerloSim::Fault, const char *> FaultNames[] = {
    { PerloSim::Fault::None, "none" },        { PerloSim::Fault::Silent, "silent" },
    { PerloSim::Fault::RefuseAll, "refuse" }, { PerloSim::Fault::SplitReplies, "split" },
    { PerloSim::Fault::LowerCase, "lower" },  { PerloSim::Fault::Garbage, "garbage" },
    { PerloSim::Fault::Stream, "stream" },    { PerloSim::Fault::ShortBlock, "short" },
    { PerloSim::Fault::LongBlock, "long" },   { PerloSim::Fault::HangUp, "hangup" },
};
constexpr qint64 MaxStreamNs = 30 * 1000000000LL;

QByteArray junk()
{
    // Plenty of text, never an "OK" or "ER".
    static const QByteArray line = "abcdefghijklmnopqrstuvwxyz 0123456789 garbage\r\n";
    return line.repeated(64);
}

} // namespace

PerloSim::PerloSim(QObject *parent)
    : QObject(parent), m_block(QByteArray::fromHex("190a0304140505010a021e0000000000"))
{
    m_chunkTimer.setSingleShot(true);
    m_chunkTimer.setTimerType(Qt::PreciseTimer);
    m_lineTimer.setSingleShot(true);
    m_lineTimer.setTimerType(Qt::PreciseTimer);
    m_hangUpTimer.setSingleShot(true);
    connect(&m_hangUpTimer, &QTimer::timeout, this, &PerloSim::hangUp);
    connect(&m_chunkTimer, &QTimer::timeout, this, [this] {
        if (m_pending.isEmpty())
            return;
        const Chunk chunk = m_pending.takeFirst();
        m_tx += chunk.bytes;
        transmit();
        startNextChunk();
    });
    connect(&m_lineTimer, &QTimer::timeout, this, &PerloSim::transmit);
}

PerloSim::~PerloSim()
{
    hangUp();
}

qint64 PerloSim::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
}

const QList<PerloSim::Fault> &PerloSim::faults()
{
    static const QList<Fault> all = [] {
        QList<Fault> list;
        for (const auto &[fault, name] : FaultNames)
            list.append(fault);
        return list;
    }();
    return all;
}

QString PerloSim::faultName(Fault fault)
{
    for (const auto &[known, name] : FaultNames) {
        if (known == fault)
            return QString::fromLatin1(name);
    }
    return {};
}

QByteArray PerloSim::Reply::bytes() const
{
    QByteArray all;
    for (const Chunk &chunk : chunks)
        all += chunk.bytes;
    return all;
}

PerloSim::Reply PerloSim::answerTo(char command, const Setting &setting)
{
    const Fault fault = setting.fault;
    if (command == setting.refused)
        return replyUnder(fault, textUnder(fault, "ER"), setting.replyDelayMs);
    if (command == 'D' && fault != Fault::RefuseAll && fault != Fault::Garbage)
        return replyUnder(fault, blockUnder(fault, setting.block.left(setting.blockLen)),
                          setting.replyDelayMs);
    const int shutterMs = command == 'S' ? shutterOpenMs(setting.block) : 0;
    return replyUnder(fault, textUnder(fault, textFor(command, setting.version, setting.blockLen)),
                      setting.replyDelayMs + shutterMs);
}

QByteArray PerloSim::textFor(char command, const QByteArray &version, int blockLen)
{
    switch (command) {
    case 'V':
        return version + "\r\nOK";
    case 'Z':
        return blockLen == 16 ? "OK" : "ER";
    case 'P':
    case 'S':
        return "OK";
    default:
        return "ER";
    }
}

int PerloSim::shutterOpenMs(const QByteArray &block)
{
    return quint8(block[6]) * 100;
}

QByteArray PerloSim::textUnder(Fault fault, const QByteArray &text)
{
    switch (fault) {
    case Fault::RefuseAll:
        return "ER";
    case Fault::LowerCase:
        return text.toLower();
    case Fault::Garbage:
        return "#?~ no marker here\r\n";
    default:
        return text;
    }
}

QByteArray PerloSim::blockUnder(Fault fault, const QByteArray &block)
{
    QByteArray bytes = block;
    if (fault == Fault::ShortBlock)
        bytes.chop(1);
    else if (fault == Fault::LongBlock)
        bytes.append("\x01\x02\x03\x04", 4);
    return bytes;
}

PerloSim::Reply PerloSim::replyUnder(Fault fault, const QByteArray &bytes, int delayMs)
{
    Reply reply;
    if (fault == Fault::SplitReplies) {
        for (qsizetype i = 0; i < bytes.size(); ++i)
            reply.chunks.append({ i == 0 ? delayMs : SplitGapMs, bytes.mid(i, 1) });
    } else if (fault == Fault::HangUp) {
        reply.chunks.append({ delayMs, bytes.left(bytes.size() / 2) });
        reply.hangsUp = true;
    } else {
        reply.chunks.append({ delayMs, bytes });
    }
    return reply;
}

qint64 PerloSim::arrivalNs(const Reply &reply, qsizetype index, bool paced)
{
    // A chunk goes into the line when its delay is over, or once the chunk
    // before it is through, whichever is later.
    qint64 chunkNs = 0, lineFreeNs = 0;
    for (const Chunk &chunk : reply.chunks) {
        chunkNs += chunk.delayMs * 1000000LL;
        const qint64 startNs = paced ? qMax(chunkNs, lineFreeNs) : chunkNs;
        if (index < chunk.bytes.size())
            return startNs + (paced ? lineNs(index + 1) : 0);
        index -= chunk.bytes.size();
        lineFreeNs = startNs + lineNs(chunk.bytes.size());
    }
    return -1;
}

PerloSim::Fault PerloSim::faultFromName(const QString &name, bool *ok)
{
    for (const auto &[fault, known] : FaultNames) {
        if (name == QLatin1String(known)) {
            *ok = true;
            return fault;
        }
    }
    *ok = false;
    return Fault::None;
}

bool PerloSim::start(QString *error)
{
    SimLine *line = openPseudoTerminalLine(this, &m_slavePath, error);
    if (!line)
        return false;
    attach(line);
    return true;
}

void PerloSim::startInProcess(ProgramEnd *programEnd)
{
    m_slavePath.clear();
    attach(new InProcessLine(programEnd, this));
}

void PerloSim::attach(SimLine *line)
{
    m_line = line;
    forgetConversation();
    ++m_lineChanges;
    connect(line, &SimLine::received, this, &PerloSim::onReceived);
    connect(line, &SimLine::writable, this, &PerloSim::transmit);
    // The program that let go hears nothing more of what it asked: a block
    // cut short is not finished by the next program's commands.
    connect(line, &SimLine::programLeft, this, &PerloSim::forgetConversation);
}

bool PerloSim::makeLink(const QString &linkPath, QString *error)
{
    QFile::remove(linkPath);
    if (!QFile::link(m_slavePath, linkPath)) {
        if (error)
            *error = QStringLiteral("cannot link %1 to %2").arg(linkPath, m_slavePath);
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void PerloSim::setGeneration(int blockLen)
{
    m_blockLen = blockLen == 8 ? 8 : 16;
}

void PerloSim::setBlock(const QByteArray &block)
{
    m_block = block.left(MaxBlockLen);
    m_block.append(MaxBlockLen - m_block.size(), '\0');
}

QByteArray PerloSim::receivedBytes() const
{
    QByteArray bytes;
    bytes.reserve(m_received.size());
    for (const Received &r : m_received)
        bytes.append(char(r.byte));
    return bytes;
}

QList<PerloSim::Sent> PerloSim::takeSent()
{
    m_sentBytes = 0;
    return std::exchange(m_sent, {});
}

bool PerloSim::isReplying() const
{
    return !m_pending.isEmpty() || m_chunkTimer.isActive() || (!m_streaming && !m_tx.isEmpty());
}

void PerloSim::forgetConversation()
{
    stopStreaming();
    m_chunkTimer.stop();
    m_lineTimer.stop();
    m_pending.clear();
    m_tx.clear();
    m_lineSent = 0;
    m_hangUpArmed = false;
    m_parse = Parse::Idle;
}

void PerloSim::hangUpAfter(int bytes, int delayMs)
{
    m_hangUpAfterBytes = bytes;
    m_hangUpDelayMs = delayMs;
}

bool PerloSim::comeBack(const QString &linkPath, QString *error)
{
    hangUp();
    return start(error) && makeLink(linkPath, error);
}

void PerloSim::hangUp()
{
    forgetConversation();
    m_hangUpTimer.stop();
    m_hangUpAfterBytes = 0;
    if (m_line) {
        delete std::exchange(m_line, nullptr);
        ++m_lineChanges;
    }
    if (!m_linkPath.isEmpty())
        QFile::remove(m_linkPath);
    m_linkPath.clear();
}

void PerloSim::onReceived(const QByteArray &bytes)
{
    const qint64 ns = nowNs();
    for (qsizetype i = 0; i < bytes.size() && m_line; ++i)
        handleByte(quint8(bytes[i]), ns);
}

void PerloSim::handleByte(quint8 byte, qint64 ns)
{
    m_received.append({ ns, byte });
    emit byteReceived(byte, ns);
    if (m_hangUpAfterBytes > 0 && --m_hangUpAfterBytes == 0)
        m_hangUpTimer.start(m_hangUpDelayMs);
    switch (m_parse) {
    case Parse::Block:
        m_incomingBlock.append(char(byte));
        m_incomingTimes.append(ns);
        if (m_incomingBlock.size() == m_blockLen)
            finishBlock();
        return;
    case Parse::Slash:
        if (byte == '/')
            return;
        m_parse = Parse::Idle;
        handleCommand(char(byte), ns);
        return;
    case Parse::Idle:
        // Anything but "/" is noise on the line: wait for the next command.
        if (byte == '/')
            m_parse = Parse::Slash;
        return;
    }
}

void PerloSim::handleCommand(char command, qint64 ns)
{
    stopStreaming();
    emit commandReceived(command);
    if (command == 'P') {
        m_parse = Parse::Block;
        m_commandNs = ns;
        m_incomingBlock.clear();
        m_incomingTimes.clear();
        return;
    }
    if (!answeredOtherwise(command))
        send(answerTo(command, setting()));
}

void PerloSim::finishBlock()
{
    m_parse = Parse::Idle;
    bool onTime = m_incomingTimes.first() - m_commandNs >= BlockLeadNs;
    for (qsizetype i = 1; i < m_incomingTimes.size(); ++i)
        onTime = onTime && m_incomingTimes[i] - m_incomingTimes[i - 1] >= BlockByteGapNs;
    if (m_strict && !onTime) {
        ++m_strictRejects;
        send(replyUnder(m_fault, "ER", m_replyDelayMs));
        return;
    }
    if (m_refused == 'P' && !m_scripts.contains('P')) {
        send(answerTo('P', setting()));
        return;
    }
    if (m_fault != Fault::RefuseAll && !m_scripts.contains('P')) {
        m_block.replace(0, m_blockLen, m_incomingBlock);
        emit blockWritten(m_incomingBlock);
    }
    if (!answeredOtherwise('P'))
        send(answerTo('P', setting()));
}

bool PerloSim::answeredOtherwise(char command)
{
    if (m_scripts.contains(command)) {
        reply(m_scripts.value(command));
        return true;
    }
    switch (m_fault) {
    case Fault::Silent:
        return true;
    case Fault::Stream:
        startStreaming();
        return true;
    default:
        return false;
    }
}

PerloSim::Setting PerloSim::setting() const
{
    return { m_fault, m_blockLen, m_block, m_version, m_replyDelayMs, m_refused };
}

void PerloSim::send(const Reply &answer)
{
    if (answer.hangsUp)
        m_hangUpArmed = true;
    reply(answer.chunks);
}

void PerloSim::reply(const QList<Chunk> &chunks)
{
    const bool idle = m_pending.isEmpty() && !m_chunkTimer.isActive();
    m_pending += chunks;
    if (idle)
        startNextChunk();
}

void PerloSim::startNextChunk()
{
    if (!m_pending.isEmpty()) {
        m_chunkTimer.start(m_pending.first().delayMs);
        return;
    }
    if (m_hangUpArmed) {
        m_hangUpArmed = false;
        m_hangUpTimer.start(20);
    }
}

void PerloSim::transmit()
{
    if (!m_line || m_tx.isEmpty()) {
        if (m_line)
            m_line->notifyWhenWritable(false);
        return;
    }
    qsizetype count = m_tx.size();
    if (m_paced && !m_streaming) {
        const qint64 now = nowNs();
        if (!m_lineTimer.isActive() && m_lineSent == 0)
            m_lineStartNs = now;
        const qint64 due = (now - m_lineStartNs) / ByteNs + 1;
        count = qMin<qint64>(count, qMax<qint64>(0, due - m_lineSent));
    }
    const qint64 written = count > 0 ? m_line->send(m_tx.constData(), count) : 0;
    if (written > 0) {
        if (m_sentBytes < SentLogBytes) {
            const qsizetype kept = qMin<qsizetype>(written, SentLogBytes - m_sentBytes);
            m_sent.append({ nowNs(), m_tx.left(kept) });
            m_sentBytes += kept;
        }
        m_tx.remove(0, written);
        if (!m_streaming) // a stream goes at full speed, outside the pacing
            m_lineSent += written;
    } else if (written < 0) {
        m_tx.clear(); // nobody is listening any more
        m_streaming = false;
    }

    if (m_streaming && m_tx.size() < 4096) {
        if (nowNs() - m_streamStartNs < MaxStreamNs)
            m_tx += junk();
        else
            m_streaming = false;
    }

    if (m_tx.isEmpty()) {
        m_lineSent = 0;
        m_line->notifyWhenWritable(false);
        return;
    }
    if (m_paced && !m_streaming) {
        const qint64 nextNs = m_lineStartNs + lineNs(m_lineSent);
        const qint64 waitNs = qMax<qint64>(0, nextNs - nowNs());
        m_lineTimer.start(int((waitNs + 999999) / 1000000));
    } else {
        m_line->notifyWhenWritable(true);
    }
}

void PerloSim::startStreaming()
{
    m_streaming = true;
    m_streamStartNs = nowNs();
    m_tx += junk();
    transmit();
}

void PerloSim::stopStreaming()
{
    if (!m_streaming)
        return;
    m_streaming = false;
    m_tx.clear();
    // The next paced reply starts afresh, not behind the stream's bytes.
    m_lineSent = 0;
    m_lineTimer.stop();
}
