#ifndef WINDOWBENCH_H
#define WINDOWBENCH_H

#include "frmmain.h"
#include "messageboxwatcher.h"
#include "perlosim.h"
#include "updown.h"

#include <QLineEdit>
#include <QList>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <array>
#include <memory>

// The real window, shown off-screen, with simulated timers behind the first
// `ports` ports (published before the window is built, which names their
// devices as it is built). Message boxes are answered and noted in `boxes`;
// the cursor and the watchdog are sampled every 5 ms into `samples`.
class WindowBench
{
public:
    struct Sample
    {
        qint64 ns; // steady clock, as PerloSim::nowNs()
        bool busy; // the wait cursor is up
        int dogInterval;
    };

    explicit WindowBench(int ports = 1);
    ~WindowBench();

    // Starts the simulated timers (configure them before) and shows the
    // window; QVERIFY it.
    bool start();

    PerloSim &sim(int port = 1) { return m_sims.at(size_t(port - 1)); }
    frmMain &window() { return *m_window; }
    TimerLink &link() { return m_window->link(); }
    template<typename T = QWidget>
    T *find(const QString &name) const { return m_window->findChild<T *>(name); }
    QLineEdit *box(int row) const { return find<QLineEdit>(QStringLiteral("txtParam(%1)").arg(row)); }
    UpDown *spinner(int row) const { return find<UpDown>(QStringLiteral("udParam(%1)").arg(row)); }

    // A click, then a moment of idle event loop, as before the user's next
    // move. Returns once every handler the click started has ended.
    static void press(QWidget *widget);
    void press(const QString &name) { press(find(name)); }
    // A click; should its handlers still run after `ms`, closes the window,
    // which ends every wait, and returns false.
    bool clickWithin(const QString &name, int ms);
    void step(int row, bool up)
    {
        QTest::mouseClick(spinner(row)->findChild<QWidget *>(up ? "up" : "down"), Qt::LeftButton);
    }
    // "Connect" against a timer that answers: true when it ended connected
    // without any message.
    bool connectToTimer()
    {
        press("btnConnect");
        return boxes.seen.isEmpty() && find("fmeParams")->isEnabled() && link().comPERLO.PortOpen();
    }

    QList<int> values() const;
    QStringList texts() const;
    QList<Sample> busySamples() const;

    MessageBoxWatcher boxes;
    QList<Sample> samples;

private:
    int m_ports;
    std::array<PerloSim, 2> m_sims;
    std::unique_ptr<frmMain> m_window;
    QTimer m_sampler;
};

// A parameter block of 16 bytes, rows 0 to 10 first.
QByteArray blockOf(const QList<int> &rows);
// Values as the boxes show them: plain decimal digits.
QStringList digits(const QList<int> &values);

#endif
