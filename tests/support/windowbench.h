#ifndef WINDOWBENCH_H
#define WINDOWBENCH_H

#include "frmmain.h"
#include "timerfixture.h"
#include "updown.h"

#include <QLineEdit>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

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
    TimerLink &link() { return m_window->link(); }
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

    // Returns once every handler the click started has ended.
    void press(const QString &name, const std::function<void()> &afterHandler = {});
    // The rows' texts, "-" for an empty one.
    QString texts() const;
    // The port option chosen, the port, the frames and buttons (each button in
    // its own right), the rows in use ('x') or greyed ('.') and the version box.
    QString state() const;

    // From the first busy pointer noted to the default pointer after it.
    qint64 busyMs() const;

    QStringList boxes;
    QList<PointerChange> pointerChanges;

private:
    void answerBox();

    QTemporaryDir m_dir;
    std::array<PerloSim, 2> m_sims;
    std::unique_ptr<frmMain> m_window;
    QTimer m_sampler;
    QString m_pressed;
};

#endif
