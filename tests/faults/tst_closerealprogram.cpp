// The real program on a private X server, ended as a session ends it: the
// window closes as by its close button, and the program exits at once with 0,
// under the sanitizers with nothing leaked.
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>

class tst_CloseRealProgram : public QObject
{
    Q_OBJECT
private slots:
    void endsCleanly();
};

void tst_CloseRealProgram::endsCleanly()
{
    const QString xvfbPath = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfbPath.isEmpty())
        QSKIP("Xvfb is not installed");
    QProcess xvfb;
    // The server writes its display number once it takes connections.
    xvfb.start(xvfbPath,
               { "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset" });
    auto stopXvfb = qScopeGuard([&] { xvfb.terminate(), xvfb.waitForFinished(5000); });
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 10000);

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", ':' + QString::fromLatin1(xvfb.readLine().trimmed()));
    environment.insert("QT_QPA_PLATFORM", "xcb");
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(RURUZIDURA_PATH), {});
    auto stopProgram = qScopeGuard([&] { program.kill(), program.waitForFinished(5000); });
    QVERIFY(program.waitForStarted(5000));
    QTest::qWait(1000); // on screen and idle
    QCOMPARE(program.state(), QProcess::Running);

    QElapsedTimer sinceSignal;
    sinceSignal.start();
    ::kill(pid_t(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(5000));
    // A program that let the signal end it or ignored it would not exit with 0
    // at all; one that closed only at some later event would take seconds.
    QVERIFY2(sinceSignal.elapsed() < 3000, qPrintable(QString::number(sinceSignal.elapsed())));
    QVERIFY(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0);
}

QTEST_GUILESS_MAIN(tst_CloseRealProgram)
#include "tst_closerealprogram.moc"
