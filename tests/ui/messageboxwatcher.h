#ifndef MESSAGEBOXWATCHER_H
#define MESSAGEBOXWATCHER_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

// Answers the window's message boxes as a user would: notes what each box
// said and whether the busy cursor was still up while it showed, then
// presses OK. Looks from a timer, so it also answers boxes shown inside a
// handler that runs under a click.
class MessageBoxWatcher : public QObject
{
    Q_OBJECT
public:
    struct SeenBox
    {
        QString text;
        QString title;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        bool defaultCursor; // no override cursor while the box was up
        qint64 shownNs;     // steady clock, as PerloSim::nowNs()
    };

    explicit MessageBoxWatcher(QObject *parent = nullptr);

    const QList<SeenBox> &seen() const { return m_seen; }
    void clear() { m_seen.clear(); }

private:
    void look();

    QTimer m_poll;
    QList<SeenBox> m_seen;
};

#endif
