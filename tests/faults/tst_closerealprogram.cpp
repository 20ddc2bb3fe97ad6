// The real program, closed by its window manager's close request while an
// exchange waits: it ends at once and cleanly, without a box, on its own
// event loop. Runs under a private Xvfb server; skipped where there is none.
#include "perlosim.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <functional>
#include <memory>

namespace {

const char WindowTitle[] = "PERLO-II Timer Control Interface";

// The window's controls in window pixels: centres of the buttons and of the
// up arrow of row 0, from the layout in twips (15 to the pixel).
constexpr QPoint ConnectButton{8 + 248 + 32, 8 + 16 + 12};
constexpr QPoint SetButton{8 + 24 + 40, 96 + 384 + 12};
constexpr QPoint RetrieveButton{8 + 128 + 40, 96 + 384 + 12};
constexpr QPoint ShutterButton{8 + 232 + 40, 96 + 384 + 12};
constexpr QPoint Row0Up{8 + 200 + 8, 96 + 24 + 7};

// What a user and a window manager do to the program's window.
class XSession
{
public:
    explicit XSession(const QByteArray &display) : m_display(XOpenDisplay(display.constData())) { }
    ~XSession()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool isOpen() const { return m_display; }

    Window findWindow(const char *title)
    {
        Window root = DefaultRootWindow(m_display);
        Window parent = 0;
        Window *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (!XQueryTree(m_display, root, &root, &parent, &children, &count))
            return 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            char *name = nullptr;
            XWindowAttributes attributes{};
            if (XFetchName(m_display, children[i], &name) && name && qstrcmp(name, title) == 0
                && XGetWindowAttributes(m_display, children[i], &attributes)
                && attributes.map_state == IsViewable)
                found = children[i];
            if (name)
                XFree(name);
        }
        if (children)
            XFree(children);
        return found;
    }

    void click(Window window, QPoint at)
    {
        for (int type : {ButtonPress, ButtonRelease}) {
            XEvent event{};
            event.xbutton.type = type;
            event.xbutton.display = m_display;
            event.xbutton.window = window;
            event.xbutton.root = DefaultRootWindow(m_display);
            event.xbutton.time = CurrentTime;
            event.xbutton.x = at.x();
            event.xbutton.y = at.y();
            event.xbutton.button = Button1;
            event.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
            event.xbutton.same_screen = True;
            XSendEvent(m_display, window, True, ButtonPressMask | ButtonReleaseMask, &event);
        }
        XFlush(m_display);
    }

    // What the close button of a window manager sends.
    void requestClose(Window window)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, window, False, NoEventMask, &event);
        XFlush(m_display);
    }

private:
    Display *m_display;
};

qsizetype commandCount(const PerloSim &sim, char command)
{
    return sim.receivedBytes().count(QByteArray("/") + command);
}

} // namespace

using Steps = QList<QPoint>;

class tst_CloseRealProgram : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void closeEndsTheProgram_data();
    void closeEndsTheProgram();

private:
    QProcess m_xvfb;
    QByteArray m_display;
};

void tst_CloseRealProgram::initTestCase()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        QSKIP("Xvfb is not installed");
    // The server writes its display number once it takes connections.
    m_xvfb.start(xvfb, {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset"});
    QVERIFY(m_xvfb.waitForStarted(5000));
    const QDeadlineTimer deadline(10000);
    while (!m_xvfb.canReadLine() && !deadline.hasExpired())
        m_xvfb.waitForReadyRead(100);
    QVERIFY(m_xvfb.canReadLine());
    m_display = ':' + m_xvfb.readLine().trimmed();
}

void tst_CloseRealProgram::cleanupTestCase()
{
    if (m_xvfb.state() == QProcess::NotRunning)
        return;
    m_xvfb.terminate();
    m_xvfb.waitForFinished(5000);
}

void tst_CloseRealProgram::closeEndsTheProgram_data()
{
    QTest::addColumn<Steps>("clicks"); // after Connect, which answers at once
    QTest::addColumn<char>("slowCommand");

    QTest::newRow("Connect, version read") << Steps{} << 'V';
    QTest::newRow("Connect, parameter read") << Steps{} << 'D';
    QTest::newRow("Retrieve") << Steps{RetrieveButton} << 'D';
    QTest::newRow("Set") << Steps{Row0Up, SetButton} << 'P';
    QTest::newRow("Test Shutter") << Steps{ShutterButton} << 'S';
}

void tst_CloseRealProgram::closeEndsTheProgram()
{
    QFETCH(Steps, clicks);
    QFETCH(char, slowCommand);

    PerloSim sim;
    sim.setLinePaced(false);
    QByteArray block = sim.block();
    block[6] = char(245); // a 25 s shutter watchdog
    sim.setBlock(block);
    QVERIFY(sim.start());

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", QString::fromLatin1(m_display));
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("RURUZIDURA_COM1", sim.portPath());
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(RURUZIDURA_PATH), {});
    QVERIFY(program.waitForStarted(5000));
    auto stopProgram = qScopeGuard([&] {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    });

    XSession x(m_display);
    QVERIFY(x.isOpen());
    Window window = 0;
    QTRY_VERIFY_WITH_TIMEOUT((window = x.findWindow(WindowTitle)) != 0, 10000);

    // A click can come before the window takes input: click until it is seen.
    auto clickUntil = [&](QPoint at, const std::function<bool()> &seen) {
        for (int attempt = 0; attempt < 20 && !seen(); ++attempt) {
            x.click(window, at);
            if (QTest::qWaitFor(seen, 250))
                break;
        }
        return seen();
    };
    // From here on the device takes 30 s to answer `slowCommand`.
    const QByteArray slowReply = slowCommand == 'D' ? block
            : slowCommand == 'V'                    ? QByteArray("V2.10\r\nOK")
                                                    : QByteArray("OK");
    qsizetype slowSeen = 0;
    auto slowDown = [&] {
        sim.setScript(slowCommand, {{30000, slowReply}});
        slowSeen = commandCount(sim, slowCommand);
    };
    if (clicks.isEmpty())
        slowDown();
    QVERIFY(clickUntil(ConnectButton, [&] { return commandCount(sim, 'V') > 0; }));
    if (!clicks.isEmpty()) {
        QTRY_VERIFY(commandCount(sim, 'D') == 1);
        QTest::qWait(200); // Connect's handler ends
        slowDown();
        for (QPoint at : std::as_const(clicks)) {
            if (at == Row0Up) { // a step starts no exchange: nothing to wait for
                x.click(window, at);
                QTest::qWait(100);
                continue;
            }
            const QByteArray before = sim.receivedBytes();
            QVERIFY(clickUntil(at, [&] { return sim.receivedBytes() != before; }));
        }
    }
    QTRY_VERIFY(commandCount(sim, slowCommand) > slowSeen);
    QTest::qWait(100);
    QCOMPARE(program.state(), QProcess::Running);

    QElapsedTimer sinceClose;
    sinceClose.start();
    x.requestClose(window);
    const bool ended = program.waitForFinished(5000);
    const qint64 took = sinceClose.elapsed();
    qInfo("the program ended %lld ms after the close request", took);
    QVERIFY(ended);
    QVERIFY2(took < 250, qPrintable(QString::number(took)));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_CloseRealProgram)
#include "tst_closerealprogram.moc"
