#ifndef WINDOWBENCH_H
#define WINDOWBENCH_H

#include "frmmain.h"
#include "timerfixture.h"
#include "updown.h"

#include <QHash>
#include <QLineEdit>
#include <QSerialPort>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

// What the window shows: the port option chosen and the port, the frames and
// buttons enabled each in its own right, each row in use ('x', in the Base
// colour), greyed ('.', in the Button colour) or neither ('?'), and the version.
struct WindowState
{
    enum Control { Serial = 1, Connect = 2, Params = 4, Get = 8, Set = 16, Shutter = 32 };
    Q_DECLARE_FLAGS(Controls, Control)

    int com = 1;
    bool portOpen = false;
    Controls enabled;
    QString rows = QStringLiteral("xxxxxxxxxxx");
    QString version;

    WindowState with(Controls on) const { return { com, portOpen, enabled | on, rows, version }; }
    WindowState without(Controls off) const
    {
        return { com, portOpen, enabled & ~off, rows, version };
    }
    WindowState portClosed() const { return { com, false, enabled, rows, version }; }
    bool operator==(const WindowState &other) const;
};
Q_DECLARE_OPERATORS_FOR_FLAGS(WindowState::Controls)
// For QCOMPARE: "COM1 open; fmeSerial- btnConnect- ... btnShutter+; rows xxxxxxxx...; V2.10"
char *toString(const WindowState &state);

// The real window, off-screen, with a simulated timer behind each port.
// Every change of the pointer is noted as it happens; every 5 ms a box that
// is up is noted and answered with OK, and what it gets wrong of the house
// style, or of the moment it comes, is noted in front of its text.
class WindowBench
{
public:
    struct PointerChange
    {
        qint64 ns;
        int pointer;
    };

    WindowBench();
    ~WindowBench();
    // Starts the sims, configured before, and shows the window.
    bool start(int ports = 2);

    PerloSim &sim(int port = 1) { return m_sims.at(size_t(port - 1)); }
    QString cable(int port = 1) const { return m_dir.filePath(QStringLiteral("com%1").arg(port)); }
    frmMain &window() { return *m_window; }
    TimerLink &link() const { return m_window->link(); }
    template<typename T = QWidget>
    T *find(const QString &name) const
    {
        return m_window->findChild<T *>(name);
    }
    QLineEdit *box(int row) const
    {
        return find<QLineEdit>(QStringLiteral("txtParam(%1)").arg(row));
    }
    UpDown *spinner(int row) const { return find<UpDown>(QStringLiteral("udParam(%1)").arg(row)); }

    // Takes "connect; up 6; fault silent; set" a step at a time, a verb of
    // addVerbs() and its argument each. Fails the test at a step whose verb or
    // argument does not read, that spins, in which input started anything, or
    // in which a close did not end the exchange at once.
    void perform(const QString &steps);
    // The rows' texts, "-" for an empty one.
    QString texts() const;
    WindowState state() const;

    // From the first busy pointer noted to the default pointer after it.
    qint64 busyMs() const;

    QStringList boxes;
    QList<PointerChange> pointerChanges;
    // "port/command " for each command not sent under the hourglass (Connect's read: the arrow).
    QString wrongPointers;

private:
    template<typename Action>
    void addVerb(const char *name, Action action);
    void addVerbs();
    // Returns once every handler the click started has ended.
    void press(const QString &name);
    void answerBox();

    QTemporaryDir m_dir;
    std::array<PerloSim, 2> m_sims;
    std::unique_ptr<frmMain> m_window;
    QTimer m_sampler;
    QString m_pressed;

    QHash<QString, std::function<bool(const QString &argument)>> m_verbs;
    QString m_verb; // of the step under way
    QList<PresentPort> m_present{ { cable(1), {}, {} } }; // listed once a step lists ports
    QSerialPort m_otherProgram;
    QTimer m_barrage, m_closer;
    int m_rounds = 0, m_nestedRounds = 0, m_roundsAtLastCommand = 0;
    bool m_firing = false;
    qint64 m_barrageCpuUs = 0; // the bench's own input, not the window's work
    qint64 m_closedNs = 0;
};

#endif
