#ifndef SOAKREPORT_H
#define SOAKREPORT_H

#include "schedule.h"
#include "soakrecords.h"

#include <QMap>
#include <QStringList>

#include <array>

// Bytes as a report shows them: printable ASCII as it is, the rest in hex.
QString printable(const QByteArray &bytes);

// What the soak tells: the first breach, the counts of what it did and met,
// the recent steps, the figures, and on a breach both sides of the line
// during the last action.
class SoakReport
{
public:
    enum class Counted { Actions, Faults, Outcomes };

    explicit SoakReport(const SoakOptions &options) : m_options(options) { }

    void breach(const QString &what);
    bool hasBreach() const { return !m_breach.isEmpty(); }
    void count(Counted table, const QString &kind);

    // The step's line in the history, printed at once when replaying.
    void logStep(const QString &line, const Step &step, const ActionRecord &record,
                 const QString &behaviourNow);
    void progress(int minute, qint64 residentBytes) const;

    void figure(const char *label, double value, int decimals);
    void figure(const char *label, qint64 value);
    void note(const char *text);
    void printSummary(qint64 steps, double minutes) const;
    // The breach, the recent steps and both sides of the line during the last action.
    void printBreach(qint64 step, const ActionRecord &last) const;

private:
    SoakOptions m_options;
    QString m_breach;
    std::array<QMap<QString, int>, 3> m_counts;
    QStringList m_history;
    QStringList m_figures;
};

#endif
