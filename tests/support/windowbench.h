#ifndef WINDOWBENCH_H
#define WINDOWBENCH_H

#include "frmmain.h"
#include "messageboxwatcher.h"
#include "perlosim.h"
#include "updown.h"

#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <memory>

// The real window, off-screen, with simulated timers behind its ports. Boxes
// are answered into `boxes`; cursor and watchdog are sampled every 5 ms.
class WindowBench
{
public:
    struct Sample { qint64 ns; bool busy; int dogInterval; };

    WindowBench()
    {
        for (PerloSim &sim : m_sims)
            sim.setLinePaced(false);
        m_sampler.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_sampler, &QTimer::timeout, [this] {
            const QCursor *cursor = QGuiApplication::overrideCursor();
            samples.append({PerloSim::nowNs(), cursor && cursor->shape() == Qt::WaitCursor,
                            link().tmrDog.Interval()});
        });
    }
    ~WindowBench()
    {
        m_sampler.stop();
        m_window.reset();
        qunsetenv("RURUZIDURA_COM1");
        qunsetenv("RURUZIDURA_COM2");
    }
    // Starts the sims of the first `ports` ports, configured before, and shows
    // the window. Each sim is reached by a link of its own, which goes when the
    // sim hangs up: a freed pseudo-terminal number may soon be another's.
    bool start(int ports = 1)
    {
        for (int port = 1; port <= ports; ++port) {
            if (!sim(port).start() || !sim(port).makeLink(cable(port)))
                return false;
            qputenv(("RURUZIDURA_COM" + QByteArray::number(port)).constData(), QFile::encodeName(cable(port)));
        }
        m_window = std::make_unique<frmMain>();
        m_window->show();
        m_sampler.start(5);
        return QTest::qWaitForWindowExposed(m_window.get());
    }

    PerloSim &sim(int port = 1) { return m_sims.at(size_t(port - 1)); }
    QString cable(int port = 1) const { return m_dir.filePath(QStringLiteral("com%1").arg(port)); }
    frmMain &window() { return *m_window; }
    TimerLink &link() { return m_window->link(); }
    template<typename T = QWidget>
    T *find(const QString &name) const { return m_window->findChild<T *>(name); }
    bool enabled(const QString &name) const { return find(name)->isEnabled(); }
    QLineEdit *box(int row) const { return find<QLineEdit>(QStringLiteral("txtParam(%1)").arg(row)); }
    UpDown *spinner(int row) const { return find<UpDown>(QStringLiteral("udParam(%1)").arg(row)); }
    QString version() const { return find<QLineEdit>("txtVersion")->text(); }

    // Returns once every handler the click started has ended.
    void press(const QString &name)
    {
        QTest::mouseClick(find(name), Qt::LeftButton);
        QTest::qWait(20);
    }
    void step(int row, bool up)
    {
        QTest::mouseClick(spinner(row)->findChild<QWidget *>(up ? "up" : "down"), Qt::LeftButton);
    }
    bool connectToTimer()
    {
        press("btnConnect");
        return boxes.texts.isEmpty() && enabled("fmeParams") && link().comPERLO.PortOpen();
    }
    template<typename F>
    auto perRow(F f) const
    {
        QList<decltype(f(0))> all;
        for (int row = 0; row < FlightParams::RowCount; ++row)
            all.append(f(row));
        return all;
    }
    QList<int> values() const { return perRow([this](int row) { return spinner(row)->Value(); }); }
    QStringList texts() const { return perRow([this](int row) { return box(row)->text(); }); }
    QList<Sample> busySamples() const
    {
        QList<Sample> busy;
        std::copy_if(samples.cbegin(), samples.cend(), std::back_inserter(busy), [](const Sample &s) { return s.busy; });
        return busy;
    }

    MessageBoxWatcher boxes;
    QList<Sample> samples;

private:
    QTemporaryDir m_dir;
    std::array<PerloSim, 2> m_sims;
    std::unique_ptr<frmMain> m_window;
    QTimer m_sampler;
};

// A 16-byte parameter block, rows 0 to 10 first.
inline QByteArray blockOf(const QList<int> &rows)
{
    QByteArray block(PerloSim::MaxBlockLen, '\0');
    for (qsizetype i = 0; i < rows.size(); ++i)
        block[i] = char(quint8(rows[i]));
    return block;
}

inline QStringList digits(const QList<int> &values)
{
    QStringList texts;
    for (int v : values)
        texts << QString::number(v);
    return texts;
}

#endif
