#include "messageboxwatcher.h"
#include "perlosim.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

MessageBoxWatcher::MessageBoxWatcher()
{
    connect(&m_poll, &QTimer::timeout, this, [this] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        QString wrong;
        if (box->icon() != QMessageBox::Critical || box->standardButtons() != QMessageBox::Ok)
            wrong += QStringLiteral("[not a critical OK box] ");
        if (box->windowTitle() != QLatin1String("RURUZidura"))
            wrong += QStringLiteral("[titled %1] ").arg(box->windowTitle());
        if (QGuiApplication::overrideCursor())
            wrong += QStringLiteral("[busy cursor] ");
        texts.append(wrong + box->text());
        shownNs.append(PerloSim::nowNs());
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    });
    m_poll.start(5);
}
