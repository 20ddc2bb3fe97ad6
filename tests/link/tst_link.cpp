// The exchanges with the timer as the link runs them (what goes out, what the
// answer gives, how long it takes, what stays behind), the timers, and the
// serial line under them: line settings, stale input, which device a port
// number opens, a line that goes away.
#include "cpuclock.h"
#include "portlist.h"
#include "timerfixture.h"
#include "traffic.h"

#include <QtTest>

#include <fcntl.h>
#include <limits>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

struct Exchange
{
    const char *action; // wait (WaitReply after "/V"), version, read, write or shutter
    QHash<char, Script>
            answers; // a command left out gets the timer's own answer; an empty script none
    int result; // the status, or 1 for a block loaded into the rows
    int ms; // how long the exchange takes
    QByteArray unread = {}; // left in the port afterwards
    int blockLen = 16;
    int shutterSpeed = 0;
    QString version = {}; // version: the box afterwards
    int lastParam = 10; // version: the generation found
};
Q_DECLARE_METATYPE(Exchange)

class tst_Link : public QObject
{
    Q_OBJECT
private slots:
    void statusText();
    void exchange_data();
    void exchange();
    void valuesAreReadAsTheyAreSent();
    void shutterWatchdog_data();
    void shutterWatchdog();
    void timers();
    void rawLineCarriesEveryByte();
    void bytesReadBeforeAHangUpAreKept();
    void floodBetweenExchangesIsBounded();
    void portMapping_data();
    void portMapping();
};

namespace {

// Left by an earlier exchange: it would pass for any answer if it were read.
const QByteArray Stale = "ER\r\nOK" + QByteArray(16, '\x55');
const QList<int> Rows{ 10, 11, 12, 13, 14, 15, 16, 1, 18, 19, 20 };

// A "/D" answer of `length` bytes, 0 and 255 among them.
QByteArray dump(int length, int byte7)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(char(i == 0 ? 0 : i == 1 ? 255 : i == 7 ? byte7 : i * 23 + 5));
    return bytes;
}

} // namespace

void tst_Link::statusText()
{
    QStringList texts;
    for (const int status : { 0, 1, 2, 3, 7 })
        texts << TimerLink::StatusText(qint16(status));
    QCOMPARE(texts,
             QStringList({ "Undefined Error", "Timer reproted Error", "I/O Timed Out",
                           "Unexpected Error", "Undefined Error" }));
    QVERIFY(!lcTraffic().isDebugEnabled()); // nothing is logged unless asked for
}

void tst_Link::exchange_data()
{
    QTest::addColumn<Exchange>("x");
    const Script none;
    auto now = [](const QByteArray &bytes) { return Script{ { 0, bytes } }; };
    QTest::newRow("O, K") << Exchange{ "wait", { { 'V', { { 0, "O" }, { 60, "K" } } } }, 0, 60 };
    QTest::newRow("ER, later OK") << Exchange{
        "wait", { { 'V', { { 0, "ER" }, { 100, "OK" } } } }, 1, 0, "OK"
    };
    QTest::newRow("ER and OK in one read")
            << Exchange{ "wait", { { 'V', now("ER\r\nOK") } }, 0, 0 };
    QTest::newRow("markers in any other case")
            << Exchange{ "wait", { { 'V', now("ok Ok oK er Er eR") } }, 2, 500 };
    QTest::newRow("no device") << Exchange{ "wait", { { 'V', none } }, 2, 500 };
    // Only the first part of a flood is kept; the watchdog still ends it on time.
    QTest::newRow("a flood without markers") << Exchange{
        "wait", { { 'V', now(QByteArray("no marker here ").repeated(20000)) } }, 2, 500
    };

    QTest::newRow("16-byte") << Exchange{ "version", {}, 0, 0, {}, 16, 0, "V2.10" };
    QTest::newRow("8-byte") << Exchange{
        "version", { { 'V', now("V1.02\r\nOK") } }, 0, 0, {}, 8, 0, "V1.02", 7
    };
    QTest::newRow("silent probe") << Exchange{ "version", { { 'Z', none } }, 0, 500, {}, 16,
                                               0,         "V2.10",           7 };
    QTest::newRow("junk before the V") << Exchange{
        "version", { { 'V', now(QByteArray("\0\x7f#v9 junk\r\nV2.10\r\nOK", 22)) } },
        0,         0,
        {},        16,
        0,         "V2.10"
    };
    QTest::newRow("no V") << Exchange{ "version", { { 'V', now("\r\nX1\r\nOK") } }, 0, 0, {}, 16, 0,
                                       "X1" };
    QTest::newRow("refused") << Exchange{
        "version", { { 'V', now("V2.10\r\nER") } }, 1, 0, {}, 16, 0, "N/A"
    };
    QTest::newRow("no marker") << Exchange{
        "version", { { 'V', now("V2.10\r\nok") } }, 2, 500, {}, 16, 0, "N/A"
    };
    QTest::newRow("no timer") << Exchange{
        "version", { { 'V', none }, { 'Z', none } }, 2, 1000, {}, 16, 0, "N/A", 7
    };

    QTest::newRow("16 of 16, byte 7 = 200")
            << Exchange{ "read", { { 'D', now(dump(16, 200)) } }, 1, 0 };
    QTest::newRow("16 of 16, byte 7 = 0")
            << Exchange{ "read", { { 'D', now(dump(16, 0)) } }, 1, 0 };
    QTest::newRow("8 of 8, byte 7 = 255")
            << Exchange{ "read", { { 'D', now(dump(8, 255)) } }, 1, 0, {}, 8 };
    QTest::newRow("8 of 8, byte 7 = 0")
            << Exchange{ "read", { { 'D', now(dump(8, 0)) } }, 1, 0, {}, 8 };
    QTest::newRow("16, then more") << Exchange{
        "read", { { 'D', { { 0, dump(16, 1) }, { 200, "more" } } } }, 1, 0, "more"
    };
    QTest::newRow("15 of 16") << Exchange{ "read", { { 'D', now(dump(15, 1)) } }, 1, 500 };
    QTest::newRow("14 of 16") << Exchange{
        "read", { { 'D', now(dump(14, 1)) } }, 0, 500, dump(14, 1)
    };
    QTest::newRow("7 of 8") << Exchange{ "read", { { 'D', now(dump(7, 1)) } }, 0, 500, {}, 8 };

    QTest::newRow("write, 16-byte") << Exchange{ "write", {}, 0, 180 };
    QTest::newRow("write, 8-byte") << Exchange{ "write", {}, 0, 140, {}, 8 };
    QTest::newRow("write, refused") << Exchange{ "write", { { 'P', now("ER") } }, 1, 180 };
    QTest::newRow("write, silent after the block")
            << Exchange{ "write", { { 'P', none } }, 2, 680 };

    QTest::newRow("shutter 0, silent") << Exchange{ "shutter", { { 'S', none } }, 2, 500 };
    QTest::newRow("shutter 25, OK after 2.8 s")
            << Exchange{ "shutter", { { 'S', { { 2800, "OK" } } } }, 0, 2800, {}, 16, 25 };
    QTest::newRow("shutter 25, OK after 3.2 s")
            << Exchange{ "shutter", { { 'S', { { 3200, "OK" } } } }, 2, 3000, "OK", 16, 25 };
    QTest::newRow("shutter 25, ER")
            << Exchange{ "shutter", { { 'S', { { 60, "ER" } } } }, 1, 60, {}, 16, 25 };
}

void tst_Link::exchange()
{
    QFETCH(Exchange, x);
    const QByteArray action(x.action);
    SimLink s([&](PerloSim &sim) {
        sim.setGeneration(x.blockLen);
        sim.setScript('X', { { 0, Stale } });
    });
    QVERIFY(s.open());
    if (action == "read" || action == "write")
        s.link.ProbeGeneration();
    for (int i = 0; i < 11; ++i) {
        s.view.values[i] = i == 6 ? x.shutterSpeed : Rows[i];
        s.view.inUse[i] = i > x.lastParam; // the state no row may end in
    }
    // Stale bytes wait in the system for some exchanges, in Qt's buffer for others.
    int waiting = 0;
    if (action != "wait")
        s.link.comPERLO.Output("/X");
    for (QDeadlineTimer t(2000);
         (action == "version" || action == "write") && waiting < Stale.size() && !t.hasExpired();
         QThread::msleep(1))
        ::ioctl(s.link.comPERLO.serialPort().handle(), FIONREAD, &waiting);
    if (action == "read" || action == "shutter")
        QTRY_COMPARE(s.link.comPERLO.InBufferCount(), qint64(Stale.size()));
    QCOMPARE(waiting, action == "version" || action == "write" ? Stale.size() : 0);
    s.sim.call([&](PerloSim &sim) {
        for (auto it = x.answers.cbegin(); it != x.answers.cend(); ++it)
            sim.setScript(it.key(), it.value());
        sim.clearReceived();
    });

    ReplyText reply;
    reply.append("ER, OK: left from before");
    const RowsView before = s.view;
    const qint64 cpuUs = (threadCpuNs() / 1000);
    QElapsedTimer clock;
    clock.start();
    const int result = action == "wait" ? (s.link.comPERLO.Output("/V"), s.link.WaitReply(reply))
            : action == "version"       ? s.link.ReadVersion()
            : action == "read"          ? int(s.link.ReadParams())
            : action == "write"         ? s.link.WriteParams()
                                        : s.link.TestShutter();
    const qint64 tookMs = clock.elapsed(), cpuMs = ((threadCpuNs() / 1000) - cpuUs) / 1000;

    QCOMPARE(result, x.result);
    // No timer fires early, and every pause is a minimum: "/P" then 100 ms,
    // and 5 ms before each byte of the block. 400 ms above, a watchdog ran a
    // second interval or an exchange waited for an answer it should not have.
    QVERIFY2(tookMs >= x.ms && tookMs <= x.ms + 400, qPrintable(QString::number(tookMs)));
    QVERIFY2(sleptWhileWaiting(cpuMs, tookMs), qPrintable(QString::number(cpuMs) + " ms of CPU"));
    QVERIFY(action == "read" || !s.link.tmrDog.Enabled());
    QByteArray wire = action == "wait" ? "/V"
            : action == "version"      ? "/V/Z"
            : action == "read"         ? "/D"
            : action == "shutter"      ? "/S"
                                       : "/P";
    for (int i = 0; action == "write" && i < x.blockLen; ++i)
        wire += char(i <= s.link.LastParam ? before.values[i] : 0);
    QTRY_COMPARE(s.received(), wire);
    if (action == "write") {
        // The pauses as the timer met them: a loaded machine makes a few of them late, a
        // lengthened one makes every gap long (20 ms between bytes, 300 ms after "/P").
        QList<qint64> gapsMs;
        s.sim.call([&](PerloSim &sim) {
            const QList<PerloSim::Received> &in = sim.received();
            for (qsizetype i = 2; i < in.size(); ++i)
                gapsMs.append((in[i].ns - in[i - 1].ns) / 1000000);
        });
        const qint64 afterCommandMs = gapsMs.takeFirst();
        std::sort(gapsMs.begin(), gapsMs.end());
        const qint64 medianGapMs = gapsMs.at(gapsMs.size() / 2);
        QVERIFY2(afterCommandMs < 250 && medianGapMs < 12,
                 qPrintable(
                         QStringLiteral("%1 ms, then %2 ms").arg(afterCommandMs).arg(medianGapMs)));
    }
    QTRY_COMPARE_WITH_TIMEOUT(s.link.comPERLO.InBufferCount(), qint64(x.unread.size()), 1000);
    QCOMPARE(s.link.comPERLO.Input(), x.unread);

    if (action == "wait") {
        QByteArray whole;
        for (const PerloSim::Chunk &c : x.answers.value('V'))
            whole += c.bytes;
        QCOMPARE(reply.text(),
                 QString::fromLatin1(whole.chopped(x.unread.size()).left(ReplyText::Capacity)));
        QCOMPARE(s.link.TimedOut, result == TimerLink::StatusTimedOut);
    } else if (action == "version") {
        QCOMPARE(s.view.version, x.version);
        QCOMPARE(s.link.LastParam, qint16(x.lastParam));
        QCOMPARE(s.link.BlockLen, qint16(x.lastParam == 10 ? 16 : 8));
        for (int i = 0; i < 11; ++i)
            QVERIFY2(s.view.inUse[i] == (i <= x.lastParam), qPrintable(QString::number(i)));
    } else if (action == "read") {
        const QByteArray answer = x.answers.value('D').first().bytes;
        std::array<int, 11> expected = before.values;
        for (int i = 0; result && i <= s.link.LastParam; ++i)
            expected[i] = i == 7 ? int(answer[7] != 0) : quint8(answer[i]);
        QCOMPARE(s.view.values, expected);
        QCOMPARE(s.view.valueWrites, result ? s.link.LastParam + 1 : 0);
    }
    QCOMPARE(s.link.tmrDog.Interval(), 500); // after a shutter test too
}

void tst_Link::valuesAreReadAsTheyAreSent()
{
    SimLink s;
    QVERIFY(s.open());
    s.link.ProbeGeneration();
    s.view.values = { 10, 11, 12, 13, 14, 15, 16, 0, 18, 19, 20 };
    s.sim.call([](PerloSim &sim) { sim.clearReceived(); });
    // One change during the pause after the command, more once the block's first byte is out.
    QTimer watch;
    connect(&watch, &QTimer::timeout, &s.link, [&] {
        if (s.received().size() == 2) {
            s.view.values[0] = 200;
        } else if (s.received().size() >= 3) {
            watch.stop();
            s.view.values[5] = 205;
            s.view.values[7] = 1;
            s.view.values[10] = 210;
        }
    });
    watch.start(1);
    QCOMPARE(s.link.WriteParams(), qint16(TimerLink::StatusOk));
    QCOMPARE(s.received().mid(2, 11),
             QByteArray("\xc8\x0b\x0c\x0d\x0e\xcd\x10\x01\x12\x13\xd2", 11));
}

void tst_Link::shutterWatchdog_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("saved");
    QTest::addColumn<int>("ms"); // -1: unusable
    constexpr int Max = std::numeric_limits<qint32>::max();
    QTest::newRow("255") << 255 << 500 << 26000;
    QTest::newRow("saved 32767") << 0 << 32767 << 32767;
    QTest::newRow("saved 32768") << 0 << 32768 << -1;
    QTest::newRow("saved 0") << 0 << 0 << 0;
    QTest::newRow("sum at the top") << Max / 100 << Max % 100 << Max;
    QTest::newRow("sum overflows") << Max / 100 << Max % 100 + 1 << -1;
    QTest::newRow("product overflows") << Max / 100 + 1 << 0 << -1;
}

void tst_Link::shutterWatchdog()
{
    QFETCH(int, speed);
    QFETCH(int, saved);
    QFETCH(int, ms);
    QCOMPARE(::shutterWatchdogMs(speed, saved).value_or(-1), ms);
    if (ms > 0)
        return;
    SimLink s; // without a usable watchdog the exchange is not started at all
    QVERIFY(s.open());
    s.link.tmrDog.setInterval(saved);
    s.view.values[6] = speed;
    QCOMPARE(s.link.TestShutter(), qint16(TimerLink::StatusUnexpected));
    QTest::qWait(30);
    QVERIFY(s.received().isEmpty() && s.link.tmrDog.Interval() == saved
            && !s.link.tmrDog.Enabled());
}

void tst_Link::timers()
{
    RowsView view;
    TimerLink link(&view);
    link.Form_Load();
    QSignalSpy fired(&link.tmrDog, &LinkTimer::Timer);
    link.tmrDog.setInterval(40);
    link.tmrDog.setEnabled(true);
    QTest::qWait(250);
    QCOMPARE(fired.count(), 1); // and it stays off
    QVERIFY(link.TimedOut && !link.tmrDog.Enabled());

    LinkTimer timer;
    QElapsedTimer clock;
    QList<qint64> firedAt;
    connect(&timer, &LinkTimer::Timer, &timer, [&] { firedAt.append(clock.elapsed()); });
    timer.setEnabled(true); // interval 0: never fires
    QTest::qWait(60);
    QVERIFY(firedAt.isEmpty());
    timer.setInterval(50);
    QTest::qWait(30);
    clock.start();
    timer.setEnabled(true); // enabling a running timer restarts its count
    QTRY_VERIFY_WITH_TIMEOUT(!firedAt.isEmpty(), 1000);
    // Counted from the first start it would fire 30 ms too soon.
    QVERIFY2(firedAt.first() >= 50, qPrintable(QString::number(firedAt.first())));
}

void tst_Link::rawLineCarriesEveryByte()
{
    SimLink s;
    // Leave the line as a previous user might have: 9600 baud, 2 stop bits, flow control, cooked.
    const int fd = ::open(QFile::encodeName(s.sim.portPath()).constData(), O_RDWR | O_NOCTTY);
    auto closeFd = qScopeGuard([fd] { ::close(fd); });
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfsetspeed(&tio, B9600);
    tio.c_cflag |= CSTOPB | CRTSCTS, tio.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
    tio.c_oflag |= OPOST, tio.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    QCOMPARE(::tcsetattr(fd, TCSANOW, &tio), 0);
    QVERIFY(s.open());
    // A pseudo-terminal drops parity and character size, so what the port was told is checked too.
    const QSerialPort &told = s.link.comPERLO.serialPort();
    QCOMPARE(QList<int>({ told.baudRate(), told.dataBits(), told.parity(), told.stopBits(),
                          told.flowControl() }),
             QList<int>({ 2400, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                          QSerialPort::NoFlowControl }));
    ::tcgetattr(fd, &tio);
    QCOMPARE(::cfgetospeed(&tio) | ::cfgetispeed(&tio), speed_t(B2400));
    QCOMPARE((tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS))
                     | (tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP)) | (tio.c_oflag & OPOST)
                     | (tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)),
             tcflag_t(CS8));
    QByteArray all(256, '\0');
    std::iota(all.begin(), all.end(), 0);
    SerialControl &port = s.link.comPERLO;
    s.sim.call([&](PerloSim &sim) { sim.setScript('V', { { 0, all + "OK" } }); });
    port.Output("/V");
    ReplyText reply; // text: one Latin-1 character per byte
    QCOMPARE(s.link.WaitReply(reply), qint16(TimerLink::StatusOk));
    QCOMPARE(reply.text(), QString::fromLatin1(all + "OK"));
    s.sim.call([](PerloSim &sim) { sim.clearReceived(); });
    port.Output(all);
    QTRY_COMPARE(s.received(), all);
}

void tst_Link::bytesReadBeforeAHangUpAreKept()
{
    SimLink s;
    QVERIFY(s.open());
    SerialControl &port = s.link.comPERLO;
    s.sim.call([](PerloSim &sim) { sim.setScript('S', { { 0, "OK" } }); });
    port.Output("/S");
    QTRY_COMPARE(port.InBufferCount(), qint64(2)); // taken in by Qt, not yet by the link
    s.sim.call([](PerloSim &sim) { sim.hangUp(); });
    QTRY_VERIFY(!port.PortOpen());
    QCOMPARE(port.Input(), QByteArray("OK"));
    QCOMPARE(port.Input(), QByteArray());
}

// A timer that floods the line while no exchange reads it: what Qt takes in
// meanwhile stays bounded (the next exchange discards it anyway), and the
// next exchange still runs.
void tst_Link::floodBetweenExchangesIsBounded()
{
    SimLink s([](PerloSim &sim) { sim.setFault(PerloSim::Fault::Stream); });
    QVERIFY(s.open());
    SerialControl &port = s.link.comPERLO;
    port.Output("/V");
    QTest::qWait(1000);
    QVERIFY2(port.InBufferCount() <= SerialControl::MaxBuffered,
             qPrintable(QString::number(port.InBufferCount())));
    s.sim.call([](PerloSim &sim) { sim.setFault(PerloSim::Fault::None); });
    QCOMPARE(s.link.ReadVersion(), qint16(TimerLink::StatusOk));
}

void tst_Link::portMapping_data()
{
    QTest::addColumn<QStringList>("present"); // device|description|maker, in the system's order
    QTest::addColumn<QString>("com2Override");
    QTest::addColumn<QStringList>("tooltips"); // COM1, COM2: the device first
    const QString ftdi = QStringLiteral("/dev/ttyUSB0|FT232R USB UART|FTDI"),
                  ftdiTip = QStringLiteral("/dev/ttyUSB0: FT232R USB UART (FTDI)");
    QTest::newRow("no ports") << QStringList() << QString()
                              << QStringList{ "/dev/ttyS0", "/dev/ttyS1" };
    QTest::newRow("one UART") << QStringList{ "/dev/ttyS0||" } << QString()
                              << QStringList{ "/dev/ttyS0", "/dev/ttyS1" };
    QTest::newRow("one adapter") << QStringList{ ftdi } << QString()
                                 << QStringList{ ftdiTip, "/dev/ttyS1" };
    QTest::newRow("a UART and two adapters")
            << QStringList{ "/dev/ttyUSB1|CP2102 USB to UART Bridge Controller|", "/dev/ttyS0||",
                            ftdi }
            << QString() << QStringList{ "/dev/ttyS0", ftdiTip };
    QTest::newRow("adapters by number")
            << QStringList{ "/dev/ttyUSB10||", "/dev/ttyACM3||Arduino", "/dev/ttyUSB2||" }
            << QString() << QStringList{ "/dev/ttyACM3 (Arduino)", "/dev/ttyUSB2" };
    QTest::newRow("Windows' names, by COM number")
            << QStringList{ "COM10||", "COM4|USB Serial Port|FTDI",
                            "COM1|Communications Port|(Standard port types)" }
            << QString()
            << QStringList{ "COM1: Communications Port (Standard port types)",
                            "COM4: USB Serial Port (FTDI)" };
    QTest::newRow("an override") << QStringList{ "/dev/ttyS0||", ftdi } << "/dev/ttyUSB0"
                                 << QStringList{ "/dev/ttyS0", ftdiTip };
    QTest::newRow("an override of a port not present")
            << QStringList{ ftdi } << "/tmp/perlo" << QStringList{ ftdiTip, "/tmp/perlo" };
}

void tst_Link::portMapping()
{
    QFETCH(QStringList, present);
    QFETCH(QString, com2Override);
    QFETCH(QStringList, tooltips);
    qunsetenv("RURUZIDURA_COM1");
    qputenv("RURUZIDURA_COM2", QFile::encodeName(com2Override));
    SerialControl port;
    port.setPortLister([&] { return portsFrom(present); });
    QCOMPARE(QStringList({ port.deviceDescription(1), port.deviceDescription(2) }), tooltips);
    const QRegularExpression afterDevice(QStringLiteral("[: ].*"));
    QCOMPARE(QStringList({ port.deviceName(1), port.deviceName(2) }),
             QStringList(tooltips).replaceInStrings(afterDevice, QString()));
    qunsetenv("RURUZIDURA_COM2");
}

QTEST_GUILESS_MAIN(tst_Link)
#include "tst_link.moc"
