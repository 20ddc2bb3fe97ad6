#include "table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

Stats statsOf(QList<double> samples)
{
    Stats s;
    s.n = samples.size();
    if (s.n == 0)
        return s;
    std::sort(samples.begin(), samples.end());
    s.min = samples.first();
    s.max = samples.last();
    s.median = (samples[(s.n - 1) / 2] + samples[s.n / 2]) / 2;
    s.p99 = samples[qsizetype(std::ceil(0.99 * double(s.n))) - 1];
    return s;
}

void printTable(const QList<Row> &rows)
{
    std::printf("%-48s %-24s %4s %9s %9s %9s %9s  %s\n", "Figure", "Goal", "n", "min", "median",
                "p99", "max", "Result");
    for (const Row &row : rows) {
        const Stats s = statsOf(row.samples);
        const char *result = !row.hasGoal() ? "-" : row.passed() ? "PASS" : "MISS";
        std::printf("%-48s %-24s %4lld %9.3f %9.3f %9.3f %9.3f  %s", qPrintable(row.figure),
                    qPrintable(row.goal), qlonglong(s.n), s.min, s.median, s.p99, s.max, result);
        if (row.failures)
            std::printf(" (%d failed)", row.failures);
        std::printf("\n");
    }
}

bool allGoalsMet(const QList<Row> &rows)
{
    return std::all_of(rows.cbegin(), rows.cend(),
                       [](const Row &row) { return !row.hasGoal() || row.passed(); });
}
