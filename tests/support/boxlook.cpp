#include "boxlook.h"

#include <QGuiApplication>
#include <QMessageBox>

QStringList boxStyleFaults(const QMessageBox &box)
{
    QStringList wrong;
    if (box.icon() != QMessageBox::Critical || box.standardButtons() != QMessageBox::Ok)
        wrong.append(QStringLiteral("not a critical box with OK alone"));
    if (box.windowTitle() != QLatin1String("RURUZidura"))
        wrong.append(QStringLiteral("titled ") + box.windowTitle());
    if (QGuiApplication::overrideCursor())
        wrong.append(QStringLiteral("the busy pointer is up"));
    return wrong;
}
