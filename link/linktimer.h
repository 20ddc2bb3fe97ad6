#ifndef LINKTIMER_H
#define LINKTIMER_H

#include <QObject>
#include <QTimer>

// A window timer as the link knows it: while Enabled with a non-zero
// Interval it raises Timer() every Interval ms, counting from the moment it
// was enabled. Interval 0 never fires.
class LinkTimer : public QObject
{
    Q_OBJECT
public:
    explicit LinkTimer(QObject *parent = nullptr);

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    int Interval() const { return m_interval; }
    void setInterval(int ms);

signals:
    void Timer();

private:
    void restart();

    QTimer m_timer;
    bool m_enabled = false;
    int m_interval = 0;
};

#endif
