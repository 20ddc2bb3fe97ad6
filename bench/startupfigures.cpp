#include "startupfigures.h"
#include "benchclock.h"
#include "frmmain.h"
#include "stopwatchicon.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {

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
                paintedNs = PerloSim::nowNs();
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    QWidget *m_window;
};

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

} // namespace

int startupProbe(int argc, char *argv[])
{
    const qint64 mainNs = PerloSim::nowNs();
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
        const qint64 spawnNs = PerloSim::nowNs();
        process.start(QCoreApplication::applicationFilePath(), { StartupProbeOption });
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
        const qint64 spawnNs = PerloSim::nowNs();
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
                lastRunNs = PerloSim::nowNs();
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
