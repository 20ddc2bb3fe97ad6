#include "messageboxwatcher.h"
#include "perlosim.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

MessageBoxWatcher::MessageBoxWatcher(QObject *parent)
    : QObject(parent)
{
    connect(&m_poll, &QTimer::timeout, this, &MessageBoxWatcher::look);
    m_poll.start(5);
}

QStringList MessageBoxWatcher::texts() const
{
    QStringList texts;
    for (const Seen &box : seen)
        texts.append(box.text);
    return texts;
}

void MessageBoxWatcher::look()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    QString wrong;
    if (box->icon() != QMessageBox::Critical)
        wrong += QStringLiteral("[not critical] ");
    if (box->windowTitle() != QLatin1String("RURUZidura"))
        wrong += QStringLiteral("[titled %1] ").arg(box->windowTitle());
    if (box->standardButtons() != QMessageBox::Ok)
        wrong += QStringLiteral("[not OK alone] ");
    if (QGuiApplication::overrideCursor())
        wrong += QStringLiteral("[busy cursor] ");
    seen.append({wrong + box->text(), PerloSim::nowNs()});
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->reject();
}
