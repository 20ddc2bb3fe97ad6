#include "trafficcapture.h"

#include "perlosim.h"

#include <QLoggingCategory>
#include <QMutex>

namespace {

constexpr qsizetype MaxTrafficLines = 1000, MaxTrafficLineLength = 300;

// Messages come from any thread; the handler is the process's, so is this.
struct Captured
{
    QMutex mutex;
    QStringList lines;
    QList<qint64> ns;
    QtMessageHandler next = nullptr;
} captured;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && qstrcmp(context.category, "ruruzidura.traffic") == 0) {
        // Enough for one action; a flood's hex would be the soak's memory, not the program's.
        QMutexLocker lock(&captured.mutex);
        if (captured.lines.size() < MaxTrafficLines) {
            captured.lines.append(message.left(MaxTrafficLineLength));
            captured.ns.append(PerloSim::nowNs());
        }
        return;
    }
    // The off-screen platform's word on every box.
    if (message.contains(QLatin1String("does not support propagateSizeHints")))
        return;
    captured.next(type, context, message);
}

} // namespace

TrafficCapture::TrafficCapture()
{
    captured.next = qInstallMessageHandler(capture);
    QLoggingCategory::setFilterRules(QStringLiteral("ruruzidura.traffic.debug=true"));
}

TrafficCapture::~TrafficCapture()
{
    qInstallMessageHandler(captured.next);
}

void TrafficCapture::take(QStringList *lines, QList<qint64> *ns)
{
    QMutexLocker lock(&captured.mutex);
    *lines = std::exchange(captured.lines, {});
    *ns = std::exchange(captured.ns, {});
}
