#ifndef EXPECTATION_H
#define EXPECTATION_H

#include "schedule.h"

#include <QByteArray>
#include <QStringList>

// The timer as the soak set it up, for one exchange.
struct TimerFacts
{
    TimerBehaviour behaviour;
    int blockLen = 16; // its generation
    QByteArray block; // what it stores, 16 bytes
    QByteArray version;
    bool paced = true;
    // How far from the watchdog a reply must be complete (or begin) for its
    // outcome to be certain; in between either may come. Widened by the time
    // the machine held the window's or the timer's thread back.
    int graceMs = 100;
};

// Outcomes an exchange may have, as a set.
enum Outcome : unsigned { Ok = 1, Refused = 2, TimedOut = 4, Unexpected = 8, Any = 15 };

// "/V", "/Z", "/P" or "/S", answered by `timer` and waited for `watchdogMs`.
unsigned textOutcomes(char command, const TimerFacts &timer, int watchdogMs);
// "/D": Ok when the link takes a block for rows 0..lastParam, TimedOut when not.
unsigned blockOutcomes(const TimerFacts &timer, int blockLen, int lastParam, int watchdogMs);

// The texts a box may show, for each outcome of an action's exchanges.
QString statusText(unsigned outcome);
QStringList failureTexts(const QString &heading, unsigned outcomes);

#endif
