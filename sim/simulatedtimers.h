#ifndef SIMULATEDTIMERS_H
#define SIMULATEDTIMERS_H

#include <QHash>
#include <QIODevice>
#include <QObject>
#include <QString>

class PerloSim;
class ProgramEnd;

// Sound simulated timers inside the program, for trying it without one: the
// port named "sim" (or "sim:16") is a timer of the 16-byte generation, "sim:8"
// one of the 8-byte generation. Each answers at 2400 baud and keeps what Set
// wrote for as long as the program runs.
class SimulatedTimers : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // What a simulated timer says to "/V", so that the user can tell.
    static QByteArray versionOf(int blockLen);
    // The generation `device` names, or 0 when it names no simulated timer.
    static int blockLenOf(const QString &device);

    // The line to the simulated timer `device` names, or nullptr when it names none.
    QIODevice *lineFor(const QString &device);

private:
    struct Timer
    {
        PerloSim *sim;
        ProgramEnd *programEnd;
    };
    QHash<int, Timer> m_timers;
};

#endif
