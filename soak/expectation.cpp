#include "expectation.h"

namespace {

using Fault = PerloSim::Fault;

constexpr double ByteMs = 10 * 1000.0 / 2400; // at 2400 baud

// The bytes a timer puts on the line for a text reply, and whether it then hangs up.
QByteArray textOnLine(const QByteArray &text, Fault fault)
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

// When the byte at `index` of a reply is complete, counted from the command.
double arrivalMs(qsizetype index, int delayMs, const TimerFacts &timer)
{
    const double perByte = timer.paced ? ByteMs : 0;
    if (timer.behaviour.fault == Fault::SplitReplies)
        return delayMs + double(index) * 10 + perByte;
    return delayMs + double(index + 1) * perByte;
}

unsigned byTime(unsigned outcome, double doneMs, int watchdogMs, int graceMs)
{
    if (doneMs < watchdogMs - graceMs)
        return outcome;
    if (doneMs > watchdogMs + graceMs)
        return TimedOut;
    return outcome | TimedOut;
}

} // namespace

unsigned textOutcomes(char command, const TimerFacts &timer, int watchdogMs)
{
    const TimerBehaviour &b = timer.behaviour;
    if (b.fault == Fault::Silent || b.fault == Fault::Stream)
        return TimedOut;
    QByteArray text = command == 'V' ? timer.version + "\r\nOK"
            : command == 'Z'         ? QByteArray(timer.blockLen == 16 ? "OK" : "ER")
                                     : QByteArray("OK");
    int delayMs = b.replyDelayMs();
    if (command == b.refused) {
        text = "ER";
    } else if (command == 'S') {
        delayMs += quint8(timer.block[6]) * 100; // the shutter's open time
    }
    QByteArray line = textOnLine(text, b.fault);
    if (b.fault == Fault::HangUp)
        line = line.left(line.size() / 2);
    const qsizetype ok = line.indexOf("OK"), er = line.indexOf("ER");
    if (ok < 0 && er < 0)
        return TimedOut;
    const qsizetype first = qMin(ok < 0 ? line.size() : ok, er < 0 ? line.size() : er) + 1;
    // Both there: "OK" wins when it comes first, or in the same read as the "ER".
    const unsigned seen = ok >= 0 && (er < 0 || ok < er) ? Ok : ok >= 0 ? (Refused | Ok) : Refused;
    return byTime(seen, arrivalMs(first, delayMs, timer), watchdogMs, timer.graceMs);
}

unsigned blockOutcomes(const TimerFacts &timer, int blockLen, int lastParam, int watchdogMs)
{
    const TimerBehaviour &b = timer.behaviour;
    if (b.fault == Fault::Silent)
        return TimedOut;
    if (b.fault == Fault::Stream)
        return Ok; // junk at full speed, taken as a block
    qsizetype count = 0;
    if (b.refused == 'D')
        count = textOnLine("ER", b.fault).size();
    else if (b.fault == Fault::RefuseAll || b.fault == Fault::Garbage)
        count = textOnLine("", b.fault).size();
    else
        count = timer.blockLen + (b.fault == Fault::ShortBlock ? -1 : 0)
                + (b.fault == Fault::LongBlock ? 4 : 0);
    if (b.fault == Fault::HangUp)
        count /= 2;
    if (count < blockLen - 1 || count < lastParam + 1)
        return TimedOut;
    // The whole block ends the wait; one byte short is taken when the watchdog fires.
    const qsizetype last = qMin<qsizetype>(count, blockLen) - 1;
    return byTime(Ok, arrivalMs(last, b.replyDelayMs(), timer), watchdogMs, timer.graceMs);
}

// The texts as the user must see them, kept apart from the program's own so
// that a changed text in the program shows as a breach.
QString statusText(unsigned outcome)
{
    switch (outcome) {
    case Refused:
        return QStringLiteral("Timer reproted Error");
    case TimedOut:
        return QStringLiteral("I/O Timed Out");
    case Unexpected:
        return QStringLiteral("Unexpected Error");
    default:
        return QStringLiteral("Undefined Error");
    }
}

QStringList failureTexts(const QString &heading, unsigned outcomes)
{
    QStringList texts;
    for (const unsigned outcome : { Refused, TimedOut, Unexpected }) {
        if (outcomes & outcome)
            texts.append(heading + QStringLiteral("\r\n\r\n") + statusText(outcome));
    }
    return texts;
}
