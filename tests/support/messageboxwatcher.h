#ifndef MESSAGEBOXWATCHER_H
#define MESSAGEBOXWATCHER_H

#include <QObject>
#include <QStringList>
#include <QTimer>

// Answers the program's boxes with OK from a timer, so also those shown under
// a click. What a box gets wrong of the house style (critical, "RURUZidura",
// OK alone, no busy cursor) is noted in front of its text.
class MessageBoxWatcher : public QObject
{
    Q_OBJECT
public:
    MessageBoxWatcher();
    void clear() { texts.clear(), shownNs.clear(); }

    QStringList texts;
    QList<qint64> shownNs; // as PerloSim::nowNs()

private:
    QTimer m_poll;
};

#endif
