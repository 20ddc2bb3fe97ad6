// The real program, closed by its window manager's close request while an
// exchange waits: it ends at once and cleanly, without a box, on its own
// event loop. Runs under a private Xvfb server; skipped where there is none.
#include "perlosim.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <X11/Xlib.h>

namespace {

// Centres of buttons in window pixels, from the layout in twips (15 to the pixel).
constexpr QPoint ConnectButton{8 + 248 + 32, 8 + 16 + 12};
constexpr QPoint ShutterButton{8 + 232 + 40, 96 + 384 + 12};

// The program's mapped top-level window, found by its title.
Window findWindow(Display *display)
{
    Window root = DefaultRootWindow(display);
    Window parent = 0;
    Window *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char *name = nullptr;
        XWindowAttributes attributes{};
        if (XFetchName(display, children[i], &name) && name
            && qstrcmp(name, "PERLO-II Timer Control Interface") == 0
            && XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable)
            found = children[i];
        if (name)
            XFree(name);
    }
    if (children)
        XFree(children);
    return found;
}

void click(Display *display, Window window, QPoint at)
{
    for (int type : {ButtonPress, ButtonRelease}) {
        XEvent event{};
        event.xbutton = {type, 0, False, display, window, DefaultRootWindow(display), 0, CurrentTime,
                         at.x(), at.y(), 0, 0, type == ButtonRelease ? Button1Mask : 0u, Button1, True};
        XSendEvent(display, window, True, ButtonPressMask | ButtonReleaseMask, &event);
    }
    XFlush(display);
}

// What the close button of a window manager sends.
void requestClose(Display *display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

} // namespace

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
    m_xvfb.terminate();
    m_xvfb.waitForFinished(5000);
}

void tst_CloseRealProgram::closeEndsTheProgram_data()
{
    QTest::addColumn<bool>("afterConnect"); // press "Test Shutter" once connected
    QTest::addColumn<char>("slowCommand");
    QTest::newRow("Connect, version read") << false << 'V';
    QTest::newRow("Connect, parameter read") << false << 'D';
    QTest::newRow("Test Shutter") << true << 'S';
}

void tst_CloseRealProgram::closeEndsTheProgram()
{
    QFETCH(bool, afterConnect);
    QFETCH(char, slowCommand);
    PerloSim sim;
    sim.setLinePaced(false);
    QByteArray block = sim.block();
    block[6] = char(245); // a 25 s shutter watchdog
    sim.setBlock(block);
    QVERIFY(sim.start());
    auto commands = [&sim](char command) { return sim.receivedBytes().count(QByteArray("/") + command); };

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
        program.kill();
        program.waitForFinished(5000);
    });
    std::unique_ptr<Display, int (*)(Display *)> display(XOpenDisplay(m_display.constData()), XCloseDisplay);
    QVERIFY(display);
    Window window = 0;
    QTRY_VERIFY_WITH_TIMEOUT((window = findWindow(display.get())) != 0, 10000);

    // A click can come before the window takes input: click until it is seen.
    auto clickUntilSent = [&](QPoint at, char command) {
        for (int attempt = 0; attempt < 20 && commands(command) == 0; ++attempt) {
            click(display.get(), window, at);
            if (QTest::qWaitFor([&] { return commands(command) > 0; }, 250))
                break;
        }
        return commands(command) > 0;
    };
    // From here on the device takes 30 s to answer `slowCommand`.
    const QByteArray slowReply = slowCommand == 'D' ? block : QByteArray(slowCommand == 'V' ? "V2.10\r\nOK" : "OK");
    if (!afterConnect)
        sim.setScript(slowCommand, {{30000, slowReply}});
    QVERIFY(clickUntilSent(ConnectButton, 'V'));
    if (afterConnect) {
        QTRY_COMPARE(commands('D'), 1);
        QTest::qWait(200); // Connect's handler ends
        sim.setScript(slowCommand, {{30000, slowReply}});
        QVERIFY(clickUntilSent(ShutterButton, slowCommand));
    }
    QTRY_COMPARE(commands(slowCommand), 1);
    QTest::qWait(100);
    QCOMPARE(program.state(), QProcess::Running);

    QElapsedTimer sinceClose;
    sinceClose.start();
    requestClose(display.get(), window);
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
