#include "windowcheck.h"

#include "frmmain.h"

#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>

QString windowBreach(frmMain &window, const WindowModel &m, const QString &when)
{
    if (QGuiApplication::overrideCursor() || window.MousePointer() != 0)
        return QStringLiteral("the busy pointer is still up after ") + when;
    if (QApplication::activeModalWidget())
        return QStringLiteral("a modal box is still up after ") + when;
    auto find = [&window](const QString &name) { return window.findChild<QWidget *>(name); };
    auto own = [&find](const char *name) {
        QWidget *w = find(QString::fromLatin1(name));
        return w->isEnabledTo(w->parentWidget());
    };
    struct Expected
    {
        const char *name;
        bool on;
    };
    QStringList wrong;
    for (const Expected &e : { Expected{ "fmeSerial", m.serial },
                               { "btnConnect", m.connect },
                               { "fmeParams", m.params },
                               { "btnGet", m.get },
                               { "btnSet", m.set },
                               { "btnShutter", m.shutter } }) {
        if (own(e.name) != e.on)
            wrong.append(QStringLiteral("%1 %2").arg(e.name, own(e.name) ? "on" : "off"));
    }
    if (!window.findChild<QRadioButton *>(QStringLiteral("optCom(%1)").arg(m.port - 1))
                 ->isChecked())
        wrong.append(QStringLiteral("COM%1 not chosen").arg(m.port));
    if (m.connect && window.link().comPERLO.PortOpen())
        wrong.append(QStringLiteral("port open while disconnected"));
    QWidget *params = find(QStringLiteral("fmeParams"));
    for (int row = 0; row < FlightParams::RowCount; ++row) {
        auto *box = window.findChild<QLineEdit *>(QStringLiteral("txtParam(%1)").arg(row));
        QWidget *spinner = find(QStringLiteral("udParam(%1)").arg(row));
        const bool inUse = row <= m.lastRowInUse;
        if (box->isEnabledTo(params) != inUse || spinner->isEnabledTo(params) != inUse)
            wrong.append(QStringLiteral("row %1 %2").arg(row).arg(inUse ? "greyed" : "in use"));
        const QString text =
                m.shown[size_t(row)] ? QString::number(m.values[size_t(row)]) : QString();
        if (box->text() != text)
            wrong.append(QStringLiteral("row %1 shows \"%2\", not \"%3\"")
                                 .arg(row)
                                 .arg(box->text(), text));
    }
    if (!wrong.isEmpty())
        return QStringLiteral("after %1: %2").arg(when, wrong.join(", "));
    return {};
}
