#include "messageboxwatcher.h"
#include "perlosim.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

MessageBoxWatcher::MessageBoxWatcher(QObject *parent)
    : QObject(parent)
{
    m_poll.setInterval(5);
    connect(&m_poll, &QTimer::timeout, this, &MessageBoxWatcher::look);
    m_poll.start();
}

void MessageBoxWatcher::look()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    m_seen.append({box->text(), box->windowTitle(), box->icon(), box->standardButtons(),
                   QGuiApplication::overrideCursor() == nullptr, PerloSim::nowNs()});
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        QTest::mouseClick(ok, Qt::LeftButton);
    else
        box->reject(); // not the box we expect, but never leave a test hanging on it
}
