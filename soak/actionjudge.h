#ifndef ACTIONJUDGE_H
#define ACTIONJUDGE_H

#include "linejudge.h"
#include "schedule.h"
#include "soakrecords.h"

class QMessageBox;
class SoakReport;
class TimerLines;
class WindowDriver;

// Judges every action against a model of the window, kept from the enabling
// rules and from what the timer, as it was set up, allows each exchange to
// end with: the action's length, its box, the rows, the block, the window.
class ActionJudge
{
public:
    ActionJudge(WindowDriver &driver, TimerLines &lines, SoakReport &report);

    const WindowModel &model() const { return m_model; }
    // A fresh window: the model starts again.
    void forgetWindow();
    // True when the window must make way for a fresh one.
    bool judge(const Step &step, ActionRecord &record, const QString &behaviourNow, qint64 stepNo,
               qint64 runStartNs);
    // A box as it comes up, during `current` (null between actions).
    void judgeBox(QMessageBox &box);
    void judgeWindow(const QString &when);
    void addWidenedFigure(SoakReport &report) const;
    void addActionFigures(SoakReport &report) const;

private:
    void followInput(const Step &step, const ActionRecord &record);
    void judgeLength(const Step &step, const ActionRecord &record);
    void judgeExchangeAction(const Step &step, ActionRecord &record);
    void judgeConnect(ActionRecord &record);
    unsigned outcomesOf(char command, const ActionRecord &record, int watchdogMs, bool first);

    WindowDriver &m_driver;
    TimerLines &m_lines;
    SoakReport &m_report;
    LineJudge m_line;
    WindowModel m_model;
    bool m_confused = false; // the program and the timer disagree on the generation
    int m_widenedActions = 0;
    qint64 m_maxActionMs = 0;
};

#endif
