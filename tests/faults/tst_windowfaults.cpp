// The window against a line that goes away, ports that cannot be opened,
// input while an exchange waits, and a close while an exchange waits.
#include "processusage.h"
#include "windowbench.h"

#include <QFileInfo>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class tst_WindowFaults : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_bench = std::make_unique<WindowBench>(); }
    void lineLoss_data();
    void lineLoss();
    void replug_data();
    void replug();
    void inputIsHeldOff_data();
    void inputIsHeldOff();
    void closeEndsTheWait_data();
    void closeEndsTheWait();
    void portOpenFails_data();
    void portOpenFails(); // last: it may give up this process's file access rights

private:
    std::unique_ptr<WindowBench> m_bench;
};

namespace {

const QString TimedOut = QStringLiteral("\r\n\r\nI/O Timed Out");

// Root opens any file whatever its mode: without these capabilities (both
// sets, as `access()` consults the permitted one) it is held to the mode bits.
bool giveUpFileAccessOverride()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const quint32 overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective &= ~overrides;
    data[0].permitted &= ~overrides;
    return ::syscall(SYS_capset, &header, data) == 0;
}

// A click's busy time and the processor time it cost. Spinning on a dead line
// would cost about as much processor time as wall time.
struct Cost { qint64 wallMs, cpuMs; };
Cost press(WindowBench &b, const char *button)
{
    b.boxes.clear();
    b.samples.clear();
    const qint64 cpuUs = ProcessUsage::cpuTimeUs();
    b.press(button);
    const qint64 cpuMs = (ProcessUsage::cpuTimeUs() - cpuUs) / 1000;
    const QList<WindowBench::Sample> busy = b.busySamples();
    return {busy.isEmpty() ? 0 : (busy.last().ns - busy.first().ns) / 1000000, cpuMs};
}

} // namespace

void tst_WindowFaults::lineLoss_data()
{
    QTest::addColumn<bool>("deviceHangsUp");
    QTest::newRow("device hangs up halfway through its reply") << true;
    QTest::newRow("line dropped while the device is silent") << false;
}

void tst_WindowFaults::lineLoss()
{
    QFETCH(bool, deviceHangsUp);
    WindowBench &b = *m_bench;
    b.sim().setBlock(blockOf({1, 2, 3, 4, 5, 6, 0, 1, 9, 10, 11})); // a 500 ms shutter watchdog
    QVERIFY(b.start() && b.connectToTimer());
    b.step(0, true); // so that "Set" can be pressed
    b.sim().setFault(deviceHangsUp ? PerloSim::Fault::HangUp : PerloSim::Fault::Silent);
    if (!deviceHangsUp)
        QTimer::singleShot(100, &b.sim(), &PerloSim::hangUp);

    struct Action { const char *button; qint64 maxMs; QString text; };
    for (const Action &action : {Action{"btnShutter", 560, "Error Testing Shutter: " + TimedOut},
                                 Action{"btnGet", 560, "Error Retreiving Flight Parameters"},
                                 Action{"btnSet", 100 + 16 * 5 + 500 + 150, "Error Setting Flight Parameters" + TimedOut}}) {
        const Cost cost = press(b, action.button);
        QVERIFY2(cost.wallMs >= 450 && cost.wallMs <= action.maxMs, qPrintable(QString::number(cost.wallMs)));
        QVERIFY2(cost.cpuMs * 5 <= cost.wallMs, qPrintable(QString::number(cost.cpuMs)));
        QCOMPARE(b.boxes.texts, QStringList(action.text));
        // The dead line was let go of at once rather than polled.
        QVERIFY(!b.sim().isOpen() && !b.link().comPERLO.serialPort().isOpen());
        if (action.button == QLatin1String("btnShutter")) { // the hang-up came during this wait
            const qint64 idleCpuUs = ProcessUsage::cpuTimeUs();
            QTest::qWait(1000);
            const qint64 idleCpuMs = (ProcessUsage::cpuTimeUs() - idleCpuUs) / 1000;
            QVERIFY2(idleCpuMs * 5 <= 1000, qPrintable(QString::number(idleCpuMs)));
        }
    }
}

void tst_WindowFaults::replug_data()
{
    QTest::addColumn<QString>("backAs"); // empty: nothing comes back
    QTest::newRow("a timer at the same path again") << "com1";
    QTest::newRow("a timer under another name") << "ttyUSB1";
    QTest::newRow("nothing at the path") << "";
}

void tst_WindowFaults::replug()
{
    QFETCH(QString, backAs);
    WindowBench &b = *m_bench;
    QVERIFY(b.start());
    QString cable = b.cable();
    // Named by the override, or the one port the system has.
    if (backAs == "ttyUSB1")
        qunsetenv("RURUZIDURA_COM1");
    b.link().comPERLO.setPortLister([&] { return QList<PresentPort>{{cable, {}, {}}}; });
    QVERIFY(b.connectToTimer());
    b.sim().setFault(PerloSim::Fault::HangUp); // and its link goes with it
    press(b, "btnGet");
    QCOMPARE(b.boxes.texts, QStringList("Error Retreiving Flight Parameters"));
    QVERIFY(!b.link().comPERLO.PortOpen());

    PerloSim replugged;
    replugged.setLinePaced(false);
    const QList<int> rows{9, 8, 7, 6, 5, 4, 3, 1, 2, 1, 0};
    replugged.setBlock(blockOf(rows));
    cable = QFileInfo(cable).dir().filePath(backAs);
    if (!backAs.isEmpty())
        QVERIFY(replugged.start() && replugged.makeLink(cable));
    const Cost cost = press(b, "btnGet");
    QCOMPARE(b.link().comPERLO.PortOpen(), !backAs.isEmpty());
    if (backAs.isEmpty()) {
        QCOMPARE(b.boxes.texts, QStringList("Error Retreiving Flight Parameters"));
        QVERIFY2(cost.wallMs >= 450 && cost.cpuMs * 5 <= cost.wallMs, qPrintable(QStringLiteral("%1 ms, %2 ms CPU").arg(cost.wallMs).arg(cost.cpuMs)));
        return;
    }
    QVERIFY(b.boxes.texts.isEmpty());
    QCOMPARE(b.values(), rows);
    b.step(0, true);
    press(b, "btnSet");
    QVERIFY(b.boxes.texts.isEmpty());
    QCOMPARE(replugged.block(), blockOf(b.values()));
}

void tst_WindowFaults::inputIsHeldOff_data()
{
    QTest::addColumn<QString>("action");
    for (const char *action : {"btnConnect", "btnGet", "btnSet", "btnShutter"})
        QTest::newRow(action) << action;
}

void tst_WindowFaults::inputIsHeldOff()
{
    QFETCH(QString, action);
    WindowBench &b = *m_bench;
    QList<int> rows{11, 12, 13, 14, 15, 16, 2, 1, 17, 18, 19};
    b.sim().setBlock(blockOf(rows));
    b.sim().setReplyDelay(150); // long enough for many rounds of input
    QVERIFY(b.start());
    QByteArray wire = "/V/Z/D";
    if (action != "btnConnect") {
        QVERIFY(b.connectToTimer());
        if (action != "btnShutter")
            b.step(0, true); // "Retrieve" must bring the timer's value back
        if (action == "btnSet")
            ++rows[0];
        wire = action == "btnSet" ? "/P" + blockOf(rows) : QByteArray(action == "btnGet" ? "/D" : "/S");
        b.sim().clearReceived();
    }

    // Every input the window takes, every 5 ms. A round that comes while the
    // one before has not returned means an input started something that waits.
    const QList<QAbstractButton *> clickable = b.window().findChildren<QAbstractButton *>();
    int rounds = 0;
    int nestedRounds = 0;
    int roundsAtLastCommand = 0;
    bool firing = false;
    QTimer barrage;
    QObject::connect(&barrage, &QTimer::timeout, [&] {
        if (firing || rounds > 600) {
            nestedRounds += firing;
            return;
        }
        QScopedValueRollback rollback(firing, true);
        ++rounds;
        for (QAbstractButton *widget : clickable)
            QTest::mouseClick(widget, Qt::LeftButton);
        for (int row = 0; row < FlightParams::RowCount; ++row)
            QTest::keyClick(b.spinner(row), rounds % 2 ? Qt::Key_Up : Qt::Key_Down);
    });
    QObject::connect(&b.sim(), &PerloSim::commandReceived, [&] { roundsAtLastCommand = rounds; });
    barrage.start(5);
    // Input let through can leave the click waiting for good: a close ends it.
    QTimer::singleShot(5000, &b.window(), &QWidget::close);
    QTest::mouseClick(b.find(action), Qt::LeftButton);
    barrage.stop();

    QVERIFY(b.window().isVisible());
    QCOMPARE(nestedRounds, 0);
    QVERIFY2(rounds - roundsAtLastCommand >= 5, qPrintable(QString::number(rounds - roundsAtLastCommand)));
    QVERIFY(b.boxes.texts.isEmpty());
    QCOMPARE(b.sim().receivedBytes(), wire);
    QCOMPARE(b.values(), rows);
    QVERIFY(b.find<QRadioButton>("optCom(0)")->isChecked());
    QVERIFY(!b.enabled("btnSet") && b.enabled("btnShutter"));
}

void tst_WindowFaults::closeEndsTheWait_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<char>("slowCommand"); // answered only long after the close
    QTest::addColumn<int>("closeAtBytes"); // this many bytes after the command, and then
    QTest::addColumn<int>("closeAfterMs"); // this long after them
    QTest::newRow("Connect, version read") << "btnConnect" << 'V' << 0 << 100;
    QTest::newRow("Connect, parameter read") << "btnConnect" << 'D' << 0 << 100;
    QTest::newRow("Retrieve") << "btnGet" << 'D' << 0 << 100;
    QTest::newRow("Set, pause after the command") << "btnSet" << 'P' << 0 << 30;
    QTest::newRow("Set, pauses between bytes") << "btnSet" << 'P' << 3 << 0;
    QTest::newRow("Set, waiting for the reply") << "btnSet" << 'P' << 16 << 100;
    QTest::newRow("Test Shutter, 25 s watchdog") << "btnShutter" << 'S' << 0 << 200;
}

void tst_WindowFaults::closeEndsTheWait()
{
    QFETCH(QString, action);
    QFETCH(char, slowCommand);
    QFETCH(int, closeAtBytes);
    QFETCH(int, closeAfterMs);
    WindowBench &b = *m_bench;
    QByteArray block = b.sim().block();
    block[6] = char(245); // with the 500 ms on top, a 25 s shutter watchdog
    b.sim().setBlock(block);
    QVERIFY(b.start());
    if (action != "btnConnect") {
        QVERIFY(b.connectToTimer());
        b.step(0, true);
    }
    b.sim().setScript(slowCommand, {{30000, slowCommand == 'D' ? block : QByteArray(slowCommand == 'V' ? "V2.10\r\nOK" : "OK")}});

    QElapsedTimer clock;
    clock.start();
    qint64 conditionAt = -1;
    qint64 closedAt = -1;
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QByteArray wire = b.sim().receivedBytes();
        const qsizetype at = wire.lastIndexOf(QByteArray("/") + slowCommand);
        if (conditionAt < 0 && at >= 0 && wire.size() - at - 2 >= closeAtBytes)
            conditionAt = clock.elapsed();
        if (conditionAt >= 0 && closedAt < 0 && clock.elapsed() - conditionAt >= closeAfterMs) {
            closedAt = clock.elapsed();
            b.window().close();
        }
    });
    watch.start(1);
    QTimer::singleShot(0, &b.window(), [&] { QTest::mouseClick(b.find(action), Qt::LeftButton); });
    // Should the close not end the wait, the handler runs its course and the loop is ended here.
    QTimer::singleShot(30000, &watch, &QCoreApplication::quit);
    QApplication::exec();
    const qint64 loopEndedAfterMs = clock.elapsed() - closedAt;
    watch.stop();

    QVERIFY(closedAt >= 0);
    QVERIFY2(loopEndedAfterMs < 250, qPrintable(QString::number(loopEndedAfterMs)));
    QVERIFY(!b.link().comPERLO.PortOpen());
    QVERIFY(b.boxes.texts.isEmpty());
    QCOMPARE(b.window().MousePointer(), 0);
}

void tst_WindowFaults::portOpenFails_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<PresentPort>>("present");
    QTest::addColumn<QString>("ports"); // what the box says of them
    const QString hint = QStringLiteral("\r\nCOM1 and COM2 are the first two of them. For another port, set RURUZIDURA_COM1 to its device.");
    QTest::newRow("absent, no serial port") << "absent" << QList<PresentPort>()
            << "This computer has no serial port: the timer needs a USB serial adapter.";
    QTest::newRow("busy") << "busy" << QList<PresentPort>{{"/dev/ttyUSB0", "FT232R USB UART", "FTDI"}, {"/dev/ttyS0", {}, {}}}
            << "Serial ports present:\r\n/dev/ttyS0\r\n/dev/ttyUSB0: FT232R USB UART (FTDI)" + hint;
    QTest::newRow("not permitted") << "not permitted" << QList<PresentPort>{{"/dev/ttyACM0", {}, {}}}
            << "Serial ports present:\r\n/dev/ttyACM0" + hint;
}

void tst_WindowFaults::portOpenFails()
{
    QFETCH(QString, kind);
    QFETCH(QList<PresentPort>, present);
    QFETCH(QString, ports);
    WindowBench &b = *m_bench;
    QTemporaryDir dir;
    QString device = dir.filePath(QStringLiteral("com1"));
    QString reason = QString::fromLocal8Bit(std::strerror(ENOENT));
    QString advice;
    QSerialPort other;
    if (kind == "busy") {
        QVERIFY(b.sim().start());
        device = b.sim().portPath();
        other.setPortName(device);
        QVERIFY(other.open(QIODevice::ReadWrite));
        reason = QStringLiteral("Permission error while locking the device");
        advice = QStringLiteral("\r\n\r\nAnother program is using the port; close it and try again.");
    } else if (kind == "not permitted") {
        QVERIFY(QFile(device).open(QIODevice::WriteOnly));
        QVERIFY(QFile::setPermissions(device, {}));
        if (::geteuid() == 0 && !giveUpFileAccessOverride())
            QSKIP("running as root and unable to give up the file access override");
        reason = QString::fromLocal8Bit(std::strerror(EACCES));
        const group *owner = ::getgrgid(QFileInfo(device).groupId());
        QVERIFY(owner);
        advice = QStringLiteral("\r\n\r\nYou must be a member of the group \"%1\", which owns the "
                                "device (sudo usermod -aG %1 $USER, then log in again).")
                         .arg(QString::fromLocal8Bit(owner->gr_name));
    }
    qputenv("RURUZIDURA_COM1", QFile::encodeName(device));
    QVERIFY(b.start(0));
    b.link().comPERLO.setPortLister([&] { return present; });
    b.press("btnConnect");

    QCOMPARE(b.boxes.texts, QStringList(QStringLiteral("Cannot open COM1 (%1)\r\n\r\n%2").arg(device, reason) + advice + "\r\n\r\n" + ports));
    QVERIFY(!b.link().comPERLO.PortOpen());
    QVERIFY(b.enabled("btnConnect") && b.enabled("optCom(1)") && !b.enabled("fmeParams"));
    QVERIFY(b.version().isEmpty()); // nothing was sent
}

QTEST_MAIN(tst_WindowFaults)
#include "tst_windowfaults.moc"
