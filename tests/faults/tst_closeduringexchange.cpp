// Closing the window while an exchange waits: the waiting handler returns at
// once, the port is closed, no box comes up, and the application's event
// loop ends as it does whenever its last window closes.
#include "frmmain.h"
#include "messageboxlog.h"
#include "perlosim.h"
#include "updown.h"

#include <QApplication>
#include <QPushButton>
#include <QtTest>

#include <functional>

class tst_CloseDuringExchange : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void closeEndsTheWait_data();
    void closeEndsTheWait();

private:
    PerloSim *m_sim = nullptr;
};

using SimCondition = std::function<bool(const PerloSim &)>;
Q_DECLARE_METATYPE(SimCondition)

namespace {

qsizetype bytesAfterCommand(const PerloSim &sim, char command)
{
    const QByteArray wire = sim.receivedBytes();
    const qsizetype at = wire.lastIndexOf(QByteArray("/") + command);
    return at < 0 ? -1 : wire.size() - at - 2;
}

SimCondition commandArrived(char command)
{
    return [command](const PerloSim &sim) { return bytesAfterCommand(sim, command) >= 0; };
}

} // namespace

void tst_CloseDuringExchange::init()
{
    m_sim = new PerloSim;
    m_sim->setLinePaced(false);
    QVERIFY(m_sim->start());
    qputenv("RURUZIDURA_COM1", QFile::encodeName(m_sim->portPath()));
}

void tst_CloseDuringExchange::cleanup()
{
    delete m_sim;
    m_sim = nullptr;
    qunsetenv("RURUZIDURA_COM1");
}

void tst_CloseDuringExchange::closeEndsTheWait_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<char>("slowCommand"); // answered only long after the close
    QTest::addColumn<SimCondition>("closeWhen");
    QTest::addColumn<int>("closeAfterMs"); // once closeWhen holds

    QTest::newRow("Connect, version read") << "btnConnect" << 'V' << commandArrived('V') << 100;
    QTest::newRow("Connect, parameter read") << "btnConnect" << 'D' << commandArrived('D') << 100;
    QTest::newRow("Retrieve") << "btnGet" << 'D' << commandArrived('D') << 100;
    QTest::newRow("Set, pause after the command") << "btnSet" << 'P' << commandArrived('P') << 30;
    QTest::newRow("Set, pauses between bytes")
            << "btnSet" << 'P'
            << SimCondition([](const PerloSim &sim) { return bytesAfterCommand(sim, 'P') >= 3; })
            << 0;
    QTest::newRow("Set, waiting for the reply") << "btnSet" << 'P'
            << SimCondition([](const PerloSim &sim) { return bytesAfterCommand(sim, 'P') >= 16; })
            << 100;
    QTest::newRow("Test Shutter, 25 s watchdog") << "btnShutter" << 'S' << commandArrived('S') << 200;
}

void tst_CloseDuringExchange::closeEndsTheWait()
{
    QFETCH(QString, action);
    QFETCH(char, slowCommand);
    QFETCH(SimCondition, closeWhen);
    QFETCH(int, closeAfterMs);

    // 24.5 s of shutter: with the 500 ms on top, a 25 s watchdog.
    QByteArray block = m_sim->block();
    block[6] = char(245);
    m_sim->setBlock(block);

    frmMain window;
    window.show();
    auto *button = window.findChild<QPushButton *>(action);
    QVERIFY(button);
    if (action != "btnConnect") {
        QTest::mouseClick(window.findChild<QPushButton *>("btnConnect"), Qt::LeftButton);
        QVERIFY(window.link().comPERLO.PortOpen());
        // A step on a row other than Shutter Speed enables "Set" and keeps "Test Shutter".
        QTest::mouseClick(window.findChild<UpDown *>("udParam(0)")->findChild<QWidget *>("up"),
                          Qt::LeftButton);
    }
    QVERIFY(button->isEnabled());
    const QByteArray slowReply = slowCommand == 'D' ? m_sim->block() : QByteArray("V2.10\r\nOK");
    m_sim->setScript(slowCommand, {{30000, slowCommand == 'P' ? QByteArray("OK") : slowReply}});

    MessageBoxLog boxes;
    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
    QVERIFY(QApplication::quitOnLastWindowClosed());
    QElapsedTimer clock;
    clock.start();
    qint64 conditionAt = -1;
    qint64 closedAt = -1;
    qint64 handlerReturnedAt = -1;

    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (conditionAt < 0 && closeWhen(*m_sim))
            conditionAt = clock.elapsed();
        if (conditionAt >= 0 && closedAt < 0 && clock.elapsed() - conditionAt >= closeAfterMs) {
            closedAt = clock.elapsed();
            window.close();
        }
    });
    watch.start(1);
    QTimer::singleShot(0, button, [&] {
        QTest::mouseClick(button, Qt::LeftButton);
        handlerReturnedAt = clock.elapsed();
    });
    // Should the close not end the wait, the handler runs its course (at most
    // the 25 s watchdog) and the loop is ended here instead.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, qApp, &QCoreApplication::quit);
    giveUp.start(30000);
    QApplication::exec();
    const qint64 loopEndedAt = clock.elapsed();
    watch.stop();

    qInfo("closed at %lld ms, handler returned %lld ms and the event loop ended %lld ms later",
          closedAt, handlerReturnedAt - closedAt, loopEndedAt - closedAt);
    QVERIFY(closedAt >= 0);
    QVERIFY(handlerReturnedAt >= closedAt);
    QVERIFY2(loopEndedAt - closedAt < 250, qPrintable(QString::number(loopEndedAt - closedAt)));
    QCOMPARE(lastWindowClosed.size(), 1);
    QVERIFY(!window.isVisible());
    QVERIFY(!window.link().comPERLO.PortOpen());
    QCOMPARE(boxes.shown.size(), 0);
    QCOMPARE(window.MousePointer(), 0);
    // The device was not answered yet, and a closed window sends nothing more.
    if (slowCommand == 'P' && bytesAfterCommand(*m_sim, 'P') < 16) {
        const qsizetype sentAtClose = bytesAfterCommand(*m_sim, 'P');
        QTest::qWait(60);
        QCOMPARE(bytesAfterCommand(*m_sim, 'P'), sentAtClose);
    }
}

QTEST_MAIN(tst_CloseDuringExchange)
#include "tst_closeduringexchange.moc"
