// ruru-bench: how closely the link keeps its timings and what its waits cost,
// measured against the simulated timer on a real pseudo-terminal. Prints one
// table and exits with 1 when a goal is missed. Takes well under a minute.
//
//   cmake --build build --target ruru-bench && ./build/bench/ruru-bench

#include "cpuclock.h"
#include "flightparams.h"
#include "frmmain.h"
#include "perlosim.h"
#include "pollingshutter.h"
#include "pseudoterminal.h"
#include "rowsview.h"
#include "simthread.h"
#include "stopwatchicon.h"
#include "timerfixture.h"
#include "timerlink.h"
#include "wirelog.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

// The steady clock of the sim's timestamps; CLOCK_MONOTONIC, so it also
// compares across processes.
qint64 nowNs()
{
    return PerloSim::nowNs();
}

double msSince(qint64 startNs)
{
    return double(nowNs() - startNs) / 1e6;
}

// ---------------------------------------------------------------- the table

struct Stats
{
    qsizetype n = 0;
    double min = 0, median = 0, p99 = 0, max = 0;
};

Stats statsOf(QList<double> samples)
{
    Stats s;
    s.n = samples.size();
    if (s.n == 0)
        return s;
    std::sort(samples.begin(), samples.end());
    s.min = samples.first();
    s.max = samples.last();
    s.median = (samples[(s.n - 1) / 2] + samples[s.n / 2]) / 2;
    s.p99 = samples[qsizetype(std::ceil(0.99 * double(s.n))) - 1]; // nearest rank
    return s;
}

struct Row
{
    QString figure;
    QString goal;
    QList<double> samples;
    // Whether the samples meet the goal; none for figures shown for comparison.
    std::function<bool(const Stats &)> met;
    int failures = 0; // exchanges that went wrong and gave no sample

    bool hasGoal() const { return bool(met); }
    bool passed() const { return failures == 0 && !samples.isEmpty() && met(statsOf(samples)); }
};

void printTable(const QList<Row> &rows)
{
    std::printf("%-48s %-24s %4s %9s %9s %9s %9s  %s\n", "Figure", "Goal", "n", "min", "median",
                "p99", "max", "Result");
    for (const Row &row : rows) {
        const Stats s = statsOf(row.samples);
        const char *result = !row.hasGoal() ? "-" : row.passed() ? "PASS" : "MISS";
        std::printf("%-48s %-24s %4lld %9.3f %9.3f %9.3f %9.3f  %s", qPrintable(row.figure),
                    qPrintable(row.goal), qlonglong(s.n), s.min, s.median, s.p99, s.max, result);
        if (row.failures)
            std::printf(" (%d failed)", row.failures);
        std::printf("\n");
    }
}

void progress(const char *what)
{
    std::fprintf(stderr, "ruru-bench: %s\n", what);
}

// ---------------------------------------------------------------- devices

// The parameter rows as the link sees them, without a window.
struct BenchView : RowsView
{
    BenchView() { values = { 25, 10, 3, 4, 20, 5, 25, 1, 10, 2, 30 }; }
};

// Keeps the serial end of a pseudo-terminal open, as a cabled device keeps
// the line up: the far end then never sees a hang-up between two opens by the
// program (the sim would look for the program again only 20 ms later).
class LineHolder
{
public:
    explicit LineHolder(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY))
    {
    }
    ~LineHolder() { ::close(m_fd); }
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
    BenchSim() : m_line(portPath()) { useAsCom1(portPath()); }
    QList<PerloSim::Received> received()
    {
        QList<PerloSim::Received> copy;
        call([&](PerloSim &sim) { copy = sim.received(); });
        return copy;
    }

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

    MarkerResponder()
    {
        m_master = openPseudoTerminal(&m_path);
        if (m_master < 0)
            qFatal("cannot make a pseudo-terminal");
        m_line = std::make_unique<LineHolder>(m_path);
        m_thread = std::thread([this] { serve(); });
    }

    ~MarkerResponder()
    {
        m_stop = true;
        m_thread.join();
        m_line.reset();
        ::close(m_master);
    }

    QString portPath() const { return m_path; }
    int replies() const { return m_replies; }
    qint64 lastReplyNs() const { return m_lastReplyNs; }

private:
    void serve()
    {
        static const QByteArray reply = "V2.10\r\nOK";
        int pending = 0;
        while (!m_stop) {
            pollfd p{ m_master, POLLIN, 0 };
            char buffer[64];
            if (::poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN))
                continue;
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            for (pending += int(qMax<ssize_t>(n, 0)); pending >= 2; pending -= 2) {
                std::this_thread::sleep_for(Delay);
                m_lastReplyNs = nowNs();
                ++m_replies;
                [[maybe_unused]] const ssize_t written =
                        ::write(m_master, reply.constData(), size_t(reply.size()));
            }
        }
    }

    int m_master = -1;
    QString m_path;
    std::unique_ptr<LineHolder> m_line;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;
    std::atomic<int> m_replies = 0;
    std::atomic<qint64> m_lastReplyNs = 0;
};

// ---------------------------------------------------------------- figures

// 1. Processor time of a 3 s "Test Shutter" wait that runs to its watchdog,
// beside the same wait as a polling loop. Pairs alternate so that a change of
// load on the machine hits both designs alike.
QList<Row> cpuWhileWaiting(TimerLink &link, BenchView &view)
{
    constexpr int ShutterSpeed = 25; // 2.5 s on top of the 500 ms watchdog
    view.values[FlightParams::ShutterSpeedRow] = ShutterSpeed;
    Row blocking{ "1a. CPU, 3 s shutter wait, link [% core]", "p99 < 2", {}, [](const Stats &s) {
                     return s.p99 < 2;
                 } };
    Row polling{ "1b. CPU, 3 s shutter wait, polling [% core]", "(comparison)", {}, {} };
    Row ratio{ "1c. CPU polling / link [x]", "min >= 50", {}, [](const Stats &s) {
                  return s.min >= 50;
              } };

    auto coreShare = [](Row &row, const std::function<qint16()> &wait) {
        const qint64 wallStart = nowNs();
        const qint64 cpuStart = processCpuNs();
        const qint16 status = wait();
        const double cpu = double(processCpuNs() - cpuStart);
        const double wall = double(nowNs() - wallStart);
        if (status != TimerLink::StatusTimedOut || wall < 3e9) {
            ++row.failures;
            return 0.0;
        }
        row.samples << 100 * cpu / wall;
        return row.samples.last();
    };
    for (int i = 0; i < 4; ++i) {
        const double linkShare = coreShare(blocking, [&] { return link.TestShutter(); });
        const double pollShare =
                coreShare(polling, [&] { return pollingTestShutter(link, ShutterSpeed); });
        if (linkShare > 0 && pollShare > 0)
            ratio.samples << pollShare / linkShare;
    }
    return { blocking, polling, ratio };
}

// 8. A line whose far end hangs up while the link waits for a reply: the
// process's processor time over that wait and the idle second after it.
Row deadLineCpu()
{
    Row row{ "8. CPU, dead line: wait + 1 s after [% core]", "p99 < 2", {}, [](const Stats &s) {
                return s.p99 < 2;
            } };
    for (int i = 0; i < 4; ++i) {
        BenchSim sim;
        sim.call([](PerloSim &s) {
            s.setFault(PerloSim::Fault::Silent);
            QTimer::singleShot(100, &s, &PerloSim::hangUp);
        });
        BenchView view;
        TimerLink link(&view);
        link.Form_Load();
        if (!link.comPERLO.setPortOpen(true)) {
            ++row.failures;
            continue;
        }
        const qint64 wallStart = nowNs();
        const qint64 cpuStart = processCpuNs();
        link.comPERLO.Output("/V");
        ReplyText reply;
        const qint16 status = link.WaitReply(reply);
        QEventLoop idle;
        QTimer::singleShot(1000, &idle, &QEventLoop::quit);
        idle.exec();
        if (status != TimerLink::StatusTimedOut || link.comPERLO.PortOpen()) {
            ++row.failures;
            continue;
        }
        row.samples << 100 * double(processCpuNs() - cpuStart) / double(nowNs() - wallStart);
    }
    return row;
}

// 2. How late the watchdog ends a wait on a silent device: many short
// armings, and a few of the real 500 ms.
QList<Row> watchdogLateness(TimerLink &link)
{
    auto lateness = [&](const char *figure, int intervalMs, int count) {
        Row row{ figure, "p99 < 5", {}, [](const Stats &s) { return s.p99 < 5; } };
        link.tmrDog.setInterval(intervalMs);
        ReplyText reply;
        for (int i = 0; i < count; ++i) {
            const qint64 start = nowNs();
            if (link.WaitReply(reply) == TimerLink::StatusTimedOut)
                row.samples << msSince(start) - intervalMs;
            else
                ++row.failures;
        }
        return row;
    };
    const int normal = link.tmrDog.Interval();
    QList<Row> rows{ lateness("2a. Watchdog 20 ms, late by [ms]", 20, 200),
                     lateness("2b. Watchdog 500 ms, late by [ms]", 500, 6) };
    link.tmrDog.setInterval(normal);
    return rows;
}

// 3. The pauses between the bytes of a block and after "/P".
QList<Row> pauseAccuracy(TimerLink &link)
{
    auto pauses = [&](int ms, int count) {
        QList<double> lengths;
        for (int i = 0; i < count; ++i) {
            const qint64 start = nowNs();
            link.Pause(qint16(ms));
            lengths << msSince(start);
        }
        return lengths;
    };
    return { { "3a. Pause(5) [ms]", "min >= 5, p99 < 7", pauses(5, 300),
               [](const Stats &s) { return s.min >= 5 && s.p99 < 7; } },
             { "3b. Pause(100) [ms]", "min >= 100", pauses(100, 20),
               [](const Stats &s) { return s.min >= 100; } } };
}

// 4. "Set" on the 16-byte firmware, from the sim's own receive times: the
// "P" of the command to the last byte of the block.
Row setDuration(BenchSim &sim, TimerLink &link)
{
    constexpr double FloorMs = 100 + 16 * 5;
    Row row{ "4. Set, \"P\" to last block byte [ms]", "180 <= all <= 198", {}, [=](const Stats &s) {
                return s.min >= FloorMs && s.max <= FloorMs * 1.1;
            } };
    if (link.ReadVersion() != TimerLink::StatusOk || link.BlockLen != 16) {
        ++row.failures;
        return row;
    }
    for (int i = 0; i < 12; ++i) {
        sim.call([](PerloSim &s) { s.clearReceived(); });
        const qint16 status = link.WriteParams();
        const QList<PerloSim::Received> got = sim.received();
        const qsizetype p = commandIndex(got, 'P');
        // Exactly "/P" and the 16 block bytes.
        if (status != TimerLink::StatusOk || p < 0 || got.size() != p + 17) {
            ++row.failures;
            continue;
        }
        row.samples << double(got[p + 16].ns - got[p].ns) / 1e6;
    }
    return row;
}

// 5. From the moment the device writes a reply with its marker to the moment
// WaitReply hands back the status.
Row replyLatency()
{
    Row row{ "5. Reply latency, marker out to status [ms]", "p99 < 2", {}, [](const Stats &s) {
                return s.p99 < 2;
            } };
    MarkerResponder device;
    useAsCom1(device.portPath());
    BenchView view;
    TimerLink link(&view);
    link.Form_Load();
    if (!link.comPERLO.setPortOpen(true)) {
        ++row.failures;
        return row;
    }
    ReplyText reply;
    for (int i = 0; i < 300; ++i) {
        link.comPERLO.setInputMode(SerialControl::InputModeText);
        link.comPERLO.setInBufferCount(0);
        link.comPERLO.Output("/V");
        const qint16 status = link.WaitReply(reply);
        const qint64 doneNs = nowNs();
        if (status != TimerLink::StatusOk || device.replies() != i + 1) {
            ++row.failures;
            continue;
        }
        row.samples << double(doneNs - device.lastReplyNs()) / 1e6;
    }
    return row;
}

// 6. "Connect" in the window against a line-paced 16-byte sim: from the click
// to the handler's return with "Test Shutter" enabled and "Set" disabled.
Row connectDuration()
{
    // "/V", "V2.10\r\nOK", "/Z", "OK", "/D" and the block, 10 bits a byte at 2400 baud.
    constexpr int BytesExchanged = 2 + 9 + 2 + 2 + 2 + 16;
    constexpr double FloorMs = BytesExchanged * 10 * 1000.0 / 2400;
    Row row{ "6. Connect, click to final state [ms]",
             QStringLiteral("< %1 (%2 + 50)").arg(FloorMs + 50).arg(FloorMs),
             {},
             [=](const Stats &s) { return s.max < FloorMs + 50; } };
    BenchSim sim;
    for (int i = 0; i < 12; ++i) {
        frmMain window;
        window.show();
        const qint64 showNs = nowNs();
        while (!(window.windowHandle() && window.windowHandle()->isExposed())
               && msSince(showNs) < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        auto *connect = window.findChild<QPushButton *>("btnConnect");
        auto *set = window.findChild<QPushButton *>("btnSet");
        auto *shutter = window.findChild<QPushButton *>("btnShutter");
        bool boxShown = false;
        QTimer::singleShot(3000, &window, [&] {
            if (QWidget *box = QApplication::activeModalWidget()) {
                boxShown = true;
                box->close();
            }
        });

        const qint64 start = nowNs();
        connect->click();
        const double ms = msSince(start);
        if (boxShown || !shutter->isEnabled() || set->isEnabled())
            ++row.failures;
        else
            row.samples << ms;
    }
    return row;
}

// 7. Start-up. The window's own start-up is timed from inside by this program
// run as a probe (same libraries, same window, built as the program builds
// it); the real program is watched from outside until it goes idle.
class FirstFrame : public QObject
{
public:
    explicit FirstFrame(QWidget *window) : m_window(window) { qApp->installEventFilter(this); }
    qint64 paintedNs = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // The expose paints the window's first frame; the loop is back once it is drawn.
        if (paintedNs == 0 && event->type() == QEvent::Expose && watched == m_window->windowHandle()
            && m_window->windowHandle()->isExposed()) {
            QTimer::singleShot(0, this, [this] {
                paintedNs = nowNs();
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    QWidget *m_window;
};

constexpr char ProbeOption[] = "--startup-probe";

int startupProbe(int argc, char *argv[])
{
    const qint64 mainNs = nowNs();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("RURUZidura"));
    QApplication::setWindowIcon(stopwatchIcon());
    frmMain window;
    FirstFrame firstFrame(&window);
    window.show();
    app.exec();
    std::printf("%lld %lld\n", qlonglong(mainNs), qlonglong(firstFrame.paintedNs));
    return 0;
}

QProcessEnvironment offscreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

// Processor time of every thread of a process so far, in ns; -1 when the
// kernel does not tell.
qint64 cpuNsOf(qint64 pid)
{
    qint64 total = -1;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks + '/' + task + "/schedstat");
        if (file.open(QIODevice::ReadOnly))
            total = qMax<qint64>(total, 0) + file.readAll().split(' ').value(0).toLongLong();
    }
    return total;
}

double peakResidentMb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

QList<Row> startUp()
{
    auto under = [](double limit) { return [=](const Stats &s) { return s.p99 < limit; }; };
    Row probe{ "7a. Start-up, spawn to first frame [ms]", "p99 < 300", {}, under(300) };
    Row inProcess{ "7b.   of which main() to first frame [ms]", "(part of 7a)", {}, {} };
    Row settle{ "7c. ruruzidura, spawn to idle [ms]", "p99 < 300", {}, under(300) };
    Row memory{ "7d. ruruzidura, peak resident [MB]", "max < 60", {}, [](const Stats &s) {
                   return s.max < 60;
               } };

    for (int i = 0; i < 8; ++i) {
        QProcess process;
        process.setProcessEnvironment(offscreen());
        const qint64 spawnNs = nowNs();
        process.start(QCoreApplication::applicationFilePath(), { ProbeOption });
        const QList<QByteArray> times = process.waitForFinished(10000)
                ? process.readAllStandardOutput().trimmed().split(' ')
                : QList<QByteArray>();
        const qint64 mainNs = times.value(0).toLongLong();
        const qint64 paintedNs = times.value(1).toLongLong();
        if (mainNs <= 0 || paintedNs <= 0) {
            ++probe.failures;
            continue;
        }
        probe.samples << double(paintedNs - spawnNs) / 1e6;
        inProcess.samples << double(paintedNs - mainNs) / 1e6;
    }

    // Idle: no thread of the program has run for QuietMs.
    constexpr double QuietMs = 300;
    for (int i = 0; i < 5; ++i) {
        QProcess process;
        process.setProcessEnvironment(offscreen());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        const qint64 spawnNs = nowNs();
        process.start(QStringLiteral(RURUZIDURA_PATH), {});
        if (!process.waitForStarted(5000)) {
            ++settle.failures;
            continue;
        }
        const qint64 pid = process.processId();
        qint64 cpu = -1;
        qint64 lastRunNs = spawnNs;
        while (msSince(lastRunNs) < QuietMs && msSince(spawnNs) < 10000) {
            const qint64 now = cpuNsOf(pid);
            if (now < 0)
                break;
            if (now != cpu) {
                cpu = now;
                lastRunNs = nowNs();
            }
            QThread::usleep(1000);
        }
        if (process.state() == QProcess::Running && msSince(lastRunNs) >= QuietMs) {
            settle.samples << double(lastRunNs - spawnNs) / 1e6;
            memory.samples << peakResidentMb(pid);
        } else {
            ++settle.failures;
        }
        process.kill();
        process.waitForFinished(5000);
    }
    return { probe, inProcess, settle, memory };
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], ProbeOption) == 0)
        return startupProbe(argc, argv);

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("ruru-bench: Qt %s, %d cores, %s %s\n", qVersion(), QThread::idealThreadCount(),
                qPrintable(QSysInfo::kernelType()), qPrintable(QSysInfo::kernelVersion()));

    QList<Row> rows;
    {
        BenchSim sim;
        BenchView view;
        TimerLink link(&view);
        link.Form_Load();
        if (!link.comPERLO.setPortOpen(true))
            qFatal("cannot open the simulated line: %s", qPrintable(link.comPERLO.openError()));

        sim.call([](PerloSim &s) { s.setFault(PerloSim::Fault::Silent); });
        progress("1/8 processor time while waiting (about 25 s)");
        rows += cpuWhileWaiting(link, view);
        progress("2/8 watchdog");
        rows += watchdogLateness(link);
        progress("3/8 pauses");
        rows += pauseAccuracy(link);
        sim.call([](PerloSim &s) { s.setFault(PerloSim::Fault::None); });
        progress("4/8 set");
        rows += setDuration(sim, link);
    }
    progress("5/8 reply latency");
    rows += replyLatency();
    progress("6/8 connect");
    rows += connectDuration();
    progress("7/8 start-up");
    rows += startUp();
    progress("8/8 dead line");
    rows += deadLineCpu();

    printTable(rows);
    const bool allMet = std::all_of(rows.cbegin(), rows.cend(),
                                    [](const Row &row) { return !row.hasGoal() || row.passed(); });
    return allMet ? 0 : 1;
}
