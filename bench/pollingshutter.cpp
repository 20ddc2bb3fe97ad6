#include "pollingshutter.h"
#include "timerlink.h"

#include <QCoreApplication>

qint16 pollingTestShutter(TimerLink &link, int shutterSpeed)
{
    const int saved = link.tmrDog.Interval();
    link.tmrDog.setInterval(shutterSpeed * 100 + saved);
    link.comPERLO.setInputMode(SerialControl::InputModeText);
    link.comPERLO.setInBufferCount(0);
    link.comPERLO.Output("/S");

    ReplyText reply;
    link.TimedOut = false;
    link.tmrDog.setEnabled(true);
    while (!reply.hasMarker() && !link.TimedOut) {
        reply.append(link.comPERLO.Input());
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    link.tmrDog.setEnabled(false);
    link.tmrDog.setInterval(saved);

    if (reply.hasOk())
        return TimerLink::StatusOk;
    return reply.hasEr() ? TimerLink::StatusRefused : TimerLink::StatusTimedOut;
}
