#include "soakreport.h"

#include <cstdio>

namespace {

constexpr qsizetype HistoryLength = 50;

QString counted(const QMap<QString, int> &counts)
{
    QStringList parts;
    int total = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        parts.append(QStringLiteral("%1 %2").arg(it.key()).arg(it.value()));
        total += it.value();
    }
    return QStringLiteral("%1 (%2)").arg(total).arg(parts.join(", "));
}

} // namespace

QString printable(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto b = quint8(c);
        text += b >= 0x20 && b < 0x7f && c != '\\'
                ? QString(QLatin1Char(c))
                : QStringLiteral("\\x%1").arg(b, 2, 16, QLatin1Char('0'));
    }
    return text;
}

void SoakReport::breach(const QString &what)
{
    if (m_breach.isEmpty())
        m_breach = what;
}

void SoakReport::count(Counted table, const QString &kind)
{
    ++m_counts[size_t(table)][kind];
}

void SoakReport::logStep(const QString &head, const Step &step, const ActionRecord &record,
                         const QString &behaviourNow)
{
    QString line = head;
    line += QStringLiteral(" | timer %1, %2-byte%3%4")
                    .arg(record.facts.behaviour.name())
                    .arg(record.facts.blockLen)
                    .arg(record.changedDuring ? " then " + behaviourNow : "",
                         record.line.changed ? ", line went or came" : "");
    if (isExchange(step.action)) {
        if (step.barrage)
            line += QStringLiteral(", input during the wait");
        if (step.hangUpAfterBytes)
            line += QStringLiteral(", hang-up after %1 bytes").arg(step.hangUpAfterBytes);
        if (record.closedNs)
            line += QStringLiteral(", window closed");
    }
    line += QStringLiteral(" | %1 ms | %2")
                    .arg((record.endNs - record.startNs) / Ms)
                    .arg(record.boxes.isEmpty() ? QStringLiteral("no box")
                                                : record.boxes.join(" | ").replace("\r\n", " "));
    m_history.append(line);
    if (m_history.size() > HistoryLength)
        m_history.removeFirst();
    if (m_options.replay)
        std::printf("%s\n", qPrintable(line));
}

void SoakReport::progress(int minute, qint64 residentBytes) const
{
    std::printf("ruru-soak: minute %d: resident %.1f MB; actions %s; timer behaviours %s\n", minute,
                double(residentBytes) / 1048576,
                qPrintable(counted(m_counts[size_t(Counted::Actions)])),
                qPrintable(counted(m_counts[size_t(Counted::Faults)])));
    std::fflush(stdout);
}

void SoakReport::figure(const char *label, double value, int decimals)
{
    char line[128];
    std::snprintf(line, sizeof line, "  %-60s %8.*f", label, decimals, value);
    m_figures.append(QString::fromUtf8(line));
}

void SoakReport::figure(const char *label, qint64 value)
{
    char line[128];
    std::snprintf(line, sizeof line, "  %-60s %8lld", label, qlonglong(value));
    m_figures.append(QString::fromUtf8(line));
}

void SoakReport::note(const char *text)
{
    m_figures.append(QStringLiteral("  (%1)").arg(QString::fromUtf8(text)));
}

void SoakReport::printSummary(qint64 steps, double minutes) const
{
    auto table = [this](const char *title, Counted counted) {
        std::printf("%s\n", title);
        const QMap<QString, int> &counts = m_counts[size_t(counted)];
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            std::printf("  %-60s %8d\n", qPrintable(it.key()), it.value());
    };
    std::printf("\nruru-soak: seed %llu, %lld steps in %.1f min\n", qulonglong(m_options.seed),
                qlonglong(steps), minutes);
    table("Actions", Counted::Actions);
    table("Timer behaviours and events", Counted::Faults);
    table("Outcomes", Counted::Outcomes);
    std::printf("Figures\n");
    for (const QString &line : m_figures)
        std::printf("%s\n", qPrintable(line));
    std::printf("Outcome: %s\n", hasBreach() ? "BREACH" : "PASS");
    std::fflush(stdout);
}

void SoakReport::printBreach(qint64 step, const ActionRecord &last) const
{
    std::printf("\nBREACH (seed %llu, step %lld): %s\n", qulonglong(m_options.seed),
                qlonglong(step), qPrintable(m_breach));
    std::printf("\nThe last %lld actions:\n", qlonglong(m_history.size()));
    for (const QString &line : m_history)
        std::printf("  %s\n", qPrintable(line));
    const ActionRecord &r = last;
    auto at = [&](qint64 ns) { return double(ns - r.startNs) / Ms; };
    std::printf("\nThe line during the last action (ms from its start):\n");
    for (qsizetype i = 0; i < r.line.traffic.size(); ++i)
        std::printf("  %9.3f program  %s\n", at(r.line.trafficNs[i]),
                    qPrintable(r.line.traffic[i].left(200)));
    QByteArray run;
    qint64 runNs = 0;
    auto flush = [&] {
        if (!run.isEmpty())
            std::printf("  %9.3f timer got  %s\n", at(runNs), qPrintable(printable(run)));
        run.clear();
    };
    for (const PerloSim::Received &got : r.line.received) {
        if (got.ns - runNs > Ms)
            flush();
        if (run.isEmpty())
            runNs = got.ns;
        run.append(char(got.byte));
    }
    flush();
    for (const PerloSim::Sent &sent : r.line.sent)
        std::printf("  %9.3f timer sent %s\n", at(sent.ns),
                    qPrintable(printable(sent.bytes.left(80))));
    std::fflush(stdout);
}
