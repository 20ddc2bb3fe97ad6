#include "simlink.h"
#include "traffic.h"

#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray everyByte()
{
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[i] = char(i);
    return bytes;
}

// A second descriptor on the program's end of the line. Opened before the
// link, it lets the test leave the line as a previous user might have left it
// and then look at what the link made of it.
class LineObserver
{
public:
    explicit LineObserver(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
    }
    ~LineObserver()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isValid() const { return m_fd >= 0; }

    termios settings() const
    {
        termios tio{};
        ::tcgetattr(m_fd, &tio);
        return tio;
    }

    // 9600 baud, 2 stop bits, both kinds of flow control, cooked: every one
    // of these would mangle or stall the traffic if the link left it in place.
    // (A pseudo-terminal keeps no other frame than 8N: that part is checked
    // on the port itself.)
    bool spoil()
    {
        termios tio = settings();
        ::cfsetspeed(&tio, B9600);
        tio.c_cflag |= CSTOPB | CRTSCTS;
        tio.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
        tio.c_oflag |= OPOST | ONLCR;
        tio.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
        if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
            return false;
        const termios now = settings();
        return ::cfgetospeed(&now) == B9600 && (now.c_cflag & CSTOPB) && (now.c_cflag & CRTSCTS)
                && (now.c_iflag & IXON) && (now.c_oflag & OPOST) && (now.c_lflag & ICANON);
    }

    // Bytes the line holds for the program that nobody has read yet.
    int unread() const
    {
        int count = -1;
        ::ioctl(m_fd, FIONREAD, &count);
        return count;
    }

private:
    int m_fd;
};

// The simulated timer's end of the line (the pseudo-terminal master), to see
// what has reached the line before any event has run.
int deviceEnd()
{
    int found = -1;
    for (int fd = 0; fd < 1024; ++fd) {
        const QString target = QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd));
        if (target == QLatin1String("/dev/ptmx") || target == QLatin1String("/dev/pts/ptmx")) {
            if (found >= 0)
                return -1; // ambiguous
            found = fd;
        }
    }
    return found;
}

void writeCommand(TimerLink &link, SerialControl::InputModeKind mode, const char *command)
{
    link.comPERLO.setInputMode(mode);
    link.comPERLO.setInBufferCount(0);
    link.comPERLO.Output(command);
}

QStringList *trafficMessages = nullptr;

void collectTraffic(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (trafficMessages && qstrcmp(context.category, "ruruzidura.traffic") == 0)
        trafficMessages->append(message);
}

} // namespace

class tst_SerialControl : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void lineSettings();
    void everyByteBothWays();
    void outputIsFlushedAtOnce();
    void discardingQtBuffer();
    void discardingOsBuffer();
    void deviceName_data();
    void deviceName();
    void openMissingDevice();
    void portChoice_data();
    void portChoice();
    void trafficLogOffByDefault();

private:
    QByteArray m_com1;
    QByteArray m_com2;
};

void tst_SerialControl::init()
{
    m_com1 = qgetenv("RURUZIDURA_COM1");
    m_com2 = qgetenv("RURUZIDURA_COM2");
    qunsetenv("RURUZIDURA_COM1");
    qunsetenv("RURUZIDURA_COM2");
}

void tst_SerialControl::cleanup()
{
    for (const auto &[name, value] : {std::pair{"RURUZIDURA_COM1", m_com1},
                                      std::pair{"RURUZIDURA_COM2", m_com2}}) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
}

void tst_SerialControl::lineSettings()
{
    SimLink s;
    LineObserver line(s.sim.portPath());
    QVERIFY(line.isValid());
    QVERIFY(line.spoil());
    QVERIFY(s.open());

    const QSerialPort &port = s.link->comPERLO.serialPort();
    QCOMPARE(port.baudRate(), 2400);
    QCOMPARE(port.dataBits(), QSerialPort::Data8);
    QCOMPARE(port.parity(), QSerialPort::NoParity);
    QCOMPARE(port.stopBits(), QSerialPort::OneStop);
    QCOMPARE(port.flowControl(), QSerialPort::NoFlowControl);

    // What the line really got.
    const termios tio = line.settings();
    QCOMPARE(::cfgetospeed(&tio), speed_t(B2400));
    QCOMPARE(::cfgetispeed(&tio), speed_t(B2400));
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QVERIFY(tio.c_cflag & CREAD);
    QCOMPARE(tio.c_iflag & (IXON | IXOFF | IXANY), tcflag_t(0));
    // Raw bytes: no translation, no echo, no line editing.
    QCOMPARE(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP), tcflag_t(0));
    QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
}

void tst_SerialControl::everyByteBothWays()
{
    SimLink s;
    LineObserver line(s.sim.portPath());
    QVERIFY(line.spoil());
    QVERIFY(s.open());
    TimerLink &link = *s.link;
    const QByteArray all = everyByte();

    // Device to program, binary mode.
    s.sim.setScript('D', {{0, all}});
    writeCommand(link, SerialControl::InputModeBinary, "/D");
    QTRY_COMPARE(link.comPERLO.InBufferCount(), qint64(all.size()));
    QCOMPARE(link.comPERLO.Input(), all);

    // Device to program, text mode: one character per byte.
    s.sim.setScript('V', {{0, all + "OK"}});
    writeCommand(link, SerialControl::InputModeText, "/V");
    ReplyText reply;
    QCOMPARE(link.WaitReply(reply), qint16(TimerLink::StatusOk));
    const QString text = reply.text();
    QCOMPARE(text.size(), all.size() + 2);
    for (int i = 0; i < all.size(); ++i)
        QCOMPARE(text.at(i).unicode(), char16_t(i));

    // Program to device.
    s.sim.clearReceived();
    link.comPERLO.Output(all);
    QTRY_COMPARE(s.sim.received().size(), all.size());
    QCOMPARE(s.sim.receivedBytes(), all);
}

void tst_SerialControl::outputIsFlushedAtOnce()
{
    SimLink s;
    QVERIFY(s.open());
    const int device = deviceEnd();
    QVERIFY(device >= 0);

    // No event runs from here on: whatever the link left in a buffer of its
    // own would never reach the line.
    s.link->comPERLO.Output("/V");
    pollfd readable{device, POLLIN, 0};
    QCOMPARE(::poll(&readable, 1, 200), 1);
    int count = -1;
    QCOMPARE(::ioctl(device, FIONREAD, &count), 0);
    QCOMPARE(count, 2);
}

void tst_SerialControl::discardingQtBuffer()
{
    SimLink s;
    QVERIFY(s.open());
    SerialControl &port = s.link->comPERLO;
    s.sim.setScript('V', {{0, "stale\r\nOK"}});
    port.Output("/V");
    QTRY_COMPARE(port.InBufferCount(), qint64(9));

    port.setInBufferCount(0);
    QCOMPARE(port.InBufferCount(), qint64(0));
    SimLink::spin(50);
    QCOMPARE(port.Input(), QByteArray());

    // The port still receives what comes next.
    port.Output("/Z");
    QTRY_COMPARE(port.InBufferCount(), qint64(2));
    QCOMPARE(port.Input(), QByteArray("OK"));
}

void tst_SerialControl::discardingOsBuffer()
{
    SimLink s;
    LineObserver line(s.sim.portPath());
    QVERIFY(line.isValid());
    QVERIFY(s.open());
    SerialControl &port = s.link->comPERLO;
    const int device = deviceEnd();
    QVERIFY(device >= 0);

    // Bytes land while the program runs no event and so reads nothing.
    QCOMPARE(::write(device, "stale\r\nOK", 9), ssize_t(9));
    QElapsedTimer clock;
    clock.start();
    while (line.unread() < 9 && clock.elapsed() < 1000)
        QThread::msleep(1);
    QCOMPARE(line.unread(), 9);

    port.setInBufferCount(0);
    QCOMPARE(line.unread(), 0);
    SimLink::spin(50);
    QCOMPARE(port.InBufferCount(), qint64(0));
    QCOMPARE(port.Input(), QByteArray());

    port.Output("/Z");
    QTRY_COMPARE(port.InBufferCount(), qint64(2));
    QCOMPARE(port.Input(), QByteArray("OK"));
}

void tst_SerialControl::deviceName_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("com1");
    QTest::addColumn<QByteArray>("com2");
    QTest::addColumn<QString>("device");

    const QByteArray unset;
    QTest::newRow("COM1") << 1 << unset << unset << "/dev/ttyS0";
    QTest::newRow("COM2") << 2 << unset << unset << "/dev/ttyS1";
    QTest::newRow("COM1 moved") << 1 << QByteArray("/tmp/line-a") << unset << "/tmp/line-a";
    QTest::newRow("COM2 moved") << 2 << unset << QByteArray("/tmp/line-b") << "/tmp/line-b";
    QTest::newRow("COM2 with COM1 moved") << 2 << QByteArray("/tmp/line-a") << unset
                                          << "/dev/ttyS1";
    QTest::newRow("COM1 with COM2 moved") << 1 << unset << QByteArray("/tmp/line-b")
                                          << "/dev/ttyS0";
    QTest::newRow("COM1 empty") << 1 << QByteArray("") << unset << "/dev/ttyS0";
}

void tst_SerialControl::deviceName()
{
    QFETCH(int, port);
    QFETCH(QByteArray, com1);
    QFETCH(QByteArray, com2);
    QFETCH(QString, device);

    if (!com1.isNull())
        qputenv("RURUZIDURA_COM1", com1);
    if (!com2.isNull())
        qputenv("RURUZIDURA_COM2", com2);
    QCOMPARE(SerialControl::deviceName(port), device);
}

void tst_SerialControl::openMissingDevice()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("RURUZIDURA_COM1", QFile::encodeName(dir.filePath("absent")));

    SerialControl port;
    QVERIFY(!port.setPortOpen(true));
    QVERIFY(!port.PortOpen());
    QCOMPARE(port.openErrorKind(), QSerialPort::DeviceNotFoundError);
    QCOMPARE(port.openError(), qt_error_string(ENOENT));
    QCOMPARE(port.InBufferCount(), qint64(0));
    QCOMPARE(port.Input(), QByteArray());

    // A later open of a device that is there succeeds and forgets the reason.
    PerloSim sim;
    QVERIFY(sim.start());
    qputenv("RURUZIDURA_COM1", QFile::encodeName(sim.portPath()));
    QVERIFY(port.setPortOpen(true));
    QVERIFY(port.PortOpen());
    QCOMPARE(port.openError(), QString());
}

void tst_SerialControl::portChoice_data()
{
    QTest::addColumn<QList<int>>("clicks"); // option indexes, COM1 = 0
    QTest::addColumn<int>("port");

    QTest::newRow("none") << QList<int>{} << 1;
    QTest::newRow("COM2") << QList<int>{1} << 2;
    QTest::newRow("COM2 then COM1") << QList<int>{1, 0} << 1;
    QTest::newRow("COM1 then COM2") << QList<int>{0, 1} << 2;
}

void tst_SerialControl::portChoice()
{
    QFETCH(QList<int>, clicks);
    QFETCH(int, port);

    QTemporaryDir dir;
    SimLink s; // the timer is on COM1; nothing is on COM2
    qputenv("RURUZIDURA_COM2", QFile::encodeName(dir.filePath("absent")));
    SerialControl &com = s.link->comPERLO;
    for (const int index : clicks)
        com.setCommPort(qint16(index + 1)); // as the option buttons do
    QCOMPARE(com.CommPort(), qint16(port));

    if (port == 1) {
        QVERIFY(com.setPortOpen(true));
        QCOMPARE(s.link->ReadVersion(), qint16(TimerLink::StatusOk));
    } else {
        QVERIFY(!com.setPortOpen(true));
        QCOMPARE(com.openErrorKind(), QSerialPort::DeviceNotFoundError);
    }
}

void tst_SerialControl::trafficLogOffByDefault()
{
    QStringList messages;
    trafficMessages = &messages;
    const QtMessageHandler previous = qInstallMessageHandler(collectTraffic);
    auto restore = qScopeGuard([&] {
        qInstallMessageHandler(previous);
        trafficMessages = nullptr;
        QLoggingCategory::setFilterRules(QString());
    });

    QVERIFY(!lcTraffic().isDebugEnabled());
    SimLink s;
    QVERIFY(s.open());
    QCOMPARE(s.link->ReadVersion(), qint16(TimerLink::StatusOk));
    QCOMPARE(messages, QStringList());

    // The exchange does go through the category: switched on, it shows.
    QLoggingCategory::setFilterRules(QStringLiteral("ruruzidura.traffic.debug=true"));
    QVERIFY(lcTraffic().isDebugEnabled());
    QCOMPARE(s.link->ReadVersion(), qint16(TimerLink::StatusOk));
    QVERIFY2(messages.filter(QStringLiteral("2f 56")).size() >= 1, qPrintable(messages.join('\n')));
}

int main(int argc, char *argv[])
{
    // The traffic category is to be off by its own default, whatever the
    // environment running the test asks for.
    qunsetenv("QT_LOGGING_RULES");
    qunsetenv("QT_LOGGING_CONF");
    QCoreApplication app(argc, argv);
    tst_SerialControl test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_serialcontrol.moc"
