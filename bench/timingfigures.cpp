#include "timingfigures.h"
#include "benchclock.h"
#include "benchdevices.h"
#include "frmmain.h"
#include "timerfixture.h"
#include "timerlink.h"
#include "wirelog.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

// 2. How late the watchdog ends a wait on a silent device: many short
// armings, and a few of the real 500 ms.
QList<Row> watchdogLateness(TimerLink &link)
{
    auto lateness = [&](const char *figure, int intervalMs, int count) {
        Row row{ figure, "p99 < 5", {}, [](const Stats &s) { return s.p99 < 5; } };
        link.tmrDog.setInterval(intervalMs);
        ReplyText reply;
        for (int i = 0; i < count; ++i) {
            const qint64 start = PerloSim::nowNs();
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
            const qint64 start = PerloSim::nowNs();
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
    BenchLink bench;
    TimerLink &link = bench.link;
    if (!bench.open()) {
        ++row.failures;
        return row;
    }
    ReplyText reply;
    for (int i = 0; i < 300; ++i) {
        link.comPERLO.setInputMode(SerialControl::InputModeText);
        link.comPERLO.setInBufferCount(0);
        link.comPERLO.Output("/V");
        const qint16 status = link.WaitReply(reply);
        const qint64 doneNs = PerloSim::nowNs();
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
        const qint64 showNs = PerloSim::nowNs();
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

        const qint64 start = PerloSim::nowNs();
        connect->click();
        const double ms = msSince(start);
        if (boxShown || !shutter->isEnabled() || set->isEnabled())
            ++row.failures;
        else
            row.samples << ms;
    }
    return row;
}
