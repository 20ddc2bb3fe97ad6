#ifndef TRAFFICCAPTURE_H
#define TRAFFICCAPTURE_H

#include <QList>
#include <QStringList>

// The program's own log of the line, with the moment of every line of it,
// taken from its "ruruzidura.traffic" messages for as long as one exists.
class TrafficCapture
{
public:
    TrafficCapture();
    ~TrafficCapture();
    TrafficCapture(const TrafficCapture &) = delete;
    TrafficCapture &operator=(const TrafficCapture &) = delete;

    // What came since the last take.
    static void take(QStringList *lines, QList<qint64> *ns);
};

#endif
