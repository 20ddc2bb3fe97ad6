#include "updown.h"
#include "windowbench.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

// The window as it comes up: its frame, where controls sit, what they say,
// and that nothing but the port choice and "Connect" takes input.
class tst_WindowLayout : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_bench.reset(); }
    void windowFrame();
    void controls_data();
    void controls();
    void versionCaptionIsNotClipped();
    void rowsFollowTheParameterTable();
    void tabOrderAndFocus();
    void initialStateSurvivesInput();

private:
    QLabel *label(int number) const
    {
        return m_bench->find<QLabel>(QStringLiteral("Label%1").arg(number));
    }

    std::unique_ptr<WindowBench> m_bench;
};

namespace {

// Name and unit label numbers of rows 0 to 10.
constexpr int NameLabel[] = {2, 3, 4, 5, 6, 7, 8, 9, 18, 19, 20};
constexpr int UnitLabel[] = {10, 11, 12, 13, 14, 15, 16, 17, 23, 22, 24};

QString fontOf(QWidget *w)
{
    const QFont f = w->font();
    return QStringLiteral("%1 %2%3%4").arg(f.family()).arg(f.pointSizeF())
            .arg(f.bold() ? " bold" : "", f.italic() ? " italic" : "");
}

QColor background(QWidget *w)
{
    return w->palette().color(QPalette::Active, QPalette::Base);
}

} // namespace

void tst_WindowLayout::init()
{
    m_bench = std::make_unique<WindowBench>(2);
    QVERIFY(m_bench->start());
}

void tst_WindowLayout::windowFrame()
{
    frmMain &w = m_bench->window();
    QCOMPARE(w.windowTitle(), QStringLiteral("PERLO-II Timer Control Interface"));
    w.resize(500, 700);
    QCOMPARE(w.size(), QSize(345, 523));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    const QList<QSize> iconSizes = w.windowIcon().availableSizes();
    QVERIFY(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)));
    // Each port option names the device behind it.
    QCOMPARE(m_bench->find("optCom(0)")->toolTip(), m_bench->sim(1).portPath());
    QCOMPARE(m_bench->find("optCom(1)")->toolTip(), m_bench->sim(2).portPath());
}

void tst_WindowLayout::controls_data()
{
    // Geometry in pixels at 96 dpi of the twips layout, relative to the container.
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("fmeSerial") << "frmMain" << "Serial Interface" << QRect(8, 8, 329, 81);
    QTest::newRow("fmeParams") << "frmMain" << "Flight Parameters" << QRect();
    QTest::newRow("optCom(0)") << "fmeSerial" << "COM1" << QRect();
    QTest::newRow("optCom(1)") << "fmeSerial" << "COM2" << QRect();
    QTest::newRow("btnConnect") << "fmeSerial" << "Connect" << QRect(248, 16, 65, 25);
    QTest::newRow("btnSet") << "fmeParams" << "Set" << QRect();
    QTest::newRow("btnGet") << "fmeParams" << "Retrieve" << QRect();
    QTest::newRow("btnShutter") << "fmeParams" << "Test Shutter" << QRect();
    QTest::newRow("txtParam(0)") << "fmeParams" << "" << QRect(160, 24, 41, 28);
    QTest::newRow("udParam(0)") << "fmeParams" << "" << QRect(200, 24, 16, 28);
    QTest::newRow("txtParam(10)") << "fmeParams" << "" << QRect(160, 344, 40, 28);
    QTest::newRow("udParam(10)") << "fmeParams" << "" << QRect(201, 344, 17, 28);
}

void tst_WindowLayout::controls()
{
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, rect);
    QWidget *control = m_bench->find(QTest::currentDataTag());
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), container);
    if (auto *frame = qobject_cast<QGroupBox *>(control))
        QCOMPARE(frame->title(), caption);
    else if (auto *button = qobject_cast<QAbstractButton *>(control))
        QCOMPARE(button->text(), caption);
    if (!rect.isNull())
        QCOMPARE(control->geometry(), rect);
}

void tst_WindowLayout::versionCaptionIsNotClipped()
{
    // Designed as 128,56 113x17; a wider stand-in font may only push its left edge out.
    QLabel *caption = label(1);
    QCOMPARE(caption->text(), QStringLiteral("Timer Firmware Version"));
    QCOMPARE(caption->parentWidget()->objectName(), QString("fmeSerial"));
    QCOMPARE(caption->geometry().right(), 240);
    QCOMPARE(caption->geometry().top(), 56);
    QCOMPARE(caption->height(), 17);
    QVERIFY(caption->geometry().left() <= 128);
    QVERIFY(caption->width() >= caption->sizeHint().width());
    QVERIFY(caption->geometry().left() > m_bench->find("optCom(0)")->geometry().right());
}

void tst_WindowLayout::rowsFollowTheParameterTable()
{
    for (const FlightParam &param : FlightParams::table()) {
        const int row = param.row;
        QLabel *name = label(NameLabel[row]);
        QLabel *unit = label(UnitLabel[row]);
        QLineEdit *box = m_bench->box(row);
        QVERIFY(name && unit && box);
        QCOMPARE(name->text(), QLatin1String(param.name));
        QCOMPARE(unit->text(), QLatin1String(param.unit));
        QCOMPARE(m_bench->spinner(row)->Min(), param.minimum);
        QCOMPARE(m_bench->spinner(row)->Max(), param.maximum);
        QCOMPARE(fontOf(name), QStringLiteral("MS Sans Serif 9.75 bold italic"));
        QCOMPARE(fontOf(unit), fontOf(name));
        QCOMPARE(fontOf(box), QStringLiteral("MS Sans Serif 12 bold"));
        QVERIFY(box->isReadOnly());
        QCOMPARE(box->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        QCOMPARE(background(box), QGuiApplication::palette().color(QPalette::Active, QPalette::Base));
    }
    QCOMPARE(label(NameLabel[7])->text(), QStringLiteral("Autorun Mode"));
    QCOMPARE(m_bench->spinner(7)->Max(), 1);
    QCOMPARE(m_bench->spinner(6)->Max(), 255);

    auto *version = m_bench->find<QLineEdit>("txtVersion");
    QCOMPARE(fontOf(version), QStringLiteral("MS Sans Serif 12 bold"));
    QVERIFY(version->isReadOnly());
    QCOMPARE(version->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    // The version box sits on the menu background, the rows on the window background.
    QVERIFY(background(version) != background(m_bench->box(0)));
    for (const char *name : {"Label1", "btnConnect", "btnSet", "optCom(0)", "fmeParams"})
        QCOMPARE(m_bench->find(name)->font(), m_bench->window().font());
}

void tst_WindowLayout::tabOrderAndFocus()
{
    const QStringList expected = QStringLiteral(
            "optCom(0) optCom(1) btnConnect txtVersion btnShutter btnSet btnGet txtParam(0) udParam(0) "
            "txtParam(1) udParam(1) txtParam(2) txtParam(3) txtParam(4) txtParam(5) txtParam(6) "
            "txtParam(7) udParam(2) udParam(3) udParam(4) udParam(5) udParam(6) udParam(7) "
            "txtParam(8) txtParam(9) txtParam(10) udParam(8) udParam(9) udParam(10)").split(' ');
    // Labels, frames and arrows take no focus and drop out of the chain.
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
    // Would the frame let them through, these would step rows, enable "Set"
    // and send commands; typing would fill the version box.
    for (const char *button : {"btnShutter", "btnGet", "btnSet"})
        WindowBench::press(b.find(button));
    for (int row : {0, 6, 10}) {
        b.step(row, true);
        b.step(row, true);
        b.step(row, false);
    }
    QTest::mouseClick(b.find("txtVersion"), Qt::LeftButton);
    QTest::keyClicks(b.find("txtVersion"), "V9.99");

    QVERIFY(b.find("fmeSerial")->isEnabled() && b.find("btnConnect")->isEnabled());
    QVERIFY(b.find<QRadioButton>("optCom(0)")->isChecked());
    QVERIFY(b.find("optCom(1)")->isEnabled());
    QVERIFY(b.find<QLineEdit>("txtVersion")->text().isEmpty());
    QWidget *params = b.find("fmeParams");
    QVERIFY(!params->isEnabled());
    QVERIFY(!b.find("btnSet")->isEnabledTo(params));
    QVERIFY(b.find("btnGet")->isEnabledTo(params) && b.find("btnShutter")->isEnabledTo(params));
    for (int row = 0; row < FlightParams::RowCount; ++row)
        QVERIFY(b.box(row)->isEnabledTo(params) && b.spinner(row)->isEnabledTo(params));
    QCOMPARE(b.values(), QList<int>(FlightParams::RowCount, 0));
    QCOMPARE(b.texts(), QStringList(FlightParams::RowCount, QString()));

    QVERIFY(!b.link().comPERLO.PortOpen());
    QCOMPARE(b.link().comPERLO.CommPort(), qint16(1));
    QCOMPARE(b.link().tmrDog.Interval(), 500);
    QVERIFY(!b.link().tmrDog.Enabled());
    QVERIFY(b.sim().receivedBytes().isEmpty());
    QVERIFY(b.boxes.seen.isEmpty());
    QCOMPARE(b.window().MousePointer(), 0);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(tst_WindowLayout)
#include "tst_window_layout.moc"
