#ifndef MESSAGEBOXLOG_H
#define MESSAGEBOXLOG_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Answers every modal message box as soon as it comes up, and remembers what
// it said and what the window's pointer was at that moment.
class MessageBoxLog : public QObject
{
    Q_OBJECT
public:
    struct Shown
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        int pointer;
    };

    explicit MessageBoxLog(std::function<int()> pointer = {}, QObject *parent = nullptr);

    QList<Shown> shown;

private:
    void answer();

    std::function<int()> m_pointer;
    QTimer m_poll;
};

#endif
