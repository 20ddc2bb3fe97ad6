#ifndef BENCHDEVICES_H
#define BENCHDEVICES_H

#include "flightparams.h"
#include "perlosim.h"
#include "rowsview.h"
#include "simthread.h"
#include "timerlink.h"

#include <QString>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

// The parameter rows the link sends, as a window would hold them.
constexpr std::array<int, FlightParams::RowCount> BenchValues = { 25, 10, 3,  4, 20, 5,
                                                                  25, 1,  10, 2, 30 };

// The link as the window sets it up, on COM1, with those rows; its port still
// closed.
struct BenchLink
{
    BenchLink()
    {
        view.values = BenchValues;
        link.Form_Load();
    }
    bool open() { return link.comPERLO.setPortOpen(true); }

    RowsView view;
    TimerLink link{ &view };
};

// Keeps the serial end of a pseudo-terminal open, as a cabled device keeps
// the line up: the far end then never sees a hang-up between two opens by the
// program (the sim would look for the program again only 20 ms later).
class LineHolder
{
public:
    explicit LineHolder(const QString &path);
    ~LineHolder();
    LineHolder(const LineHolder &) = delete;
    LineHolder &operator=(const LineHolder &) = delete;

private:
    int m_fd;
};

// The simulated timer on a thread of its own, so that its work takes no turn
// in the link's loop and its processor time is not the link's; published as
// COM1, with its line held up.
class BenchSim : public SimThread
{
public:
    BenchSim();
    QList<PerloSim::Received> received();

private:
    LineHolder m_line;
};

// A bare device for the reply latency, on its own pseudo-terminal and thread:
// a few ms after every two-byte command it writes a whole version reply at
// once, and notes the moment just before that write.
class MarkerResponder
{
public:
    static constexpr auto Delay = std::chrono::milliseconds(2);

    MarkerResponder();
    ~MarkerResponder();
    MarkerResponder(const MarkerResponder &) = delete;
    MarkerResponder &operator=(const MarkerResponder &) = delete;

    QString portPath() const { return m_path; }
    int replies() const { return m_replies; }
    qint64 lastReplyNs() const { return m_lastReplyNs; }

private:
    void serve();

    int m_master = -1;
    QString m_path;
    std::unique_ptr<LineHolder> m_line;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;
    std::atomic<int> m_replies = 0;
    std::atomic<qint64> m_lastReplyNs = 0;
};

#endif
