#ifndef LINEJUDGE_H
#define LINEJUDGE_H

#include "soakrecords.h"

class frmMain;
class SoakReport;

// What both sides of the line say about an action: when the timer heard a
// command, whether stray bytes were on their way, whether the rows a read
// shows are a block the timer sent, and whether the block "/P" carried holds
// the rows at the pace the timer needs.
class LineJudge
{
public:
    explicit LineJudge(SoakReport &report) : m_report(report) { }

    // When the timer got "/command" in this action; -1 when it did not.
    static qint64 commandNs(const LineRecord &line, char command);
    static bool timerGot(const LineRecord &line, char command)
    {
        return commandNs(line, command) >= 0;
    }
    // Bytes the timer sent that the program takes as part of the reply to "/command".
    static bool strayBytesBefore(const LineRecord &line, char command);

    // After a read that succeeded: true when the rows in use are a block as
    // the line carried it to the program; the model takes them.
    bool rowsFromLine(const LineRecord &line, char command, frmMain &window, WindowModel &model);
    void judgeBlockWritten(const ActionRecord &record);
    void addFigures(SoakReport &report) const;

private:
    SoakReport &m_report;
    int m_shortGapsAtTimer = 0;
};

#endif
