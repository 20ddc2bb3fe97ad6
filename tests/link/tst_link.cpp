// The exchanges with the timer as the link runs them, one test per command
// (what goes out, what the answer gives, how long it takes, what stays
// behind), the timers, and the serial line under them: line settings, stale
// input, which device a port number opens, a line that goes away.
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

// A command left out gets the timer's own answer; an empty script none.
using Answers = QHash<char, Script>;
using Status = TimerLink::Status;
constexpr Status Ok = TimerLink::StatusOk, Refused = TimerLink::StatusRefused,
                 TimedOut = TimerLink::StatusTimedOut;

class tst_Link : public QObject
{
    Q_OBJECT
private slots:
    void statusText();
    void waitReply_data();
    void waitReply();
    void readVersion_data();
    void readVersion();
    void readParams_data();
    void readParams();
    void writeParams_data();
    void writeParams();
    void valuesAreReadAsTheyAreSent();
    void testShutter_data();
    void testShutter();
    void shutterWatchdog_data();
    void shutterWatchdog();
    void timers();
    void pausesSleep_data();
    void pausesSleep();
    void rawLineCarriesEveryByte();
    void bytesReadBeforeAHangUpAreKept();
    void floodBetweenExchangesIsBounded();
    void portMapping_data();
    void portMapping();
};

namespace {

// Left by an earlier exchange: it would pass for any answer if it were read.
const QByteArray Stale = "ER\r\nOK" + QByteArray(16, '\x55');
const std::array<int, FlightParams::RowCount> Rows{ 10, 11, 12, 13, 14, 15, 0, 1, 18, 19, 20 };

const auto now = [](const QByteArray &bytes) { return Script{ { 0, bytes } }; };

// A "/D" answer of `length` bytes, 0 and 255 among them.
QByteArray dump(int length, int byte7)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(char(i == 0 ? 0 : i == 1 ? 255 : i == 7 ? byte7 : i * 23 + 5));
    return bytes;
}

// A simulated timer of `blockLen` bytes that answers "/X" with stale input,
// and one exchange with it: how long it took, the processor time it used,
// the input modes its answers were read in.
struct Exchange : SimLink
{
    explicit Exchange(int blockLen = 16)
        : SimLink([blockLen](PerloSim &sim) {
              sim.setGeneration(blockLen);
              sim.setScript('X', { { 0, Stale } });
          })
    {
        view.values = Rows;
    }

    // Stale input that reaches the system and stays there, as nothing reads
    // the port meanwhile; how much of it is there.
    qsizetype leaveStale()
    {
        link.comPERLO.Output("/X");
        int waiting = 0;
        for (QDeadlineTimer t(2000); waiting < Stale.size() && !t.hasExpired(); QThread::msleep(1))
            ::ioctl(link.comPERLO.serialPort().handle(), FIONREAD, &waiting);
        return waiting;
    }

    // Runs `command` with these answers scripted and the timer's record of
    // what it received cleared, noting the input mode each answer came in.
    template<typename Command>
    auto run(const Answers &answers, Command command)
    {
        sim.call([&](PerloSim &timer) {
            for (auto it = answers.cbegin(); it != answers.cend(); ++it)
                timer.setScript(it.key(), it.value());
            timer.clearReceived();
        });
        const auto reading = QObject::connect(&link.comPERLO.serialPort(), &QSerialPort::readyRead,
                                              [this] { readIn.insert(link.comPERLO.InputMode()); });
        const qint64 cpuStartNs = threadCpuNs();
        QElapsedTimer clock;
        clock.start();
        const auto result = command();
        tookMs = clock.elapsed();
        cpuMs = (threadCpuNs() - cpuStartNs) / 1000000;
        QObject::disconnect(reading);
        return result;
    }

    // No timer fires early, and every pause is a minimum: "/P" then 100 ms,
    // and 5 ms before each byte of the block. 400 ms above, a watchdog ran a
    // second interval or an exchange waited for an answer it should not have.
    // Afterwards only the bytes that came after the answer are in the port,
    // and the watchdog's interval is as it was (after a shutter test too).
    void verifyEnd(int ms, const QByteArray &unread)
    {
        QVERIFY2(tookMs >= ms && tookMs <= ms + 400, qPrintable(QString::number(tookMs)));
        QVERIFY2(sleptWhileWaiting(cpuMs, tookMs), qPrintable(QString::number(cpuMs) + " ms CPU"));
        QTRY_COMPARE_WITH_TIMEOUT(link.comPERLO.InBufferCount(), qint64(unread.size()), 1000);
        QCOMPARE(link.comPERLO.Input(), unread);
        QCOMPARE(link.tmrDog.Interval(), 500);
    }

    qint64 tookMs = 0, cpuMs = 0;
    QSet<SerialControl::InputModeKind> readIn;
};

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

void tst_Link::waitReply_data()
{
    QTest::addColumn<Script>("reply"); // to "/V"
    QTest::addColumn<Status>("status");
    QTest::addColumn<int>("ms");
    QTest::addColumn<QByteArray>("unread");
    QTest::newRow("O, K") << Script{ { 0, "O" }, { 60, "K" } } << Ok << 60 << QByteArray();
    QTest::newRow("ER, later OK") << Script{ { 0, "ER" }, { 100, "OK" } } << Refused << 0
                                  << QByteArray("OK");
    QTest::newRow("ER and OK in one read") << now("ER\r\nOK") << Ok << 0 << QByteArray();
    QTest::newRow("markers in any other case")
            << now("ok Ok oK er Er eR") << TimedOut << 500 << QByteArray();
    QTest::newRow("no device") << Script() << TimedOut << 500 << QByteArray();
    // Only the first part of a flood is kept; the watchdog still ends it on time.
    QTest::newRow("a flood without markers") << now(QByteArray("no marker here ").repeated(20000))
                                             << TimedOut << 500 << QByteArray();
}

void tst_Link::waitReply()
{
    QFETCH(Script, reply);
    QFETCH(Status, status);
    QFETCH(int, ms);
    QFETCH(QByteArray, unread);
    Exchange s;
    QVERIFY(s.open());
    ReplyText text;
    text.append("ER, OK: left from before");
    QCOMPARE(s.run({ { 'V', reply } },
                   [&] { return s.link.comPERLO.Output("/V"), Status(s.link.WaitReply(text)); }),
             status);
    QVERIFY(!s.link.tmrDog.Enabled());
    QCOMPARE(s.link.TimedOut, status == TimedOut);
    QTRY_COMPARE(s.received(), QByteArray("/V"));
    s.verifyEnd(ms, unread);
    QByteArray whole;
    for (const PerloSim::Chunk &c : reply)
        whole += c.bytes;
    QCOMPARE(text.text(),
             QString::fromLatin1(whole.chopped(unread.size()).left(ReplyText::Capacity)));
}

void tst_Link::readVersion_data()
{
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<Status>("status");
    QTest::addColumn<int>("ms");
    QTest::addColumn<QString>("version"); // the box afterwards
    QTest::addColumn<int>("lastParam"); // the generation found
    QTest::newRow("16-byte") << Answers() << Ok << 0 << "V2.10" << 10;
    QTest::newRow("8-byte: ER to /Z") << Answers{ { 'V', now("V1.02\r\nOK") }, { 'Z', now("ER") } }
                                      << Ok << 0 << "V1.02" << 7;
    QTest::newRow("silent probe") << Answers{ { 'Z', {} } } << Ok << 500 << "V2.10" << 7;
    QTest::newRow("junk before the V")
            << Answers{ { 'V', now(QByteArray("\0\x7f#v9 junk\r\nV2.10\r\nOK", 22)) } } << Ok << 0
            << "V2.10" << 10;
    QTest::newRow("no V") << Answers{ { 'V', now("\r\nX1\r\nOK") } } << Ok << 0 << "X1" << 10;
    QTest::newRow("refused") << Answers{ { 'V', now("V2.10\r\nER") } } << Refused << 0 << "N/A"
                             << 10;
    QTest::newRow("no marker") << Answers{ { 'V', now("V2.10\r\nok") } } << TimedOut << 500 << "N/A"
                               << 10;
    QTest::newRow("no timer") << Answers{ { 'V', {} }, { 'Z', {} } } << TimedOut << 1000 << "N/A"
                              << 7;
}

void tst_Link::readVersion()
{
    QFETCH(Answers, answers);
    QFETCH(Status, status);
    QFETCH(int, ms);
    QFETCH(QString, version);
    QFETCH(int, lastParam);
    Exchange s;
    QVERIFY(s.open());
    for (int i = 0; i < FlightParams::RowCount; ++i)
        s.view.inUse[i] = i > lastParam; // the state no row may end in
    QCOMPARE(s.leaveStale(), Stale.size());
    QCOMPARE(s.run(answers, [&] { return Status(s.link.ReadVersion()); }), status);
    QVERIFY(!s.link.tmrDog.Enabled());
    QTRY_COMPARE(s.received(), QByteArray("/V/Z"));
    QVERIFY(!s.readIn.contains(SerialControl::InputModeBinary));
    s.verifyEnd(ms, {});
    QCOMPARE(s.view.version, version);
    QCOMPARE(s.link.LastParam, qint16(lastParam));
    QCOMPARE(s.link.BlockLen, qint16(lastParam == 10 ? 16 : 8));
    for (int i = 0; i < FlightParams::RowCount; ++i)
        QVERIFY2(s.view.inUse[i] == (i <= lastParam), qPrintable(QString::number(i)));
}

void tst_Link::readParams_data()
{
    QTest::addColumn<int>("blockLen");
    QTest::addColumn<Script>("reply"); // to "/D"
    QTest::addColumn<bool>("loaded"); // into the rows
    QTest::addColumn<int>("ms");
    QTest::addColumn<QByteArray>("unread");
    QTest::newRow("16 of 16, byte 7 = 200")
            << 16 << now(dump(16, 200)) << true << 0 << QByteArray();
    QTest::newRow("16 of 16, byte 7 = 0") << 16 << now(dump(16, 0)) << true << 0 << QByteArray();
    QTest::newRow("8 of 8, byte 7 = 255") << 8 << now(dump(8, 255)) << true << 0 << QByteArray();
    QTest::newRow("8 of 8, byte 7 = 0") << 8 << now(dump(8, 0)) << true << 0 << QByteArray();
    QTest::newRow("16, then more") << 16 << Script{ { 0, dump(16, 1) }, { 200, "more" } } << true
                                   << 0 << QByteArray("more");
    QTest::newRow("15 of 16") << 16 << now(dump(15, 1)) << true << 500 << QByteArray();
    QTest::newRow("14 of 16") << 16 << now(dump(14, 1)) << false << 500 << dump(14, 1);
    QTest::newRow("7 of 8") << 8 << now(dump(7, 1)) << false << 500 << QByteArray();
}

void tst_Link::readParams()
{
    QFETCH(int, blockLen);
    QFETCH(Script, reply);
    QFETCH(bool, loaded);
    QFETCH(int, ms);
    QFETCH(QByteArray, unread);
    Exchange s(blockLen);
    QVERIFY(s.open());
    s.link.ProbeGeneration();
    QCOMPARE(s.leaveStale(), Stale.size());
    QTRY_COMPARE(s.link.comPERLO.InBufferCount(), qint64(Stale.size())); // now in Qt's buffer
    QCOMPARE(s.run({ { 'D', reply } }, [&] { return s.link.ReadParams(); }), loaded);
    QTRY_COMPARE(s.received(), QByteArray("/D"));
    QVERIFY(!s.readIn.contains(SerialControl::InputModeText));
    s.verifyEnd(ms, unread);
    std::array<int, FlightParams::RowCount> expected = Rows;
    for (int i = 0; loaded && i <= s.link.LastParam; ++i)
        expected[i] = i == 7 ? int(reply[0].bytes[7] != 0) : quint8(reply[0].bytes[i]);
    QCOMPARE(s.view.values, expected);
    QCOMPARE(s.view.valueWrites, loaded ? s.link.LastParam + 1 : 0);
}

void tst_Link::writeParams_data()
{
    QTest::addColumn<int>("blockLen");
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<Status>("status");
    QTest::addColumn<int>("ms");
    QTest::newRow("16-byte") << 16 << Answers() << Ok << 180;
    QTest::newRow("8-byte") << 8 << Answers() << Ok << 140;
    QTest::newRow("refused") << 16 << Answers{ { 'P', now("ER") } } << Refused << 180;
    QTest::newRow("silent after the block") << 16 << Answers{ { 'P', {} } } << TimedOut << 680;
}

void tst_Link::writeParams()
{
    QFETCH(int, blockLen);
    QFETCH(Answers, answers);
    QFETCH(Status, status);
    QFETCH(int, ms);
    Exchange s(blockLen);
    QVERIFY(s.open());
    s.link.ProbeGeneration();
    QCOMPARE(s.leaveStale(), Stale.size());
    QCOMPARE(s.run(answers, [&] { return Status(s.link.WriteParams()); }), status);
    QVERIFY(!s.link.tmrDog.Enabled());
    const QList<int> sent(Rows.cbegin(), Rows.cbegin() + s.link.LastParam + 1);
    QTRY_COMPARE(s.received(), "/P" + blockOf(sent).left(blockLen));
    QVERIFY(!s.readIn.contains(SerialControl::InputModeBinary));
    s.verifyEnd(ms, {});
    // The pauses as the timer met them: a loaded machine makes a few of them late, a
    // lengthened one makes every gap long (20 ms between bytes, 300 ms after "/P").
    QList<PerloSim::Received> in;
    s.sim.call([&](PerloSim &sim) { in = sim.received(); });
    QList<qint64> gapsMs;
    for (qsizetype i = 2; i < in.size(); ++i)
        gapsMs.append((in[i].ns - in[i - 1].ns) / 1000000);
    const qint64 afterCommandMs = gapsMs.takeFirst();
    std::sort(gapsMs.begin(), gapsMs.end());
    const qint64 medianGapMs = gapsMs.at(gapsMs.size() / 2);
    QVERIFY2(afterCommandMs < 250 && medianGapMs < 12,
             qPrintable(QStringLiteral("%1 ms, then %2 ms").arg(afterCommandMs).arg(medianGapMs)));
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
    QCOMPARE(s.link.WriteParams(), qint16(Ok));
    QCOMPARE(s.received().mid(2, 11),
             QByteArray("\xc8\x0b\x0c\x0d\x0e\xcd\x10\x01\x12\x13\xd2", 11));
}

void tst_Link::testShutter_data()
{
    QTest::addColumn<int>("speed"); // tenths of a second on top of the 500 ms watchdog
    QTest::addColumn<Script>("reply"); // to "/S"
    QTest::addColumn<Status>("status");
    QTest::addColumn<int>("ms");
    QTest::addColumn<QByteArray>("unread");
    QTest::newRow("speed 0, silent") << 0 << Script() << TimedOut << 500 << QByteArray();
    QTest::newRow("speed 25, OK after 2.8 s")
            << 25 << Script{ { 2800, "OK" } } << Ok << 2800 << QByteArray();
    QTest::newRow("speed 25, OK after 3.2 s")
            << 25 << Script{ { 3200, "OK" } } << TimedOut << 3000 << QByteArray("OK");
    QTest::newRow("speed 25, ER") << 25 << Script{ { 60, "ER" } } << Refused << 60 << QByteArray();
}

void tst_Link::testShutter()
{
    QFETCH(int, speed);
    QFETCH(Script, reply);
    QFETCH(Status, status);
    QFETCH(int, ms);
    QFETCH(QByteArray, unread);
    Exchange s;
    QVERIFY(s.open());
    s.view.values[FlightParams::ShutterSpeedRow] = speed;
    QCOMPARE(s.leaveStale(), Stale.size());
    QTRY_COMPARE(s.link.comPERLO.InBufferCount(), qint64(Stale.size())); // now in Qt's buffer
    QCOMPARE(s.run({ { 'S', reply } }, [&] { return Status(s.link.TestShutter()); }), status);
    QVERIFY(!s.link.tmrDog.Enabled());
    QTRY_COMPARE(s.received(), QByteArray("/S"));
    QVERIFY(!s.readIn.contains(SerialControl::InputModeBinary));
    s.verifyEnd(ms, unread);
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

void tst_Link::pausesSleep_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<int>("count");
    // As Set pauses: 100 ms after "/P", 5 ms after each byte; enough of them
    // that a pause that spins shows beyond what the waiting around it costs.
    QTest::newRow("100 ms") << 100 << 20;
    QTest::newRow("5 ms") << 5 << 300;
}

void tst_Link::pausesSleep()
{
    QFETCH(int, ms);
    QFETCH(int, count);
    RowsView view;
    TimerLink link(&view);
    link.Form_Load();
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuBefore = threadCpuNs();
    for (int i = 0; i < count; ++i)
        link.Pause(qint16(ms));
    const qint64 cpuMs = (threadCpuNs() - cpuBefore) / 1000000, wallMs = clock.elapsed();
    QVERIFY2(wallMs >= qint64(ms) * count, qPrintable(QString::number(wallMs)));
    QVERIFY2(sleptWhileWaiting(cpuMs, wallMs), qPrintable(QString::number(cpuMs) + " ms CPU"));
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
    QCOMPARE(s.link.WaitReply(reply), qint16(Ok));
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
    QCOMPARE(s.link.ReadVersion(), qint16(Ok));
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
