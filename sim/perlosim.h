#ifndef PERLOSIM_H
#define PERLOSIM_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class ProgramEnd;
class SimLine;

// A PERLO-II timer at the far end of a pseudo-terminal: the program opens the
// serial end (portPath()) as if it were the real line; or, where there is no
// pseudo-terminal, of a line inside the program (startInProcess()). Answers "/V", "/Z",
// "/D", "/P" and "/S" like either firmware generation, paces its replies at
// 2400 baud, records every byte it receives, and misbehaves on demand.
class PerloSim : public QObject
{
    Q_OBJECT
public:
    enum class Fault {
        None,
        Silent, // never answers
        RefuseAll, // "ER" to every command
        SplitReplies, // one character per write, 10 ms apart
        LowerCase, // "ok" and "er", which are no markers
        Garbage, // text without any marker
        Stream, // junk without markers at full speed until the next command
        ShortBlock, // "/D" answered one byte short
        LongBlock, // "/D" answered with extra bytes
        HangUp, // closes the line halfway through its first reply
    };

    struct Chunk
    {
        int delayMs = 0; // counted from the chunk before
        QByteArray bytes;
    };
    struct Received
    {
        qint64 ns; // steady clock, as QElapsedTimer::msecsSinceReference() but in ns
        quint8 byte;
    };
    struct Sent
    {
        qint64 ns; // when it went into the line
        QByteArray bytes;
    };
    // What decides an answer: the timer as it is set up.
    struct Setting
    {
        Fault fault = Fault::None;
        int blockLen = 16;
        QByteArray block; // the stored block, at least blockLen bytes
        QByteArray version;
        int replyDelayMs = 0;
        char refused = 0;
    };
    // An answer as the timer puts it into the line.
    struct Reply
    {
        QList<Chunk> chunks;
        bool hangsUp = false; // the timer closes the line once the chunks are out
        QByteArray bytes() const;
    };

    static constexpr int MaxBlockLen = 16;
    // The line's pace: start, 8 data and stop bits at 2400 baud.
    static constexpr qint64 ByteNs = 10 * 1000000000LL / 2400;
    // Between the characters of a split reply.
    static constexpr int SplitGapMs = 10;
    // What a "/P" block must keep to be taken in strict mode: its first byte
    // this long after the command, each other byte this long after the one
    // before (the program pauses 100 ms, then 5 ms; a timer's reading jitters).
    static constexpr qint64 BlockLeadNs = 100 * 1000000LL;
    static constexpr qint64 BlockByteGapNs = 4500000LL;
    // What the sent log keeps between two takes; a stream sends far more.
    static constexpr qsizetype SentLogBytes = 64 * 1024;

    explicit PerloSim(QObject *parent = nullptr);
    ~PerloSim() override;

    bool start(QString *error = nullptr);
    // The line's other end is `programEnd`, which the program opens as its port.
    void startInProcess(ProgramEnd *programEnd);
    QString portPath() const { return m_slavePath; }
    // A fixed name for the serial end (a symlink), removed when the sim ends.
    bool makeLink(const QString &linkPath, QString *error = nullptr);

    void setGeneration(int blockLen); // 8 or 16
    int blockLen() const { return m_blockLen; }
    void setVersion(const QByteArray &version) { m_version = version; }
    void setLinePaced(bool paced) { m_paced = paced; }
    void setFault(Fault fault) { m_fault = fault; }
    void setReplyDelay(int ms) { m_replyDelayMs = ms; }
    // Refuses a "/P" block whose first byte came sooner than 100 ms after the
    // command or whose bytes came less than 4.5 ms apart.
    void setStrict(bool strict) { m_strict = strict; }
    // Answers this one command (or, for "P", the block) with "ER"; 0 for none.
    void setRefused(char command) { m_refused = command; }

    // The stored parameter block (always 16 bytes; the generation uses a prefix).
    QByteArray block() const { return m_block; }
    void setBlock(const QByteArray &block);

    // Answers `command` with exactly these chunks from now on, whatever the fault.
    void setScript(char command, const QList<Chunk> &reply) { m_scripts.insert(command, reply); }
    void clearScripts() { m_scripts.clear(); }

    const QList<Received> &received() const { return m_received; }
    QByteArray receivedBytes() const;
    void clearReceived() { m_received.clear(); }
    // What went into the line since the last take, up to SentLogBytes.
    QList<Sent> takeSent();
    int strictRejects() const { return m_strictRejects; }
    bool isOpen() const { return m_line != nullptr; }
    // Counts every hang-up and every start: the line went or came.
    int lineChanges() const { return m_lineChanges; }
    // A reply is still on its way (a stream does not count).
    bool isReplying() const;
    // Junk still floods the line: a stream outlives the fault that began it.
    bool isStreaming() const { return m_streaming; }

    void hangUp();
    // Hangs up `delayMs` after `bytes` more bytes have come in: in the middle
    // of whatever exchange they belong to.
    void hangUpAfter(int bytes, int delayMs);
    // The line back after a hang-up, a new pseudo-terminal reached through `linkPath`.
    bool comeBack(const QString &linkPath, QString *error = nullptr);

    static qint64 nowNs();

    // What each fault does to an answer, the one account of it: the timer
    // answers by these, and whoever predicts its answers uses them too.
    //
    // The answer to `command` (for "/P", once its block is in) when neither a
    // script nor a silent or streaming fault decides it.
    static Reply answerTo(char command, const Setting &setting);
    // What a sound timer of this firmware says to `command`.
    static QByteArray textFor(char command, const QByteArray &version, int blockLen);
    // The shutter stays open for byte 6 of the block, in tenths of a second,
    // before the timer answers "/S".
    static int shutterOpenMs(const QByteArray &block);
    // The text a timer with `fault` says in place of `text`.
    static QByteArray textUnder(Fault fault, const QByteArray &text);
    // What a timer with `fault` sends for "/D" when it stores `block`.
    static QByteArray blockUnder(Fault fault, const QByteArray &block);
    // `bytes`, `delayMs` after the command, as a timer with `fault` sends them.
    static Reply replyUnder(Fault fault, const QByteArray &bytes, int delayMs);
    // How long `count` bytes take on a paced line.
    static constexpr qint64 lineNs(qint64 count) { return count * ByteNs; }
    // When byte `index` of `reply` has crossed the line, from the command.
    static qint64 arrivalNs(const Reply &reply, qsizetype index, bool paced);

    // Every fault, None first, in the order of the enumeration.
    static const QList<Fault> &faults();
    // The name perlo-sim's --fault takes.
    static QString faultName(Fault fault);
    static Fault faultFromName(const QString &name, bool *ok);

signals:
    void byteReceived(quint8 byte, qint64 ns);
    void commandReceived(char command);
    void blockWritten(const QByteArray &block);

private:
    enum class Parse { Idle, Slash, Block };

    void attach(SimLine *line);
    void onReceived(const QByteArray &bytes);
    void handleByte(quint8 byte, qint64 ns);
    void handleCommand(char command, qint64 ns);
    void finishBlock();
    // A script or a fault that decides the whole answer; true when it did.
    bool answeredOtherwise(char command);
    void reply(const QList<Chunk> &chunks);
    void send(const Reply &answer);
    Setting setting() const;
    void startNextChunk();
    void transmit();
    void startStreaming();
    void stopStreaming();
    void forgetConversation();

    SimLine *m_line = nullptr;
    QString m_slavePath;
    QString m_linkPath;
    QTimer m_chunkTimer;
    QTimer m_lineTimer;
    QTimer m_hangUpTimer;

    int m_blockLen = 16;
    QByteArray m_version = "V2.10";
    QByteArray m_block;
    bool m_paced = true;
    Fault m_fault = Fault::None;
    int m_replyDelayMs = 0;
    bool m_strict = false;
    char m_refused = 0;
    int m_hangUpAfterBytes = 0;
    int m_hangUpDelayMs = 0;
    int m_lineChanges = 0;
    QHash<char, QList<Chunk>> m_scripts;

    Parse m_parse = Parse::Idle;
    QByteArray m_incomingBlock;
    QList<qint64> m_incomingTimes;
    qint64 m_commandNs = 0;

    QList<Chunk> m_pending;
    QByteArray m_tx;
    qint64 m_lineStartNs = 0;
    qint64 m_lineSent = 0;
    bool m_hangUpArmed = false;
    bool m_streaming = false;
    qint64 m_streamStartNs = 0;

    QList<Received> m_received;
    QList<Sent> m_sent;
    qsizetype m_sentBytes = 0;
    int m_strictRejects = 0;
};

#endif
