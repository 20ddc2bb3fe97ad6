#ifndef WINDOWBENCH_H
#define WINDOWBENCH_H

#include "frmmain.h"
#include "messageboxwatcher.h"
#include "perlosim.h"

#include <QList>
#include <QStringList>

#include <array>
#include <memory>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class UpDown;

// The real window, shown off-screen, with a simulated timer behind COM1 (and
// another behind COM2 when asked). The ports are published before the window
// is built, because the window names their devices as it is built. Message
// boxes are answered with OK and noted in `boxes`.
class WindowBench
{
public:
    explicit WindowBench(int ports = 1);
    ~WindowBench();

    // Starts the simulated timers (configure them before, if needed) and
    // shows the window; QVERIFY it.
    bool start();

    PerloSim &sim(int port = 1) { return m_sims.at(size_t(port - 1)); }
    frmMain &window() { return *m_window; }
    TimerLink &link() { return m_window->link(); }

    QGroupBox *frame(const char *name) const;
    QPushButton *button(const char *name) const;
    QRadioButton *portOption(int index) const;
    QLineEdit *versionBox() const;
    QLineEdit *box(int row) const;
    UpDown *spinner(int row) const;
    QToolButton *arrow(int row, const char *which) const; // "up" or "down"

    // A left click in the middle of the control. Returns once every handler
    // the click started, message boxes included, has ended.
    static void click(QWidget *widget);
    // A click, then a moment of idle event loop, so that whatever the click
    // left queued has run too, as it would before the user's next move.
    static void press(QWidget *widget);
    // press(), but should its handlers still run after `ms`, closes the
    // window, which ends every wait, and returns false.
    bool pressWithin(QWidget *widget, int ms);
    void stepUp(int row);
    void stepDown(int row);

    // "Connect" against a timer that answers: true when it ended connected
    // without any message.
    bool connectToTimer();

    QList<int> values() const;
    QStringList texts() const;

    MessageBoxWatcher boxes;

private:
    int m_ports;
    std::array<PerloSim, 2> m_sims;
    std::unique_ptr<frmMain> m_window;
};

// A parameter block of 16 bytes, rows 0 to 10 first.
QByteArray blockOf(const QList<int> &rows);
// Values as the boxes show them: plain decimal digits.
QStringList digits(const QList<int> &values);

#endif
