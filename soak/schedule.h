#ifndef SCHEDULE_H
#define SCHEDULE_H

#include "perlosim.h"

#include <QByteArray>
#include <QString>

// Numbers from a seed, the same on every system and compiler (splitmix64).
class SoakRandom
{
public:
    explicit SoakRandom(quint64 seed) : m_state(seed) { }
    quint64 next();
    int below(int n) { return int(next() % quint64(n)); }
    bool percent(int p) { return below(100) < p; }

private:
    quint64 m_state;
};

enum class Delay { None, JustBefore, JustAfter };

// What the timer does with the commands it gets.
struct TimerBehaviour
{
    PerloSim::Fault fault = PerloSim::Fault::None;
    Delay delay = Delay::None;
    char refused = 0; // this one command answered "ER"

    QString name() const;
    // The sim's wait before each reply.
    int replyDelayMs() const;
};

enum class Action { ChoosePort, Connect, Step, Type, Set, Retrieve, Shutter, FreshWindow, Idle };
QString actionName(Action action);
// Connect, Set, Retrieve and Test Shutter: the actions that talk to the timer.
bool isExchange(Action action);

// One step of the run: an action, what the timer does meanwhile, and what
// happens during it. Every step takes the same count of numbers from the
// seed, whatever it turns out to do, so that a seed always gives the same
// schedule.
struct Step
{
    Action action = Action::Idle;
    bool timersPort = true; // ChoosePort: where the timer is now, else the other port
    int row = 0;
    bool up = true;
    int repeat = 1;
    bool impatient = false; // no wait for the line to fall quiet first
    int thinkMs = 0;
    int readMs = 0; // how long a box stays up

    bool changeBehaviour = false;
    TimerBehaviour behaviour;
    bool newBlock = false;
    QByteArray block; // 16 bytes
    bool switchGeneration = false; // honoured only while disconnected
    bool emptyLineListed = true; // the port with nothing behind it

    // During the action.
    bool barrage = false;
    int closeAfterMs = -1;
    int hangUpAfterBytes = 0;
    int hangUpDelayMs = 0;
    bool changeDuring = false;
    int changeDuringMs = 0;
    TimerBehaviour during;
    // After a hang-up, when and where the line comes back.
    int comeBackMs = 0;
    bool comeBackElsewhere = false;
    int idleMs = 0;
    quint64 inputSeed = 0;
};

class Schedule
{
public:
    explicit Schedule(quint64 seed) : m_random(seed) { }
    Step next();

private:
    TimerBehaviour drawBehaviour();
    QByteArray drawBlock();

    SoakRandom m_random;
};

#endif
