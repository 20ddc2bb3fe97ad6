#ifndef MESSAGEBOXWATCHER_H
#define MESSAGEBOXWATCHER_H

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// Answers the program's message boxes with OK as a user would. It looks from
// a timer, so it also answers boxes shown inside a handler that runs under a
// click. Every box of the program is a critical stop box titled "RURUZidura"
// with one OK button, shown once the busy cursor is gone: what a box gets
// wrong of this is noted in front of its text, so comparing texts catches it.
class MessageBoxWatcher : public QObject
{
    Q_OBJECT
public:
    struct Seen
    {
        QString text;
        qint64 ns; // steady clock, as PerloSim::nowNs()
    };

    explicit MessageBoxWatcher(QObject *parent = nullptr);

    QStringList texts() const;

    QList<Seen> seen;

private:
    void look();

    QTimer m_poll;
};

#endif
