#include "timerlink.h"
#include "flightparams.h"
#include "linkview.h"
#include "traffic.h"

#include <QCoreApplication>

#include <limits>

TimerLink::TimerLink(LinkView *view, QObject *parent) : QObject(parent), m_view(view)
{
    tmrWait.setEnabled(true); // with interval 0 it stays quiet until a pause
    connect(&tmrDog, &LinkTimer::Timer, this, &TimerLink::tmrDog_Timer);
    connect(&tmrWait, &LinkTimer::Timer, this, &TimerLink::tmrWait_Timer);
}

void TimerLink::Form_Load()
{
    comPERLO.setCommPort(1);
    tmrDog.setInterval(500);
}

void TimerLink::tmrDog_Timer()
{
    tmrDog.setEnabled(false);
    TimedOut = true;
}

void TimerLink::tmrWait_Timer()
{
    tmrWait.setEnabled(false);
    WaitDone = true;
}

void TimerLink::letEventsRun(bool mayBlock)
{
    QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents;
    if (mayBlock)
        flags |= QEventLoop::WaitForMoreEvents;
    QCoreApplication::processEvents(flags);
    // On Windows a pass that takes the wake-up of an event posted by another
    // thread (a fast timer's tick, the port's completions) returns before
    // handing the event out; the next pass would hand it out and then sleep
    // until some other message, long after the event that ended the wait.
    QCoreApplication::sendPostedEvents();
}

void TimerLink::abandon()
{
    m_abandoned = true;
    tmrDog.setEnabled(false);
    tmrWait.setEnabled(false);
    comPERLO.setPortOpen(false);
}

void TimerLink::Preamble(SerialControl::InputModeKind mode, const char *command)
{
    qCDebug(lcTraffic) << "command" << command;
    comPERLO.setInputMode(mode);
    comPERLO.setInBufferCount(0);
    comPERLO.Output(QByteArray(command));
}

void TimerLink::Pause(qint16 ms)
{
    WaitDone = false;
    tmrWait.setInterval(ms);
    tmrWait.setEnabled(true);
    while (!WaitDone && !m_abandoned)
        letEventsRun(true);
}

qint16 TimerLink::WaitReply(ReplyText &reply)
{
    reply.clear();
    TimedOut = false;
    tmrDog.setEnabled(true);
    while (!(reply.hasEr() || reply.hasOk() || TimedOut) && !m_abandoned) {
        reply.append(comPERLO.Input());
        letEventsRun(!reply.hasMarker());
    }
    tmrDog.setEnabled(false);

    qint16 status = StatusUnexpected;
    if (reply.hasOk())
        status = StatusOk;
    else if (reply.hasEr())
        status = StatusRefused;
    else if (TimedOut)
        status = StatusTimedOut;
    qCDebug(lcTraffic) << "reply" << reply.text() << "status" << status;
    return status;
}

QString TimerLink::StatusText(qint16 status)
{
    switch (status) {
    case StatusRefused:
        return QStringLiteral("Timer reproted Error");
    case StatusTimedOut:
        return QStringLiteral("I/O Timed Out");
    case StatusUnexpected:
        return QStringLiteral("Unexpected Error");
    default:
        return QStringLiteral("Undefined Error");
    }
}

qint16 TimerLink::ReadVersion()
{
    ReplyText reply;
    Preamble(SerialControl::InputModeText, "/V");
    const qint16 status = WaitReply(reply);
    m_view->setVersionText(status == StatusOk ? versionFromReply(reply.text())
                                              : QStringLiteral("N/A"));
    ProbeGeneration();
    return status;
}

void TimerLink::ProbeGeneration()
{
    ReplyText reply;
    Preamble(SerialControl::InputModeText, "/Z");
    const FlightParams::Generation generation =
            WaitReply(reply) == StatusOk ? FlightParams::SixteenByte : FlightParams::EightByte;
    LastParam = generation.LastParam;
    BlockLen = generation.BlockLen;
    for (int i = 0; i <= FlightParams::HighestRow; ++i)
        m_view->setRowInUse(i, i <= LastParam);
}

bool TimerLink::ReadParams()
{
    TimedOut = false;
    Preamble(SerialControl::InputModeBinary, "/D");
    tmrDog.setEnabled(true);
    while (!(comPERLO.InBufferCount() > BlockLen - 1 || TimedOut) && !m_abandoned)
        letEventsRun(true);
    if (comPERLO.InBufferCount() < BlockLen - 1)
        return false;

    const QByteArray block = comPERLO.Input();
    qCDebug(lcTraffic) << "block" << block.toHex(' ');
    const qint16 lastParam = LastParam;
    // An 8-byte block one byte short has no "Autorun Mode" byte to load:
    // taken as a failed read, like any block too short for the rows in use.
    const auto values = FlightParams::decodeBlock(block, lastParam);
    if (!values)
        return false;
    for (int i = 0; i <= lastParam; ++i)
        m_view->setParamValue(i, values->at(i));
    return true;
}

qint16 TimerLink::WriteParams()
{
    Preamble(SerialControl::InputModeText, "/P");
    Pause(100);
    for (int i = 0; i < BlockLen; ++i) {
        Pause(5);
        const int value = i > LastParam ? 0 : m_view->paramValue(i);
        comPERLO.Output(QByteArray(1, char(quint8(value))));
    }
    ReplyText reply;
    return WaitReply(reply);
}

std::optional<qint32> shutterWatchdogMs(int shutterSpeed, int savedInterval)
{
    if (savedInterval < std::numeric_limits<qint16>::min()
        || savedInterval > std::numeric_limits<qint16>::max())
        return std::nullopt;
    qint32 product = 0;
    qint32 sum = 0;
    if (__builtin_mul_overflow(qint32(shutterSpeed), qint32(100), &product)
        || __builtin_add_overflow(product, qint32(savedInterval), &sum))
        return std::nullopt;
    return sum;
}

qint16 TimerLink::TestShutter()
{
    const int saved = tmrDog.Interval();
    const auto extended =
            shutterWatchdogMs(m_view->paramValue(FlightParams::ShutterSpeedRow), saved);
    // A watchdog that cannot be computed cannot bound the exchange: don't start it.
    if (!extended || *extended <= 0)
        return StatusUnexpected;
    tmrDog.setInterval(*extended);
    Preamble(SerialControl::InputModeText, "/S");
    ReplyText reply;
    const qint16 status = WaitReply(reply);
    tmrDog.setInterval(saved);
    return status;
}
