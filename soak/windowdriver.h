#ifndef WINDOWDRIVER_H
#define WINDOWDRIVER_H

#include "cpushare.h"
#include "frmmain.h"
#include "schedule.h"
#include "soakrecords.h"

#include <memory>

class QMessageBox;
class SchedulerHold;
class SoakReport;
class TimerLines;

// The user at the real window: makes and ends windows, clicks and types
// through the window system as a hand would, performs one step's action
// while the timer misbehaves as the step says, and reads and closes boxes.
class WindowDriver
{
public:
    WindowDriver(TimerLines &lines, CpuShare &cpu, SoakReport &report, const SchedulerHold &hold);
    ~WindowDriver();

    void freshWindow();
    void closeWindow();
    frmMain &window() { return *m_window; }
    QWidget *find(const QString &name) const;

    // The step's action, from the press until the window is idle again;
    // `model` is what the window shows as it begins.
    ActionRecord perform(const Step &step, const WindowModel &model);
    // The action in progress, if any.
    ActionRecord *current() const { return m_current; }
    // The objectName of the control the action pressed.
    QString pressed() const { return m_pressed; }
    // Reads the box for as long as the step says, then presses its OK.
    void answer(QMessageBox *box);

    static void waitMs(int ms);
    void waitForQuietLine();

private:
    void click(QWidget *widget);
    void type(int key, const QString &text);
    void press(const Step &step, const WindowModel &model, ActionRecord &record);
    void misbehaveDuring(const Step &step, ActionRecord &record, QObject *during);
    static qsizetype writtenBytes(const QStringList &traffic);
    QList<PerloSim::Received> receivedAll(qsizetype written);

    TimerLines &m_lines;
    CpuShare &m_cpu;
    SoakReport &m_report;
    const SchedulerHold &m_hold;
    std::unique_ptr<frmMain> m_window;
    ActionRecord *m_current = nullptr;
    int m_readMs = 50;
    QString m_pressed;
    qint64 m_inputTimestamp = 0;
};

#endif
