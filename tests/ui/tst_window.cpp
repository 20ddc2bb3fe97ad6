// The window as the user meets it: its layout, and scenarios of clicks,
// steps, faults and closes against simulated timers, each with what must
// follow: the bytes on the wire, the boxes, the controls' states, the rows
// and the timings.
#include "windowbench.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QFileInfo>
#include <QLabel>
#include <QtTest>

#include <grp.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

struct Scenario
{
    QString steps; // "connect; up 6; fault silent; set", see WindowBench::addVerbs()
    QByteArray wire; // what timer 1 received, from its start
    QStringList boxes = {}; // %1 the device COM1 opened, %2 the group that owns it
    std::optional<WindowState> state = {}; // absent: not looked at
    QString texts = {}; // as WindowBench::texts(); empty: not looked at
    int busyMs = 0; // the least the last step's busy time can be
    QByteArray wire2 = {}; // what timer 2 received
};
Q_DECLARE_METATYPE(Scenario)

class tst_Window : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { m_bench = std::make_unique<WindowBench>(); }
    void layout();
    void tabOrderAndFocus();
    void scenario_data();
    void scenario(); // last: a row may give up this process's file access rights

private:
    std::unique_ptr<WindowBench> m_bench;
};

namespace {

const QList<int> TimerRows{ 11, 22, 33, 44, 55, 66, 2, 200, 88, 99, 255 }; // a 200 ms shutter
const char *const Shown = "11 22 33 44 55 66 2 1 88 99 255";
const QList<int> Other{ 1, 2, 3, 4, 5, 6, 70, 0, 9, 10, 11 };
const char *const OtherShown = "1 2 3 4 5 6 70 0 9 10 11";
const QString TimedOut = QStringLiteral("\r\n\r\nI/O Timed Out");
const QString Refused = QStringLiteral("\r\n\r\nTimer reproted Error");
const QByteArray Connected = "/V/Z/D";

constexpr auto Serial = WindowState::Serial, Connect = WindowState::Connect,
               Params = WindowState::Params, Get = WindowState::Get, Set = WindowState::Set,
               Shutter = WindowState::Shutter;
constexpr bool Open = true, Closed = false;
// Retrieve and Test Shutter are enabled in their own right, in the disabled frame.
const WindowState AtStart{ 1, Closed, Serial | Connect | Get | Shutter, "xxxxxxxxxxx", "" };
const WindowState Ready{ 1, Open, Params | Get | Shutter, "xxxxxxxxxxx", "V2.10" };
const WindowState Ready8{ 1, Open, Params | Get | Shutter, "xxxxxxxx...", "V2.10" };
const WindowState OnCom2{ 2, Open, Params | Get | Shutter, "xxxxxxxxxxx", "V2.10" };
const WindowState NoTimer{ 1, Closed, Serial | Connect | Get | Shutter, "xxxxxxxx...", "N/A" };
// A step enables Set, and on row 6 disables Test Shutter.
const WindowState Edited = Ready.with(Set), Edited6 = Edited.without(Shutter);
const WindowState Lost = Edited.portClosed();

// Root opens any file whatever its mode: without these capabilities (both
// sets, as `access()` consults the permitted one) it is held to the mode bits.
bool giveUpFileAccessOverride()
{
    __user_cap_header_struct header{ _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const quint32 overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective &= ~overrides;
    data[0].permitted &= ~overrides;
    return ::syscall(SYS_capset, &header, data) == 0;
}

QList<int> digitsOf(const QString &texts)
{
    QList<int> values;
    for (const QString &text : texts.split(' '))
        values.append(text.toInt());
    return values;
}

QString fontOf(QWidget *w)
{
    const QFont f = w->font();
    return QStringLiteral("%1 %2%3%4")
            .arg(f.family())
            .arg(f.pointSizeF())
            .arg(f.bold() ? " bold" : "", f.italic() ? " italic" : "");
}

} // namespace

void tst_Window::initTestCase()
{
    // Qt's own palette gives the menu and the border colour one value: a row
    // greyed with the wrong one would look right.
    QPalette system = QGuiApplication::palette();
    system.setColor(QPalette::Window, QColor(0xd4, 0xd0, 0xc8));
    system.setColor(QPalette::Button, QColor(0xb4, 0xb4, 0xb4));
    QGuiApplication::setPalette(system);
}

void tst_Window::layout()
{
    WindowBench &b = *m_bench;
    QVERIFY(b.start());
    frmMain &w = b.window();
    QCOMPARE(w.windowTitle(), QStringLiteral("PERLO-II Timer Control Interface"));
    w.resize(500, 700);
    QCOMPARE(w.size(), QSize(345, 523));
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint)
            && (w.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY((w.geometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center())
                    .manhattanLength()
            <= 4);
    const QList<QSize> iconSizes = w.windowIcon().availableSizes();
    QVERIFY(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)));

    // Pixels at 96 dpi of the twips layout.
    struct Control
    {
        const char *name;
        const char *caption;
        QRect rect;
    };
    for (const Control &c : { Control{ "fmeSerial", "Serial Interface", { 8, 8, 329, 81 } },
                              Control{ "btnConnect", "Connect", { 248, 16, 65, 25 } },
                              Control{ "btnSet", "Set", { 24, 384, 81, 25 } },
                              Control{ "txtParam(10)", "", { 160, 344, 40, 28 } },
                              Control{ "udParam(10)", "", { 201, 344, 17, 28 } } }) {
        QWidget *control = b.find(c.name);
        if (auto *button = qobject_cast<QAbstractButton *>(control))
            QCOMPARE(button->text(), QLatin1String(c.caption));
        QCOMPARE(control->geometry(), c.rect);
    }
    // Designed as 128,56 113x17: a wider stand-in font may only push its left edge out.
    auto *caption = b.find<QLabel>("Label1");
    QCOMPARE(caption->text(), QStringLiteral("Timer Firmware Version"));
    QVERIFY(caption->geometry().right() == 240 && caption->width() >= caption->sizeHint().width());

    constexpr int NameLabel[] = { 2, 3, 4, 5, 6, 7, 8, 9, 18, 19, 20 };
    constexpr int UnitLabel[] = { 10, 11, 12, 13, 14, 15, 16, 17, 23, 22, 24 };
    QStringList rows;
    for (int i = 0; i < FlightParams::RowCount; ++i) {
        auto *name = b.find<QLabel>(QStringLiteral("Label%1").arg(NameLabel[i]));
        rows << QStringLiteral("%1 %2 %3..%4")
                        .arg(name->text(),
                             b.find<QLabel>(QStringLiteral("Label%1").arg(UnitLabel[i]))->text())
                        .arg(b.spinner(i)->Min())
                        .arg(b.spinner(i)->Max());
        QCOMPARE(name->geometry().top(), (360 + 480 * i + 7) / 15);
        QCOMPARE(fontOf(name) + ", " + fontOf(b.box(i)),
                 QStringLiteral("MS Sans Serif 9.75 bold italic, MS Sans Serif 12 bold"));
        QVERIFY(b.box(i)->isReadOnly() && (b.box(i)->alignment() & Qt::AlignRight));
        for (QWidget *control : std::initializer_list<QWidget *>{
                     b.box(i), b.spinner(i) }) { // what a screen reader says
            QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(control);
            QCOMPARE(spoken->text(QAccessible::Name) + ' ' + spoken->text(QAccessible::Description),
                     name->text() + ' ' + FlightParams::row(i).unit);
        }
    }
    QCOMPARE(rows.join(", "),
             "Launch Detect (1/100 Sec) 0..255, Launch Delay (1/10 Sec) 0..255, Number of Groups "
             "(Count) 0..255, "
             "Number of Pictures (Count) 0..255, Picture Interval (1/10 Sec) 0..255, Group "
             "Interval (Seconds) 0..255, "
             "Shutter Speed (1/10 Sec) 0..255, Autorun Mode (0 or 1) 0..1, Powerup Time (1/10 Sec) "
             "0..255, "
             "Cycle Count (Count) 0..255, Cycle Pacing (1/10 Sec) 0..255");
    auto *version = b.find<QLineEdit>("txtVersion");
    QCOMPARE(fontOf(version), QStringLiteral("MS Sans Serif 12 bold"));
    QVERIFY(version->isReadOnly() && (version->alignment() & Qt::AlignHCenter));
    QCOMPARE(QAccessible::queryAccessibleInterface(version)->text(QAccessible::Name),
             QStringLiteral("Timer Firmware Version"));

    // Each tooltip names what the option would open at the moment it is shown.
    auto tooltip = [&](const char *option) {
        QWidget *w = b.find(option);
        QHelpEvent show(QEvent::ToolTip, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(w, &show);
        return w->toolTip();
    };
    qunsetenv("RURUZIDURA_COM2");
    b.link().comPERLO.setPortLister([] {
        return QList<PresentPort>{ { "/dev/ttyUSB0", "FT232R USB UART", "FTDI" } };
    });
    QCOMPARE(QStringList({ tooltip("optCom(0)"), tooltip("optCom(1)") }),
             QStringList({ b.cable(1), "/dev/ttyS1" }));
    qunsetenv("RURUZIDURA_COM1");
    QCOMPARE(tooltip("optCom(0)"), QStringLiteral("/dev/ttyUSB0: FT232R USB UART (FTDI)"));
}

void tst_Window::tabOrderAndFocus()
{
    QVERIFY(m_bench->start());
    const QStringList expected =
            QStringLiteral(
                    "optCom(0) optCom(1) btnConnect txtVersion btnShutter btnSet btnGet "
                    "txtParam(0) udParam(0) "
                    "txtParam(1) udParam(1) txtParam(2) txtParam(3) txtParam(4) txtParam(5) "
                    "txtParam(6) "
                    "txtParam(7) udParam(2) udParam(3) udParam(4) udParam(5) udParam(6) udParam(7) "
                    "txtParam(8) txtParam(9) txtParam(10) udParam(8) udParam(9) udParam(10)")
                    .split(' ');
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

void tst_Window::scenario_data()
{
    QTest::addColumn<Scenario>("s");
    const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
    const char *const blank = "- - - - - - - - - - -";
    const char *const row0Up = "12 22 33 44 55 66 2 1 88 99 255",
                      *const row6Up = "11 22 33 44 55 66 3 1 88 99 255";
    auto sent = [](const QString &texts) { return Connected + "/P" + blockOf(digitsOf(texts)); };
    const QString setFailed = "Error Setting Flight Parameters",
                  noVersion = "Error getting timer firmware version",
                  notRead = "Error Retreiving Flight Parameters",
                  shutterFailed = "Error Testing Shutter: ";
    const QString hint = "\r\nCOM1 and COM2 are the first two of them. For another port, set "
                         "RURUZIDURA_COM1 to its device.";
    row("start: only the port choice and Connect take input") << Scenario{
        "shutter; get; set; up 0; down 0; up 6; down 10; type", "", {}, AtStart, blank
    };
    // Connect: busy for the version read only; the rows' change events come first.
    row("connect, 16-byte") << Scenario{ "delay 100; connect", Connected, {}, Ready, Shown, 200 };
    row("connect, 8-byte") << Scenario{
        "gen 8; connect", Connected, {}, Ready8, "11 22 33 44 55 66 2 1 - - -"
    };
    row("connect, no timer") << Scenario{
        "fault silent; connect", "/V/Z", { noVersion + TimedOut }, NoTimer, blank, 1000
    };
    row("connect, refused") << Scenario{
        "fault refuse; connect", "/V/Z", { noVersion + Refused }, NoTimer, blank
    };
    row("connect, no timer, then COM2") << Scenario{ "fault silent; connect; com2; connect",
                                                     "/V/Z",
                                                     { noVersion + TimedOut },
                                                     OnCom2,
                                                     OtherShown,
                                                     0,
                                                     Connected };
    row("connect, short block, then a step up from the value at start")
            << Scenario{ "gen 8; fault short; connect; up 0",
                         Connected,
                         { "Error retreiving parameters" },
                         Ready8.with(Set),
                         "1 - - - - - - - - - -" };
    row("COM2 then COM1 leaves port 1")
            << Scenario{ "com2; com1; connect", Connected, {}, Ready, Shown };
    row("COM2 then Connect opens port 2")
            << Scenario{ "com2; connect", "", {}, OnCom2, OtherShown, 0, Connected };
    row("port absent, no serial port")
            << Scenario{ "absent; ports; connect",
                         "",
                         { "Cannot open COM1 (%1)\r\n\r\nNo such file or directory\r\n\r\nThis "
                           "computer has no serial port: the timer needs a USB serial adapter." },
                         AtStart,
                         blank };
    row("port held by another program") << Scenario{
        "held; ports /dev/ttyUSB0|FT232R USB UART|FTDI,/dev/ttyS0; connect",
        "",
        { "Cannot open COM1 (%1)\r\n\r\nPermission error while locking the device\r\n\r\nAnother "
          "program is using the port; close it and try again.\r\n\r\nSerial ports present:\r\n"
          "/dev/ttyS0\r\n/dev/ttyUSB0: FT232R USB UART (FTDI)"
          + hint },
        AtStart,
        blank
    };

    row("set, written") << Scenario{ "connect; up 6; set", sent(row6Up), {}, Ready, row6Up, 180 };
    row("set, refused, row 0 stepped") << Scenario{
        "connect; up 0; fault refuse; set", sent(row0Up), { setFailed + Refused }, Edited, row0Up
    };
    row("set, timed out, row 6 stepped") << Scenario{ "connect; up 6; fault silent; set",
                                                      sent(row6Up),
                                                      { setFailed + TimedOut },
                                                      Edited6,
                                                      row6Up,
                                                      680 };
    row("retrieve") << Scenario{
        "connect; up 6; block; get", Connected + "/D", {}, Ready, OtherShown
    };
    row("retrieve, refused") << Scenario{
        "connect; up 6; fault refuse; get", Connected + "/D", { notRead }, Edited6, row6Up, 500
    };
    row("test shutter, 0.2 s") << Scenario{
        "connect; shutter", Connected + "/S", {}, Ready, Shown, 200
    };
    row("test shutter, refused") << Scenario{ "connect; fault refuse; shutter",
                                              Connected + "/S",
                                              { shutterFailed + Refused },
                                              Ready,
                                              Shown };
    row("test shutter, timed out") << Scenario{ "row 6 0; connect; fault silent; shutter",
                                                Connected + "/S",
                                                { shutterFailed + TimedOut },
                                                Ready,
                                                "11 22 33 44 55 66 0 1 88 99 255",
                                                500 };

    // Input while an exchange waits starts nothing and changes nothing.
    row("input during Connect") << Scenario{
        "delay 150; barrage; connect", Connected, {}, Ready, Shown
    };
    row("input during Retrieve") << Scenario{
        "connect; up 0; delay 150; barrage; get", Connected + "/D", {}, Ready, Shown
    };
    row("input during Set") << Scenario{
        "connect; up 0; delay 150; barrage; set", sent(row0Up), {}, Ready, row0Up
    };
    row("input during Test Shutter") << Scenario{
        "connect; delay 150; barrage; shutter", Connected + "/S", {}, Ready, Shown
    };

    // A close while an exchange waits ends it at once: no box, the port closed.
    // Row 6 at 245 gives Test Shutter a 25 s watchdog.
    for (const auto &[name, steps, wire] :
         std::initializer_list<std::tuple<const char *, const char *, QByteArray>>{
                 { "Connect, version read", "slow V; close V 0 100; connect", "/V" },
                 { "Connect, parameter read", "slow D; close D 0 100; connect", Connected },
                 { "Retrieve", "connect; slow D; close D 0 100; get", Connected + "/D" },
                 { "Set, pause after the command", "connect; up 0; slow P; close P 0 30; set",
                   Connected + "/P" },
                 { "Set, pauses between bytes", "connect; up 0; slow P; close P 3 0; set",
                   Connected + "/P\x0c\x16\x21" },
                 { "Set, waiting for the reply", "connect; up 0; slow P; close P 16 100; set",
                   sent("12 22 33 44 55 66 245 1 88 99 255") },
                 { "Test Shutter, 25 s watchdog", "connect; slow S; close S 0 200; shutter",
                   Connected + "/S" } })
        QTest::addRow("close during %s", name) << Scenario{ "row 6 245; " + QString(steps), wire };

    // The line goes away during a wait: the exchange ends by its watchdog, and
    // the next one opens the port again, mapped afresh.
    const QStringList shutterTimedOut{ shutterFailed + TimedOut };
    row("hang-up mid-reply, nothing comes back")
            << Scenario{ "connect; up 0; fault hangup; shutter; idle; get; set",
                         Connected + "/S",
                         shutterTimedOut + QStringList{ notRead, setFailed + TimedOut },
                         Lost,
                         row0Up,
                         680 };
    row("dropped while silent, nothing comes back")
            << Scenario{ "connect; up 0; fault silent; drop; shutter; idle; get",
                         Connected + "/S",
                         shutterTimedOut + QStringList{ notRead },
                         Lost,
                         row0Up,
                         500 };
    row("replugged at the same path")
            << Scenario{ "connect; fault hangup; get; idle; replug com1; get; up 0; set",
                         Connected + "/D",
                         { notRead },
                         Ready,
                         "2 2 3 4 5 6 70 0 9 10 11",
                         0,
                         "/D/P" + blockOf(digitsOf("2 2 3 4 5 6 70 0 9 10 11")) };
    row("replugged under another name")
            << Scenario{ "adapter; connect; fault silent; drop; shutter; idle; replug ttyUSB1; get",
                         Connected + "/S",
                         shutterTimedOut,
                         Ready,
                         OtherShown,
                         0,
                         "/D" };

    // Each row steps by one and stops at both ends; a step enables "Set", and
    // on row 6 disables "Test Shutter".
    for (int r = 0; r < FlightParams::RowCount; ++r) {
        for (const bool atTop : { true, false }) {
            const int end = atTop ? FlightParams::row(r).maximum : 0;
            QStringList texts = QString(Shown).split(' ');
            texts[r] = QString::number(end);
            const QString steps = QStringLiteral("row %1 %2; connect; %3 %1; %4 %1; %3 %1; %3 %1")
                                          .arg(r)
                                          .arg(end)
                                          .arg(atTop ? "up" : "down", atTop ? "down" : "up");
            QTest::addRow("row %d stops at %d", r, end)
                    << Scenario{ steps, Connected, {}, r == 6 ? Edited6 : Edited, texts.join(' ') };
        }
    }
    // Last: it gives up this process's file access override, where it runs as root.
    row("port not permitted") << Scenario{
        "denied; ports /dev/ttyACM0; connect",
        "",
        { "Cannot open COM1 (%1)\r\n\r\nPermission denied\r\n\r\nYou must be a "
          "member of the group \"%2\", which owns the device (sudo usermod -aG "
          "%2 $USER, then log in again).\r\n\r\nSerial ports present:\r\n"
          "/dev/ttyACM0"
          + hint },
        AtStart,
        blank
    };
}

// Timer 1 holds TimerRows, timer 2 Other. No step may spin: a long one costs
// little processor time.
void tst_Window::scenario()
{
    QFETCH(Scenario, s);
    WindowBench &b = *m_bench;
    b.sim().setBlock(blockOf(TimerRows));
    b.sim(2).setBlock(blockOf(Other));
    QVERIFY(b.start());
    if (s.steps.contains("denied") && ::geteuid() == 0 && !giveUpFileAccessOverride())
        QSKIP("running as root and unable to give up the file access override");
    b.perform(s.steps);
    if (QTest::currentTestFailed())
        return;
    if (s.steps.contains("close")) // a close cuts the wire short at a moment of its own
        QVERIFY2(b.sim().receivedBytes().startsWith(s.wire),
                 b.sim().receivedBytes().toHex().constData());
    else
        QCOMPARE(b.sim().receivedBytes(), s.wire);
    QCOMPARE(b.sim(2).receivedBytes(), s.wire2);
    const QString device = b.link().comPERLO.device();
    const group *owner = ::getgrgid(QFileInfo(device).groupId());
    QCOMPARE(b.boxes,
             QStringList(s.boxes)
                     .replaceInStrings("%1", device)
                     .replaceInStrings("%2", owner ? owner->gr_name : ""));
    if (s.state)
        QCOMPARE(b.state(), *s.state);
    if (!s.texts.isEmpty())
        QCOMPARE(b.texts(), s.texts);
    QVERIFY(!QGuiApplication::overrideCursor() && b.window().MousePointer() == 0);
    QCOMPARE(b.wrongPointers, QString());
    // Timers never fire early, so the floor is exact: below it a pause or the
    // watchdog was cut short. An exchange that hung past its watchdog would
    // take seconds more; a lost port's reopening and a loaded machine's
    // lateness together stay far below that.
    const qint64 busyMs = b.busyMs();
    QVERIFY2(s.busyMs == 0 || (busyMs >= s.busyMs && busyMs <= s.busyMs + 1500),
             qPrintable(QString::number(busyMs)));
}

QTEST_MAIN(tst_Window)
#include "tst_window.moc"
