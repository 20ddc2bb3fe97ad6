#ifndef TABLE_H
#define TABLE_H

#include <QList>
#include <QString>

#include <functional>

struct Stats
{
    qsizetype n = 0;
    double min = 0, median = 0, p99 = 0, max = 0;
};

// p99 is the nearest rank: with few samples, the maximum.
Stats statsOf(QList<double> samples);

struct Row
{
    QString figure;
    QString goal;
    QList<double> samples;
    // Whether the samples meet the goal; none for figures shown for comparison.
    std::function<bool(const Stats &)> met;
    int failures = 0; // exchanges that went wrong and gave no sample

    bool hasGoal() const { return bool(met); }
    bool passed() const { return failures == 0 && !samples.isEmpty() && met(statsOf(samples)); }
};

void printTable(const QList<Row> &rows);
bool allGoalsMet(const QList<Row> &rows);

#endif
