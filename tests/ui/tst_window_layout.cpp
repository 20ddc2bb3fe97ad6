#include "flightparams.h"
#include "updown.h"
#include "windowbench.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QToolButton>
#include <QtTest>

// The window as it comes up: its frame, where every control sits, what it
// says, and that nothing but the port choice and "Connect" takes input.
class tst_WindowLayout : public QObject
{
    Q_OBJECT
private slots:
    void windowFrame();
    void captions_data();
    void captions();
    void geometry_data();
    void geometry();
    void versionCaptionIsNotClipped();
    void rowsFollowTheParameterTable();
    void fonts();
    void boxesAreReadOnlyAndAligned();
    void tabOrder();
    void focusStartsOnCom1();
    void portOptionsNameTheirDevices();
    void initialState();
    void onlyThePortChoiceAndConnectRespond();
    void typingIntoTheVersionBoxChangesNothing();
    void portChoiceSetsThePortNumber();
};

namespace {

// Name and unit label numbers of rows 0 to 10.
constexpr int NameLabel[] = {2, 3, 4, 5, 6, 7, 8, 9, 18, 19, 20};
constexpr int UnitLabel[] = {10, 11, 12, 13, 14, 15, 16, 17, 23, 22, 24};

QLabel *label(WindowBench &bench, int number)
{
    return bench.window().findChild<QLabel *>(QStringLiteral("Label%1").arg(number));
}

} // namespace

void tst_WindowLayout::windowFrame()
{
    WindowBench bench;
    QVERIFY(bench.start());
    frmMain &w = bench.window();

    QCOMPARE(w.windowTitle(), QStringLiteral("PERLO-II Timer Control Interface"));
    QCOMPARE(w.size(), QSize(345, 523));
    QCOMPARE(w.minimumSize(), QSize(345, 523));
    QCOMPARE(w.maximumSize(), QSize(345, 523));
    w.resize(500, 700);
    QCOMPARE(w.size(), QSize(345, 523));

    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);

    const QList<QSize> iconSizes = w.windowIcon().availableSizes();
    QVERIFY2(iconSizes.contains(QSize(16, 16)), qPrintable(QDebug::toString(iconSizes)));
    QVERIFY2(iconSizes.contains(QSize(32, 32)), qPrintable(QDebug::toString(iconSizes)));

    // Centred as well as a frame not yet known at placing time allows.
    const QPoint offCentre = w.frameGeometry().center() - w.screen()->availableGeometry().center();
    const QSize frameExtra = w.frameGeometry().size() - w.size();
    QVERIFY2(qAbs(offCentre.x()) <= frameExtra.width() + 1
                     && qAbs(offCentre.y()) <= frameExtra.height() + 1,
             qPrintable(QDebug::toString(w.frameGeometry())));
}

void tst_WindowLayout::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("fmeSerial") << "fmeSerial" << "Serial Interface";
    QTest::newRow("fmeParams") << "fmeParams" << "Flight Parameters";
    QTest::newRow("optCom(0)") << "optCom(0)" << "COM1";
    QTest::newRow("optCom(1)") << "optCom(1)" << "COM2";
    QTest::newRow("btnConnect") << "btnConnect" << "Connect";
    QTest::newRow("Label1") << "Label1" << "Timer Firmware Version";
    QTest::newRow("btnSet") << "btnSet" << "Set";
    QTest::newRow("btnGet") << "btnGet" << "Retrieve";
    QTest::newRow("btnShutter") << "btnShutter" << "Test Shutter";
}

void tst_WindowLayout::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    WindowBench bench;
    QVERIFY(bench.start());
    QWidget *control = bench.window().findChild<QWidget *>(name);
    QVERIFY(control);
    QString shown;
    if (auto *frame = qobject_cast<QGroupBox *>(control))
        shown = frame->title();
    else if (auto *button = qobject_cast<QAbstractButton *>(control))
        shown = button->text();
    else if (auto *text = qobject_cast<QLabel *>(control))
        shown = text->text();
    QCOMPARE(shown, caption);
}

void tst_WindowLayout::geometry_data()
{
    // Pixels at 96 dpi of the twips layout, relative to each control's frame.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("fmeSerial") << "fmeSerial" << "frmMain" << QRect(8, 8, 329, 81);
    QTest::newRow("fmeParams") << "fmeParams" << "frmMain" << QRect(8, 96, 329, 417);
    QTest::newRow("optCom(0)") << "optCom(0)" << "fmeSerial" << QRect(16, 24, 57, 13);
    QTest::newRow("optCom(1)") << "optCom(1)" << "fmeSerial" << QRect(16, 48, 57, 13);
    QTest::newRow("btnConnect") << "btnConnect" << "fmeSerial" << QRect(248, 16, 65, 25);
    QTest::newRow("txtVersion") << "txtVersion" << "fmeSerial" << QRect(248, 48, 65, 25);
    QTest::newRow("btnSet") << "btnSet" << "fmeParams" << QRect(24, 384, 81, 25);
    QTest::newRow("btnGet") << "btnGet" << "fmeParams" << QRect(128, 384, 81, 25);
    QTest::newRow("btnShutter") << "btnShutter" << "fmeParams" << QRect(232, 384, 81, 25);
    QTest::newRow("row 0 name") << "Label2" << "fmeParams" << QRect(16, 24, 113, 17);
    QTest::newRow("row 0 box") << "txtParam(0)" << "fmeParams" << QRect(160, 24, 41, 28);
    QTest::newRow("row 0 spinner") << "udParam(0)" << "fmeParams" << QRect(200, 24, 16, 28);
    QTest::newRow("row 0 unit") << "Label10" << "fmeParams" << QRect(224, 24, 89, 17);
    QTest::newRow("row 2 name") << "Label4" << "fmeParams" << QRect(16, 88, 153, 17);
    QTest::newRow("row 6 spinner") << "udParam(6)" << "fmeParams" << QRect(201, 216, 16, 28);
    QTest::newRow("row 10 name") << "Label20" << "fmeParams" << QRect(16, 344, 105, 17);
    QTest::newRow("row 10 box") << "txtParam(10)" << "fmeParams" << QRect(160, 24 + 32 * 10, 40, 28);
    QTest::newRow("row 10 spinner") << "udParam(10)" << "fmeParams" << QRect(201, 344, 17, 28);
    QTest::newRow("row 10 unit") << "Label24" << "fmeParams" << QRect(224, 344, 89, 17);
}

void tst_WindowLayout::geometry()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, rect);
    WindowBench bench;
    QVERIFY(bench.start());
    QWidget *control = bench.window().findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(control->geometry(), rect);
}

void tst_WindowLayout::versionCaptionIsNotClipped()
{
    // Designed as 128,56 113x17; a wider stand-in font may only push its left edge out.
    WindowBench bench;
    QVERIFY(bench.start());
    QLabel *caption = label(bench, 1);
    QCOMPARE(caption->parentWidget()->objectName(), QString("fmeSerial"));
    QCOMPARE(caption->geometry().right(), 240);
    QCOMPARE(caption->geometry().top(), 56);
    QCOMPARE(caption->height(), 17);
    QVERIFY(caption->geometry().left() <= 128);
    QVERIFY(caption->width() >= caption->sizeHint().width());
    QVERIFY(caption->geometry().left() > bench.window().findChild<QWidget *>("optCom(0)")->geometry().right());
}

void tst_WindowLayout::rowsFollowTheParameterTable()
{
    WindowBench bench;
    QVERIFY(bench.start());
    for (const FlightParam &param : FlightParams::table()) {
        const int row = param.row;
        QLabel *name = label(bench, NameLabel[row]);
        QLabel *unit = label(bench, UnitLabel[row]);
        QVERIFY(name && unit && bench.box(row) && bench.spinner(row));
        QCOMPARE(name->text(), QLatin1String(param.name));
        QCOMPARE(unit->text(), QLatin1String(param.unit));
        // Each row stands on one line, in row order.
        QCOMPARE(name->y(), 24 + 32 * row);
        QCOMPARE(unit->y(), name->y());
        QCOMPARE(bench.box(row)->y(), name->y());
        QCOMPARE(bench.spinner(row)->y(), name->y());
        QCOMPARE(bench.spinner(row)->Min(), param.minimum);
        QCOMPARE(bench.spinner(row)->Max(), param.maximum);
    }
    QCOMPARE(label(bench, NameLabel[7])->text(), QStringLiteral("Autorun Mode"));
    QCOMPARE(bench.spinner(7)->Min(), 0);
    QCOMPARE(bench.spinner(7)->Max(), 1);
    QCOMPARE(label(bench, NameLabel[6])->text(), QStringLiteral("Shutter Speed"));
    QCOMPARE(bench.spinner(6)->Max(), 255);
}

void tst_WindowLayout::fonts()
{
    WindowBench bench;
    QVERIFY(bench.start());
    auto checkFont = [](QWidget *w, qreal points, bool bold, bool italic) {
        const QFont f = w->font();
        QCOMPARE(f.family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(f.pointSizeF(), points);
        QCOMPARE(f.bold(), bold);
        QCOMPARE(f.italic(), italic);
    };
    checkFont(bench.versionBox(), 12, true, false);
    for (int row = 0; row < FlightParams::RowCount; ++row) {
        checkFont(bench.box(row), 12, true, false);
        checkFont(label(bench, NameLabel[row]), 9.75, true, true);
        checkFont(label(bench, UnitLabel[row]), 9.75, true, true);
    }
    // The rest keep the window's own font.
    const QFont windowFont = bench.window().font();
    for (QWidget *w : std::initializer_list<QWidget *>{
                 label(bench, 1), bench.button("btnConnect"), bench.button("btnSet"),
                 bench.portOption(0), bench.frame("fmeParams")}) {
        QCOMPARE(w->font(), windowFont);
    }
}

void tst_WindowLayout::boxesAreReadOnlyAndAligned()
{
    WindowBench bench;
    QVERIFY(bench.start());
    QVERIFY(bench.versionBox()->isReadOnly());
    QCOMPARE(bench.versionBox()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    for (int row = 0; row < FlightParams::RowCount; ++row) {
        QVERIFY(bench.box(row)->isReadOnly());
        QCOMPARE(bench.box(row)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        QCOMPARE(bench.box(row)->palette().color(QPalette::Active, QPalette::Base),
                 QGuiApplication::palette().color(QPalette::Active, QPalette::Base));
    }
    // The version box sits on the menu background, the rows on the window background.
    QVERIFY(bench.versionBox()->palette().color(QPalette::Active, QPalette::Base)
            != bench.box(0)->palette().color(QPalette::Active, QPalette::Base));
}

void tst_WindowLayout::tabOrder()
{
    WindowBench bench;
    QVERIFY(bench.start());
    QStringList expected{"optCom(0)", "optCom(1)", "btnConnect", "txtVersion", "btnShutter",
                         "btnSet", "btnGet", "txtParam(0)", "udParam(0)", "txtParam(1)",
                         "udParam(1)"};
    for (int row = 2; row <= 7; ++row)
        expected << QStringLiteral("txtParam(%1)").arg(row);
    for (int row = 2; row <= 7; ++row)
        expected << QStringLiteral("udParam(%1)").arg(row);
    for (int row = 8; row <= 10; ++row)
        expected << QStringLiteral("txtParam(%1)").arg(row);
    for (int row = 8; row <= 10; ++row)
        expected << QStringLiteral("udParam(%1)").arg(row);

    // The port options are one tab stop, so only the checked one has tab
    // focus; the rest of the chain holds labels, frames and arrows, which
    // take no focus.
    QWidget *first = bench.portOption(0);
    QStringList chain;
    QWidget *w = first;
    do {
        if (w->focusPolicy() != Qt::NoFocus)
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != first && chain.size() <= expected.size());
    QCOMPARE(chain, expected);
}

void tst_WindowLayout::focusStartsOnCom1()
{
    WindowBench bench;
    QVERIFY(bench.start());
    bench.window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&bench.window()));
    QCOMPARE(QApplication::focusWidget(), bench.portOption(0));
}

void tst_WindowLayout::portOptionsNameTheirDevices()
{
    WindowBench bench(2);
    QVERIFY(bench.start());
    QCOMPARE(bench.portOption(0)->toolTip(), bench.sim(1).portPath());
    QCOMPARE(bench.portOption(1)->toolTip(), bench.sim(2).portPath());
    QVERIFY(bench.sim(1).portPath() != bench.sim(2).portPath());
}

void tst_WindowLayout::initialState()
{
    WindowBench bench;
    QVERIFY(bench.start());
    QGroupBox *params = bench.frame("fmeParams");

    QVERIFY(bench.frame("fmeSerial")->isEnabled());
    QVERIFY(bench.button("btnConnect")->isEnabled());
    QVERIFY(bench.portOption(0)->isEnabled() && bench.portOption(1)->isEnabled());
    QVERIFY(bench.portOption(0)->isChecked());
    QVERIFY(!bench.portOption(1)->isChecked());
    QVERIFY(bench.versionBox()->text().isEmpty());

    QVERIFY(!params->isEnabled());
    QVERIFY(!bench.button("btnSet")->isEnabledTo(params));
    QVERIFY(bench.button("btnGet")->isEnabledTo(params));
    QVERIFY(bench.button("btnShutter")->isEnabledTo(params));
    for (int row = 0; row < FlightParams::RowCount; ++row) {
        QVERIFY(bench.box(row)->isEnabledTo(params));
        QVERIFY(bench.spinner(row)->isEnabledTo(params));
        QVERIFY(!bench.box(row)->isEnabled());
        QCOMPARE(bench.spinner(row)->Value(), 0);
        QVERIFY(bench.box(row)->text().isEmpty());
    }

    TimerLink &link = bench.link();
    QVERIFY(!link.comPERLO.PortOpen());
    QCOMPARE(link.comPERLO.CommPort(), qint16(1));
    QCOMPARE(link.tmrDog.Interval(), 500);
    QVERIFY(!link.tmrDog.Enabled());
    QCOMPARE(link.tmrWait.Interval(), 0);
    QCOMPARE(bench.window().MousePointer(), 0);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void tst_WindowLayout::onlyThePortChoiceAndConnectRespond()
{
    WindowBench bench;
    QVERIFY(bench.start());
    // Would the frame let them through, these would step rows, enable "Set"
    // and send commands.
    bench.click(bench.button("btnShutter"));
    bench.click(bench.button("btnGet"));
    bench.click(bench.button("btnSet"));
    for (int row : {0, 6, 10}) {
        bench.click(bench.box(row));
        bench.stepUp(row);
        bench.stepUp(row);
        bench.stepDown(row);
    }
    QTest::qWait(50);

    for (int row = 0; row < FlightParams::RowCount; ++row) {
        QCOMPARE(bench.spinner(row)->Value(), 0);
        QVERIFY(bench.box(row)->text().isEmpty());
    }
    QVERIFY(!bench.button("btnSet")->isEnabledTo(bench.frame("fmeParams")));
    QVERIFY(bench.button("btnShutter")->isEnabledTo(bench.frame("fmeParams")));
    QVERIFY(bench.sim().receivedBytes().isEmpty());
    QVERIFY(bench.boxes.seen().isEmpty());
    QVERIFY(!bench.link().comPERLO.PortOpen());
    QCOMPARE(bench.window().MousePointer(), 0);
}

void tst_WindowLayout::typingIntoTheVersionBoxChangesNothing()
{
    WindowBench bench;
    QVERIFY(bench.start());
    QLineEdit *version = bench.versionBox();
    bench.click(version);
    QTest::keyClicks(version, "V9.99");
    QTest::keyClick(version, Qt::Key_Backspace);
    QVERIFY(version->text().isEmpty());
}

void tst_WindowLayout::portChoiceSetsThePortNumber()
{
    WindowBench bench;
    QVERIFY(bench.start());
    bench.click(bench.portOption(1));
    QVERIFY(bench.portOption(1)->isChecked());
    QCOMPARE(bench.link().comPERLO.CommPort(), qint16(2));
    bench.click(bench.portOption(0));
    QVERIFY(bench.portOption(0)->isChecked());
    QCOMPARE(bench.link().comPERLO.CommPort(), qint16(1));
    QVERIFY(!bench.link().comPERLO.PortOpen());
}

QTEST_MAIN(tst_WindowLayout)
#include "tst_window_layout.moc"
