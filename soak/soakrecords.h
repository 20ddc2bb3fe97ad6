#ifndef SOAKRECORDS_H
#define SOAKRECORDS_H

#include "expectation.h"
#include "flightparams.h"
#include "perlosim.h"

#include <QStringList>

#include <array>

inline constexpr qint64 Ms = 1000000; // in ns

struct SoakOptions
{
    quint64 seed = 0;
    double minutes = 1;
    bool replay = false; // every step printed as it starts
};

// What the window must look like, kept by the soak beside the real one from
// the enabling rules and the outcome of every action.
struct WindowModel
{
    int port = 1;
    bool serial = true, connect = true, params = false, get = true, set = false, shutter = true;
    int lastRowInUse = FlightParams::HighestRow;
    std::array<int, FlightParams::RowCount> values{};
    std::array<bool, FlightParams::RowCount> shown{}; // the box has text
};

// Both sides of the line during one action.
struct LineRecord
{
    QList<PerloSim::Received> received; // what the timer got
    QList<PerloSim::Sent> sent; // what it sent
    QStringList traffic; // the program's own log of the line
    QList<qint64> trafficNs;
    bool changed = false; // the line went or came
    int changesAtStart = 0;
};

// One action as it went: the timer's side, the program's side, the boxes.
struct ActionRecord
{
    qint64 startNs = 0, endNs = 0, boxNs = 0, closedNs = 0;
    QStringList boxes;
    LineRecord line;
    TimerFacts facts, factsDuring;
    bool changedDuring = false;
    // The time the machine kept the window's and the timer's threads waiting to run.
    qint64 windowHeldNs = 0, timerHeldNs = 0;
    bool replyingAtStart = false;
    std::array<int, FlightParams::RowCount> rowsAtPress{};
    int blockLen = 0, lastParam = 0; // the program's generation when it was pressed
    QString device; // what the chosen port stood for when it was pressed
    int port = 0; // the port clicked, for a port choice
    bool up = true; // the way a step went
};

#endif
