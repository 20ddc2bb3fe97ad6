#include "messageboxlog.h"

#include <QAbstractButton>
#include <QApplication>

MessageBoxLog::MessageBoxLog(std::function<int()> pointer, QObject *parent)
    : QObject(parent)
    , m_pointer(std::move(pointer))
{
    connect(&m_poll, &QTimer::timeout, this, &MessageBoxLog::answer);
    m_poll.start(5);
}

void MessageBoxLog::answer()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    shown.append({box->windowTitle(), box->text(), box->icon(), m_pointer ? m_pointer() : -1});
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->reject();
}
