#include "windowbench.h"

#include <QAccessible>
#include <QLabel>
#include <QRadioButton>
#include <QtTest>

// The window as it comes up, and that only the port choice and "Connect" take input.
class tst_WindowLayout : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_bench = std::make_unique<WindowBench>();
        QVERIFY(m_bench->start(2));
    }
    void cleanup() { m_bench.reset(); }
    void windowFrame();
    void rowsFollowTheParameterTable();
    void tabOrderAndFocus();
    void initialStateSurvivesInput();

private:
    QLabel *label(int number) const { return m_bench->find<QLabel>(QStringLiteral("Label%1").arg(number)); }

    std::unique_ptr<WindowBench> m_bench;
};

namespace {

QString fontOf(QWidget *w)
{
    const QFont f = w->font();
    return QStringLiteral("%1 %2%3%4").arg(f.family()).arg(f.pointSizeF())
            .arg(f.bold() ? " bold" : "", f.italic() ? " italic" : "");
}

} // namespace

void tst_WindowLayout::windowFrame()
{
    frmMain &w = m_bench->window();
    QCOMPARE(w.windowTitle(), QStringLiteral("PERLO-II Timer Control Interface"));
    w.resize(500, 700);
    QCOMPARE(w.size(), QSize(345, 523));
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    const QList<QSize> iconSizes = w.windowIcon().availableSizes();
    QVERIFY(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)));
    // Each tooltip names what the option would open at the moment it is shown.
    auto tooltip = [&](const char *option) {
        QWidget *w = m_bench->find(option);
        QHelpEvent show(QEvent::ToolTip, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(w, &show);
        return w->toolTip();
    };
    QCOMPARE(tooltip("optCom(0)"), m_bench->cable(1));
    QCOMPARE(tooltip("optCom(1)"), m_bench->cable(2));
    qunsetenv("RURUZIDURA_COM2");
    m_bench->link().comPERLO.setPortLister([] { return QList<PresentPort>{{"/dev/ttyUSB0", "FT232R USB UART", "FTDI"}}; });
    QCOMPARE(tooltip("optCom(1)"), QStringLiteral("/dev/ttyS1"));
    QCOMPARE(tooltip("optCom(0)"), m_bench->cable(1));
    qunsetenv("RURUZIDURA_COM1");
    QCOMPARE(tooltip("optCom(0)"), QStringLiteral("/dev/ttyUSB0: FT232R USB UART (FTDI)"));

    // Pixels at 96 dpi of the twips layout.
    struct Control { const char *name; const char *caption; QRect rect; };
    for (const Control &c : {Control{"fmeSerial", "Serial Interface", {8, 8, 329, 81}},
                             Control{"btnConnect", "Connect", {248, 16, 65, 25}},
                             Control{"txtParam(10)", "", {160, 344, 40, 28}},
                             Control{"udParam(10)", "", {201, 344, 17, 28}}}) {
        QWidget *control = m_bench->find(c.name);
        if (auto *button = qobject_cast<QAbstractButton *>(control))
            QCOMPARE(button->text(), QLatin1String(c.caption));
        QCOMPARE(control->geometry(), c.rect);
    }

    // Designed as 128,56 113x17: a wider stand-in font may only push its left edge out.
    QLabel *caption = label(1);
    QCOMPARE(caption->text(), QStringLiteral("Timer Firmware Version"));
    QCOMPARE(caption->geometry().right(), 240);
    QVERIFY(caption->width() >= caption->sizeHint().width());
    QVERIFY(caption->geometry().left() > m_bench->find("optCom(0)")->geometry().right());
}

void tst_WindowLayout::rowsFollowTheParameterTable()
{
    constexpr int NameLabel[] = {2, 3, 4, 5, 6, 7, 8, 9, 18, 19, 20};
    constexpr int UnitLabel[] = {10, 11, 12, 13, 14, 15, 16, 17, 23, 22, 24};
    for (const FlightParam &param : FlightParams::table()) {
        QLabel *name = label(NameLabel[param.row]);
        QLabel *unit = label(UnitLabel[param.row]);
        QLineEdit *box = m_bench->box(param.row);
        QCOMPARE(name->text(), QLatin1String(param.name));
        QCOMPARE(unit->text(), QLatin1String(param.unit));
        QCOMPARE(m_bench->spinner(param.row)->Min(), param.minimum);
        QCOMPARE(m_bench->spinner(param.row)->Max(), param.maximum);
        QCOMPARE(fontOf(name), QStringLiteral("MS Sans Serif 9.75 bold italic"));
        QCOMPARE(fontOf(box), QStringLiteral("MS Sans Serif 12 bold"));
        QVERIFY(box->isReadOnly());
        QCOMPARE(box->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        for (QWidget *control : std::initializer_list<QWidget *>{box, m_bench->spinner(param.row)}) {
            QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(control);
            QCOMPARE(spoken->text(QAccessible::Name), QLatin1String(param.name));
            QCOMPARE(spoken->text(QAccessible::Description), QLatin1String(param.unit));
        }
    }
    QCOMPARE(label(NameLabel[7])->text(), QStringLiteral("Autorun Mode"));
    QCOMPARE(m_bench->spinner(7)->Max(), 1);

    auto *version = m_bench->find<QLineEdit>("txtVersion");
    QCOMPARE(fontOf(version), QStringLiteral("MS Sans Serif 12 bold"));
    QVERIFY(version->isReadOnly());
    QCOMPARE(version->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(QAccessible::queryAccessibleInterface(version)->text(QAccessible::Name),
             QStringLiteral("Timer Firmware Version"));
}

void tst_WindowLayout::tabOrderAndFocus()
{
    const QStringList expected = QStringLiteral(
            "optCom(0) optCom(1) btnConnect txtVersion btnShutter btnSet btnGet txtParam(0) udParam(0) "
            "txtParam(1) udParam(1) txtParam(2) txtParam(3) txtParam(4) txtParam(5) txtParam(6) "
            "txtParam(7) udParam(2) udParam(3) udParam(4) udParam(5) udParam(6) udParam(7) "
            "txtParam(8) txtParam(9) txtParam(10) udParam(8) udParam(9) udParam(10)").split(' ');
    QStringList chain;
    QWidget *w = m_bench->find("optCom(0)");
    do {
        if (w->focusPolicy() != Qt::NoFocus)
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != m_bench->find("optCom(0)") && chain.size() <= expected.size());
    QCOMPARE(chain, expected);

    m_bench->window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m_bench->window()));
    QCOMPARE(QApplication::focusWidget(), m_bench->find("optCom(0)"));
}

void tst_WindowLayout::initialStateSurvivesInput()
{
    WindowBench &b = *m_bench;
    for (const char *button : {"btnShutter", "btnGet", "btnSet"})
        b.press(button);
    for (int row : {0, 6, 10}) {
        b.step(row, true);
        b.step(row, false);
    }
    QTest::mouseClick(b.find("txtVersion"), Qt::LeftButton);
    QTest::keyClicks(b.find("txtVersion"), "V9.99");

    QVERIFY(b.enabled("btnConnect") && b.enabled("optCom(1)"));
    QVERIFY(b.find<QRadioButton>("optCom(0)")->isChecked());
    QVERIFY(b.version().isEmpty());
    QWidget *params = b.find("fmeParams");
    QVERIFY(!params->isEnabled());
    QVERIFY(!b.find("btnSet")->isEnabledTo(params));
    QVERIFY(b.find("btnGet")->isEnabledTo(params) && b.find("btnShutter")->isEnabledTo(params));
    QVERIFY(b.box(10)->isEnabledTo(params) && b.spinner(10)->isEnabledTo(params));
    QCOMPARE(b.texts(), QStringList(FlightParams::RowCount, QString()));
    QVERIFY(!b.link().comPERLO.PortOpen());
    QVERIFY(b.sim().receivedBytes().isEmpty());
    QVERIFY(b.boxes.texts.isEmpty());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(tst_WindowLayout)
#include "tst_window_layout.moc"
