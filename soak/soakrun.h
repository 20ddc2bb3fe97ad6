#ifndef SOAKRUN_H
#define SOAKRUN_H

#include "expectation.h"
#include "flightparams.h"
#include "frmmain.h"
#include "schedule.h"
#include "simthread.h"

#include <QElapsedTimer>
#include <QMap>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

class QMessageBox;

struct SoakOptions
{
    quint64 seed = 0;
    double minutes = 1;
    bool replay = false; // every step printed as it starts
};

// What the window must look like, kept by the soak beside the real one from
// the enabling rules and the outcome of every action.
struct WindowModel
{
    int port = 1;
    bool serial = true, connect = true, params = false, get = true, set = false, shutter = true;
    int lastRowInUse = FlightParams::HighestRow;
    std::array<int, FlightParams::RowCount> values{};
    std::array<bool, FlightParams::RowCount> shown{}; // the box has text
};

// One action as it went: the timer's side, the program's side, the boxes.
struct ActionRecord
{
    qint64 startNs = 0, endNs = 0, boxNs = 0, closedNs = 0;
    QStringList boxes;
    QList<PerloSim::Received> received;
    QList<PerloSim::Sent> sent;
    QStringList traffic; // the program's own log of the line
    QList<qint64> trafficNs;
    TimerFacts facts, factsDuring;
    bool changedDuring = false;
    bool lineChanged = false;
    int lineChangesAtStart = 0;
    // The time the machine kept the window's and the timer's threads waiting to run.
    qint64 windowHeldNs = 0, timerHeldNs = 0;
    bool replyingAtStart = false;
    std::array<int, FlightParams::RowCount> rowsAtPress{};
    int blockLen = 0, lastParam = 0; // the program's generation when it was pressed
    QString device; // what the chosen port stood for when it was pressed
};

// The soak: the real window against simulated timers, driven by a seeded
// schedule, with every invariant checked after every action.
class SoakRun : public QObject
{
    Q_OBJECT
public:
    explicit SoakRun(const SoakOptions &options);
    ~SoakRun() override;
    int run();

private:
    class OwnWork;

    // The lines and the window.
    void startLines();
    QString timerPath(bool elsewhere) const;
    QList<PresentPort> presentPorts() const;
    void freshWindow();
    void closeWindow();
    QWidget *find(const QString &name) const;
    void click(QWidget *widget);
    void type(int key, const QString &text);
    void waitMs(int ms);
    void waitForQuietLine();
    TimerFacts timerFacts();
    // Runs `job` on the timer's thread; the wait is the soak's, not the window's.
    void onTimer(const std::function<void(PerloSim &)> &job);
    void setBehaviour(const TimerBehaviour &behaviour);
    int timerLineChanges();
    // Time a thread has waited to run so far, from its scheduler statistics.
    static qint64 heldNs(int schedstat);

    // One step.
    void prepare(const Step &step);
    ActionRecord perform(const Step &step);
    void judge(const Step &step, ActionRecord &record);
    void judgeExchangeAction(const Step &step, ActionRecord &record);
    void judgeConnect(ActionRecord &record);
    void judgeWindow(const QString &when);
    void judgeBlockWritten(const ActionRecord &record);
    bool rowsFromLine(const ActionRecord &record, char command);
    unsigned outcomesOf(char command, const ActionRecord &record, int watchdogMs, bool first);
    bool timerGot(const ActionRecord &record, char command) const;
    qint64 commandNs(const ActionRecord &record, char command) const;

    // Watching.
    void heartbeat();
    void answerBox(QMessageBox *box);
    void breach(const QString &what);
    void count(QMap<QString, int> &counts, const QString &kind) { ++counts[kind]; }
    void progress();
    void printSummary(bool passed);
    void printBreach();
    qint64 residentBytes() const;

    SoakOptions m_options;
    Schedule m_schedule;
    QTemporaryDir m_dir;
    std::unique_ptr<SimThread> m_timer;
    std::unique_ptr<SimThread> m_emptyLine;
    QString m_timerName; // where the timer is (or comes back)
    bool m_comeBackPending = false;
    bool m_emptyLineListed = true;
    TimerBehaviour m_behaviour;
    std::unique_ptr<frmMain> m_window;
    WindowModel m_model;
    bool m_confused = false; // the program and the timer disagree on the generation
    bool m_freshWindowNeeded = false;

    // The action in progress.
    ActionRecord *m_current = nullptr;
    QPointer<QMessageBox> m_box;
    int m_readMs = 50;
    QString m_pressed;
    qint64 m_inputTimestamp = 0;

    // Figures.
    QElapsedTimer m_clock;
    qint64 m_stepNo = 0;
    QMap<QString, int> m_actions, m_faults, m_outcomes;
    QStringList m_history;
    QString m_breach;
    ActionRecord m_last;
    QTimer m_heartbeat;
    qint64 m_lastBeatNs = 0;
    bool m_boxAtLastBeat = false;
    qint64 m_maxLateNs = 0;
    qint64 m_beats = 0;
    qint64 m_stretchStartNs = 0, m_stretchCpuNs = 0;
    qint64 m_soakCpuNs = 0; // the soak's own judging and input, in the stretch
    qint64 m_barrageCpuNs = 0, m_windowStartCpuNs = 0; // all run long
    int m_ownWorkDepth = 0;
    qint64 m_soakBlockedNs = 0, m_blockedAtLastBeat = 0;
    qint64 m_startNs = 0;
    int m_windowSchedstat = -1, m_timerSchedstat = -1;
    qint64 m_heldAtLastBeat = 0, m_maxHeldBeatNs = 0, m_maxRawLateNs = 0;
    int m_widenedActions = 0;
    bool m_stretchFlooded = false;
    double m_maxCpuShare = 0, m_maxFloodedCpuShare = 0;
    int m_stretches = 0;
    qint64 m_rssFirstMinute = -1, m_rssEnd = 0;
    qint64 m_maxActionMs = 0;
    int m_shortGapsAtTimer = 0;
    int m_minute = 0;
};

#endif
