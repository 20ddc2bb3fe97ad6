#ifndef TIMERFIXTURE_H
#define TIMERFIXTURE_H

#include "perlosim.h"
#include "rowsview.h"
#include "simthread.h"
#include "timerlink.h"

#include <QTemporaryDir>

#include <array>
#include <functional>
#include <memory>

using Script = QList<PerloSim::Chunk>;

// A simulated timer on a thread of its own, which takes every byte as it
// comes whatever the link's thread does, published as COM1 through a link
// that goes when the timer hangs up (a freed pseudo-terminal number may soon
// be another's); and the link, its port still closed.
struct SimLink
{
    explicit SimLink(const std::function<void(PerloSim &)> &setUp = {});
    ~SimLink() { qunsetenv("RURUZIDURA_COM1"); }
    bool open() { return link.comPERLO.setPortOpen(true); }
    QByteArray received();

    QTemporaryDir dir;
    SimThread sim;
    RowsView view;
    TimerLink link{ &view };
};

void useAsCom1(const QString &path);
// A wait that spins burns a whole core, and still at least a third of one
// beside two busy processes; a wait that sleeps in the event loop costs only
// the work around it (painting, port look-ups: at most about 150 ms under the
// sanitizers on a loaded machine) and almost nothing per second of waiting.
inline bool sleptWhileWaiting(qint64 cpuMs, qint64 wallMs)
{
    return cpuMs <= 150 + wallMs / 10;
}

// A 16-byte parameter block, rows 0 to 10 first.
QByteArray blockOf(const QList<int> &rows);

#endif
