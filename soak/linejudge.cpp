#include "linejudge.h"

#include "frmmain.h"
#include "soakreport.h"
#include "wirelog.h"

#include <QLineEdit>

#include <algorithm>

namespace {

// The pseudo-terminal hands over what the timer wrote a moment later.
constexpr qint64 HandOverNs = 20 * Ms;

// When the program began the exchange for "/command" (its input cleared); -1 when it did not.
qint64 programCommandNs(const LineRecord &line, char command)
{
    const QString text = QStringLiteral("command /%1").arg(QLatin1Char(command));
    for (qsizetype i = 0; i < line.traffic.size(); ++i) {
        if (line.traffic[i] == text)
            return line.trafficNs[i];
    }
    return -1;
}

QString rowsText(const std::array<int, FlightParams::RowCount> &rows, int last)
{
    QStringList texts;
    for (int i = 0; i <= last; ++i)
        texts.append(QString::number(rows[size_t(i)]));
    return texts.join(' ');
}

} // namespace

qint64 LineJudge::commandNs(const LineRecord &line, char command)
{
    for (qsizetype i = 1; i < line.received.size(); ++i) {
        if (line.received[i - 1].byte == '/' && line.received[i].byte == quint8(command))
            return line.received[i].ns;
    }
    return -1;
}

// Bytes the timer sent from a little before the program cleared its input up
// to the command, or the end when the timer has not yet read the command:
// whatever they say is part of the reply.
bool LineJudge::strayBytesBefore(const LineRecord &line, char command)
{
    const qint64 clearedNs = programCommandNs(line, command);
    if (clearedNs < 0)
        return false;
    const qint64 receivedNs = commandNs(line, command);
    for (const PerloSim::Sent &sent : line.sent) {
        if (sent.ns >= clearedNs - HandOverNs && (receivedNs < 0 || sent.ns < receivedNs))
            return true;
    }
    return false;
}

bool LineJudge::rowsFromLine(const LineRecord &record, char command, frmMain &window,
                             WindowModel &model)
{
    const qint64 receivedNs = commandNs(record, command);
    const qint64 clearedNs = programCommandNs(record, command);
    QByteArray line;
    QList<qint64> lineNs;
    for (const PerloSim::Sent &sent : record.sent) {
        line += sent.bytes;
        lineNs.append(QList<qint64>(sent.bytes.size(), sent.ns));
    }
    const int last = window.link().LastParam;
    std::array<int, FlightParams::RowCount> shown{};
    for (int row = 0; row <= last; ++row)
        shown[size_t(row)] = window.findChild<QLineEdit *>(QStringLiteral("txtParam(%1)").arg(row))
                                     ->text()
                                     .toInt();
    // Where the block may begin: the first byte sent after the command, or a
    // byte that came earlier yet after the program cleared its input.
    for (qsizetype start = 0; start < line.size(); ++start) {
        if (clearedNs >= 0 && lineNs[start] < clearedNs - HandOverNs)
            continue;
        const auto values = FlightParams::decodeBlock(QByteArrayView(line).sliced(start), last);
        if (values && std::equal(values->cbegin(), values->cend(), shown.cbegin())) {
            for (int row = 0; row <= last; ++row) {
                model.values[size_t(row)] = shown[size_t(row)];
                model.shown[size_t(row)] = true;
            }
            return true;
        }
        if (receivedNs >= 0 && lineNs[start] >= receivedNs)
            break;
    }
    m_report.breach(
            QStringLiteral("the rows %1 after a successful read are no block the timer sent: %2")
                    .arg(rowsText(shown, last), printable(line.left(64))));
    return false;
}

void LineJudge::judgeBlockWritten(const ActionRecord &record)
{
    const QList<PerloSim::Received> &got = record.line.received;
    const qsizetype p = commandIndex(got, 'P');
    if (p < 0)
        return; // the line was gone: the window shows the failure
    QByteArray expected(record.blockLen, '\0');
    for (int i = 0; i <= record.lastParam; ++i)
        expected[i] = char(quint8(record.rowsAtPress[size_t(i)]));
    QByteArray block;
    for (qsizetype i = p + 1; i < got.size(); ++i)
        block.append(char(got[i].byte));
    const bool cut = record.line.changed || record.closedNs;
    if (block.size() > expected.size() || (block.size() < expected.size() && !cut)
        || block != expected.left(block.size())) {
        m_report.breach(QStringLiteral("the timer got the block %1 after \"/P\"; the rows were %2")
                                .arg(printable(block), printable(expected)));
        return;
    }
    // The program's own moments of writing, beside the timer's of reading.
    QList<qint64> written;
    for (qsizetype i = 0; i < record.line.traffic.size(); ++i) {
        if (record.line.traffic[i].startsWith(QStringLiteral("out ")))
            written.append(record.line.trafficNs[i]);
    }
    for (qsizetype i = 0; i < block.size(); ++i) {
        // The pace a timer takes a block at: what the simulated one enforces in strict mode.
        const qint64 floor = i == 0 ? PerloSim::BlockLeadNs : PerloSim::BlockByteGapNs;
        const qint64 atTimer = got[p + 1 + i].ns - got[p + i].ns;
        if (atTimer >= floor)
            continue;
        const qint64 atProgram = i + 1 < written.size() ? written[i + 1] - written[i] : qint64(-1);
        if (atProgram >= floor) {
            ++m_shortGapsAtTimer; // the timer's reader was late, the program was not
            continue;
        }
        m_report.breach(
                QStringLiteral("block byte %1 came %2 ms after the one before (program: %3 ms)")
                        .arg(i)
                        .arg(double(atTimer) / Ms)
                        .arg(double(atProgram) / Ms));
        return;
    }
}

void LineJudge::addFigures(SoakReport &report) const
{
    report.figure("block gaps short at the timer, not at the program", qint64(m_shortGapsAtTimer));
}
