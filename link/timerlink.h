#ifndef TIMERLINK_H
#define TIMERLINK_H

#include "linktimer.h"
#include "replytext.h"
#include "serialcontrol.h"

#include <QObject>
#include <QString>

#include <optional>

class LinkView;

// The conversation with the camera timer: the port, the watchdog and pause
// timers, and the exchanges for "/V", "/Z", "/D", "/P" and "/S".
// Every wait lets window events run, so the caller must keep the user from
// starting a second exchange meanwhile.
class TimerLink : public QObject
{
    Q_OBJECT
public:
    enum Status : qint16 {
        StatusOk = 0,
        StatusRefused = 1,
        StatusTimedOut = 2,
        StatusUnexpected = 3
    };

    explicit TimerLink(LinkView *view, QObject *parent = nullptr);

    // The link's share of the window's start-up: port 1, 500 ms watchdog.
    void Form_Load();

    qint16 WaitReply(ReplyText &reply);
    static QString StatusText(qint16 status);
    qint16 ReadVersion();
    void ProbeGeneration();
    bool ReadParams();
    qint16 WriteParams();
    qint16 TestShutter();
    void Pause(qint16 ms);

    // The window is going away: every wait returns at its next test and the
    // port is closed.
    void abandon();
    bool abandoned() const { return m_abandoned; }

    SerialControl comPERLO;
    LinkTimer tmrDog;
    LinkTimer tmrWait;
    bool TimedOut = false;
    bool WaitDone = false;
    qint16 LastParam = 0;
    qint16 BlockLen = 0;

private:
    void tmrDog_Timer();
    void tmrWait_Timer();
    void Preamble(SerialControl::InputModeKind mode, const char *command);
    // Runs the events already waiting; when `mayBlock`, sleeps in the event
    // loop until the next one arrives (data, a timer, input) instead of spinning.
    static void letEventsRun(bool mayBlock);

    LinkView *m_view;
    bool m_abandoned = false;
};

// The watchdog for a shutter test: shutter speed in tenths of a second on top
// of the saved interval; nothing when the saved interval does not fit 16 bits
// or the sum does not fit 32.
std::optional<qint32> shutterWatchdogMs(int shutterSpeed, int savedInterval);

#endif
