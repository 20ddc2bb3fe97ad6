// The line goes away in the middle of an exchange: the exchange ends by its
// watchdog, nothing spins on the dead port, and every later action fails
// within its own watchdog instead of hanging or crashing.
#include "frmmain.h"
#include "messageboxlog.h"
#include "processusage.h"
#include "simlink.h"
#include "updown.h"

#include <QPushButton>
#include <QSerialPort>
#include <QtTest>

namespace {

struct Timed
{
    qint64 wallMs;
    qint64 cpuMs;
};

template<typename Action>
Timed measure(Action action)
{
    QElapsedTimer wall;
    wall.start();
    const qint64 cpu = ProcessUsage::cpuTimeUs();
    action();
    return {wall.elapsed(), (ProcessUsage::cpuTimeUs() - cpu) / 1000};
}

// Waiting on a dead line must leave the processor alone: a spinning loop
// would use about as much processor time as wall time.
bool idleEnough(const Timed &t)
{
    return t.cpuMs * 5 <= t.wallMs;
}

QString describe(const Timed &t)
{
    return QStringLiteral("%1 ms, %2 ms of processor").arg(t.wallMs).arg(t.cpuMs);
}

// Fatal errors among the port's error signals (a pseudo-terminal also
// reports its missing modem lines, which are harmless).
int fatalErrors(const QSignalSpy &errors)
{
    int count = 0;
    for (const QList<QVariant> &signal : errors) {
        const auto error = signal.value(0).value<QSerialPort::SerialPortError>();
        count += error != QSerialPort::NoError && error != QSerialPort::UnsupportedOperationError;
    }
    return count;
}

} // namespace

class tst_LineLoss : public QObject
{
    Q_OBJECT
private slots:
    void exchangeEndsByWatchdog_data();
    void exchangeEndsByWatchdog();
    void windowActionsReportFailure();
};

void tst_LineLoss::exchangeEndsByWatchdog_data()
{
    QTest::addColumn<bool>("deviceHangsUp");
    QTest::newRow("device hangs up halfway through its reply") << true;
    QTest::newRow("line dropped while the device is silent") << false;
}

void tst_LineLoss::exchangeEndsByWatchdog()
{
    QFETCH(bool, deviceHangsUp);

    SimLink s(16, true);
    s.sim.setFault(deviceHangsUp ? PerloSim::Fault::HangUp : PerloSim::Fault::Silent);
    QVERIFY(s.open());
    QSignalSpy portErrors(&s.link->comPERLO.serialPort(), &QSerialPort::errorOccurred);

    // Processor time counts from the moment the line is gone.
    QElapsedTimer exchange;
    qint64 lostAtMs = -1;
    qint64 cpuAtLossUs = 0;
    auto lineLost = [&] {
        lostAtMs = exchange.elapsed();
        cpuAtLossUs = ProcessUsage::cpuTimeUs();
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (lostAtMs < 0 && !s.sim.isOpen())
            lineLost();
    });
    if (!deviceHangsUp) {
        QTimer::singleShot(100, &s.sim, [&] {
            s.sim.hangUp();
            lineLost();
        });
    }
    poll.start(1);

    s.link->comPERLO.setInputMode(SerialControl::InputModeText);
    s.link->comPERLO.setInBufferCount(0);
    s.link->comPERLO.Output("/V");
    ReplyText reply;
    exchange.start();
    const qint16 status = s.link->WaitReply(reply);
    const Timed rest{exchange.elapsed() - lostAtMs, (ProcessUsage::cpuTimeUs() - cpuAtLossUs) / 1000};
    poll.stop();
    qInfo() << "exchange" << exchange.elapsed() << "ms, line lost at" << lostAtMs << "ms, reply"
            << reply.text() << "; rest of the wait" << describe(rest) << "; port errors"
            << portErrors.size();

    QVERIFY(lostAtMs >= 0);
    QCOMPARE(status, qint16(TimerLink::StatusTimedOut));
    QVERIFY2(exchange.elapsed() <= 560, qPrintable(QString::number(exchange.elapsed())));
    if (deviceHangsUp)
        QCOMPARE(reply.text(), QStringLiteral("V2.1")); // the half that came before the hang-up
    QVERIFY2(rest.wallMs >= 300, qPrintable(describe(rest)));
    QVERIFY2(idleEnough(rest), qPrintable(describe(rest)));
    QCOMPARE(fatalErrors(portErrors), 1);

    // Every later action fails within its own watchdog, quietly.
    s.view.values.fill(3);
    s.view.values[6] = 0; // shutter test: no lengthening, a 500 ms watchdog
    qint16 versionStatus = -1;
    bool paramsRead = true;
    qint16 writeStatus = -1;
    qint16 shutterStatus = -1;
    const Timed readVersion = measure([&] { versionStatus = s.link->ReadVersion(); });
    const Timed readParams = measure([&] { paramsRead = s.link->ReadParams(); });
    const Timed writeParams = measure([&] { writeStatus = s.link->WriteParams(); });
    const Timed testShutter = measure([&] { shutterStatus = s.link->TestShutter(); });
    qInfo() << "ReadVersion" << describe(readVersion) << "ReadParams" << describe(readParams)
            << "WriteParams" << describe(writeParams) << "TestShutter" << describe(testShutter);

    QCOMPARE(versionStatus, qint16(TimerLink::StatusTimedOut));
    QCOMPARE(s.view.version, QStringLiteral("N/A"));
    QVERIFY(!paramsRead);
    QCOMPARE(writeStatus, qint16(TimerLink::StatusTimedOut));
    QCOMPARE(shutterStatus, qint16(TimerLink::StatusTimedOut));
    // "/V" and "/Z" each wait one watchdog; "/P" waits its pauses, then one
    // (8 bytes: the probe on the dead line chose the 8-byte generation).
    QVERIFY2(readVersion.wallMs <= 1100, qPrintable(describe(readVersion)));
    QVERIFY2(readParams.wallMs <= 560, qPrintable(describe(readParams)));
    QVERIFY2(writeParams.wallMs <= 100 + 8 * 5 + 500 + 150, qPrintable(describe(writeParams)));
    QVERIFY2(testShutter.wallMs <= 560, qPrintable(describe(testShutter)));
    for (const Timed &t : {readVersion, readParams, writeParams, testShutter})
        QVERIFY2(idleEnough(t), qPrintable(describe(t)));
    QCOMPARE(s.view.values[0], 3); // the failed read left the rows alone
    QCOMPARE(fatalErrors(portErrors), 1);
}

void tst_LineLoss::windowActionsReportFailure()
{
    SimLink s(16, false);
    QByteArray block = s.sim.block();
    block[6] = 0; // a 500 ms shutter watchdog
    s.sim.setBlock(block);
    frmMain window;
    window.show();
    MessageBoxLog boxes([&window] { return window.MousePointer(); });
    auto *btnConnect = window.findChild<QPushButton *>("btnConnect");
    auto *btnGet = window.findChild<QPushButton *>("btnGet");
    auto *btnSet = window.findChild<QPushButton *>("btnSet");
    auto *btnShutter = window.findChild<QPushButton *>("btnShutter");
    auto *fmeParams = window.findChild<QWidget *>("fmeParams");
    auto *up0 = window.findChild<UpDown *>("udParam(0)")->findChild<QWidget *>("up");
    QVERIFY(btnConnect && btnGet && btnSet && btnShutter && fmeParams && up0);

    QTest::mouseClick(btnConnect, Qt::LeftButton);
    QVERIFY(boxes.shown.isEmpty());
    QVERIFY(btnShutter->isEnabled());

    s.sim.hangUp();
    QTest::mouseClick(up0, Qt::LeftButton);
    QVERIFY(btnSet->isEnabled());

    struct Expected
    {
        QPushButton *button;
        QString text;
    };
    const QList<Expected> actions{
        {btnGet, QStringLiteral("Error Retreiving Flight Parameters")},
        {btnSet, QStringLiteral("Error Setting Flight Parameters\r\n\r\nI/O Timed Out")},
        {btnShutter, QStringLiteral("Error Testing Shutter: \r\n\r\nI/O Timed Out")},
    };
    for (const Expected &action : actions) {
        boxes.shown.clear();
        QVERIFY(action.button->isEnabled());
        QElapsedTimer took;
        took.start();
        QTest::mouseClick(action.button, Qt::LeftButton);
        QVERIFY2(took.elapsed() <= 900, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].text, action.text);
        QCOMPARE(boxes.shown[0].title, QStringLiteral("RURUZidura"));
        QCOMPARE(boxes.shown[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes.shown[0].pointer, 0);
        QVERIFY(fmeParams->isEnabled());
    }
    QVERIFY(btnSet->isEnabled());
    QVERIFY(btnShutter->isEnabled());
}

QTEST_MAIN(tst_LineLoss)
#include "tst_lineloss.moc"
