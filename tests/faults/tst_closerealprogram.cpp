// The real program, closed by its window manager while "Connect" waits for
// the version: it ends at once and cleanly. Runs under a private Xvfb server.
#include "perlosim.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <X11/Xlib.h>

namespace {

// The program's top-level window, found by its title.
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
        if (XFetchName(display, children[i], &name) && qstrcmp(name, "PERLO-II Timer Control Interface") == 0)
            found = children[i];
        XFree(name);
    }
    XFree(children);
    return found;
}

} // namespace

class tst_CloseRealProgram : public QObject
{
    Q_OBJECT
private slots:
    void closeEndsTheProgram();
};

void tst_CloseRealProgram::closeEndsTheProgram()
{
    const QString xvfbPath = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfbPath.isEmpty())
        QSKIP("Xvfb is not installed");
    QProcess xvfb;
    // The server writes its display number once it takes connections.
    xvfb.start(xvfbPath, {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset"});
    auto stopXvfb = qScopeGuard([&] { xvfb.terminate(), xvfb.waitForFinished(5000); });
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 10000);
    const QByteArray displayName = ':' + xvfb.readLine().trimmed();

    PerloSim sim;
    sim.setLinePaced(false);
    sim.setScript('V', {{30000, "V2.10\r\nOK"}});
    QVERIFY(sim.start());
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", QString::fromLatin1(displayName));
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("RURUZIDURA_COM1", sim.portPath());
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(RURUZIDURA_PATH), {});
    auto stopProgram = qScopeGuard([&] { program.kill(), program.waitForFinished(5000); });
    std::unique_ptr<Display, int (*)(Display *)> display(XOpenDisplay(displayName.constData()), XCloseDisplay);
    QVERIFY(display);
    Window window = 0;
    QTRY_VERIFY_WITH_TIMEOUT((window = findWindow(display.get())) != 0, 10000);

    // Clicks at "Connect" (twips layout, 15 to the pixel) until the window takes them.
    auto sent = [&] { return !sim.receivedBytes().isEmpty(); };
    for (int attempt = 0; attempt < 20 && !sent(); ++attempt) {
        for (int type : {ButtonPress, ButtonRelease}) {
            XEvent event{};
            event.xbutton = {type, 0, False, display.get(), window, DefaultRootWindow(display.get()), 0,
                             CurrentTime, 8 + 248 + 32, 8 + 16 + 12, 0, 0,
                             type == ButtonRelease ? Button1Mask : 0u, Button1, True};
            XSendEvent(display.get(), window, True, ButtonPressMask | ButtonReleaseMask, &event);
        }
        XFlush(display.get());
        if (QTest::qWaitFor(sent, 250))
            break;
    }
    QTRY_COMPARE(sim.receivedBytes(), QByteArray("/V"));
    QTest::qWait(100);
    QCOMPARE(program.state(), QProcess::Running);

    // What the close button of a window manager sends.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display.get(), "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = long(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    QElapsedTimer sinceClose;
    sinceClose.start();
    XSendEvent(display.get(), window, False, NoEventMask, &close);
    XFlush(display.get());
    QVERIFY(program.waitForFinished(5000));
    const qint64 took = sinceClose.elapsed();
    QVERIFY2(took < 250, qPrintable(QString::number(took)));
    QVERIFY(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0);
}

QTEST_GUILESS_MAIN(tst_CloseRealProgram)
#include "tst_closerealprogram.moc"
