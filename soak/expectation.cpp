#include "expectation.h"

namespace {

using Fault = PerloSim::Fault;

// The timer's answer to `command` as the simulated one gives it.
PerloSim::Reply answerTo(char command, const TimerFacts &timer)
{
    const TimerBehaviour &b = timer.behaviour;
    return PerloSim::answerTo(
            command,
            { b.fault, timer.blockLen, timer.block, timer.version, b.replyDelayMs(), b.refused });
}

// When byte `index` of `reply` is complete, in ms from the command.
double arrivalMs(const PerloSim::Reply &reply, qsizetype index, const TimerFacts &timer)
{
    return double(PerloSim::arrivalNs(reply, index, timer.paced)) / 1e6;
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
    const Fault fault = timer.behaviour.fault;
    if (fault == Fault::Silent || fault == Fault::Stream)
        return TimedOut;
    const PerloSim::Reply reply = answerTo(command, timer);
    const QByteArray line = reply.bytes();
    const qsizetype ok = line.indexOf("OK"), er = line.indexOf("ER");
    if (ok < 0 && er < 0)
        return TimedOut;
    const qsizetype first = qMin(ok < 0 ? line.size() : ok, er < 0 ? line.size() : er) + 1;
    // Both there: "OK" wins when it comes first, or in the same read as the "ER".
    const unsigned seen = ok >= 0 && (er < 0 || ok < er) ? Ok : ok >= 0 ? (Refused | Ok) : Refused;
    return byTime(seen, arrivalMs(reply, first, timer), watchdogMs, timer.graceMs);
}

unsigned blockOutcomes(const TimerFacts &timer, int blockLen, int lastParam, int watchdogMs)
{
    const Fault fault = timer.behaviour.fault;
    if (fault == Fault::Silent)
        return TimedOut;
    if (fault == Fault::Stream)
        return Ok; // junk at full speed, taken as a block
    const PerloSim::Reply reply = answerTo('D', timer);
    const qsizetype count = reply.bytes().size();
    if (count < blockLen - 1 || count < lastParam + 1)
        return TimedOut;
    // The whole block ends the wait; one byte short is taken when the watchdog fires.
    const qsizetype last = qMin<qsizetype>(count, blockLen) - 1;
    return byTime(Ok, arrivalMs(reply, last, timer), watchdogMs, timer.graceMs);
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
