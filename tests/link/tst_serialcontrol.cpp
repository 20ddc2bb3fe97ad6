#include "simlink.h"
#include "threadedsim.h"
#include "traffic.h"

#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

class tst_SerialControl : public QObject
{
    Q_OBJECT
private slots:
    void rawLineCarriesEveryByte();
    void unreadBytesAreDiscarded_data();
    void unreadBytesAreDiscarded();
    void bytesReadBeforeAHangUpAreKept();
    void portChoice_data();
    void portChoice();
    void portMapping_data();
    void portMapping();
    void trafficLogOffByDefault();
};

void tst_SerialControl::rawLineCarriesEveryByte()
{
    SimLink s;
    // Leave the line as a previous user might have: 9600 baud, 2 stop bits, flow control, cooked.
    const int fd = ::open(QFile::encodeName(s.sim.portPath()).constData(), O_RDWR | O_NOCTTY);
    auto closeFd = qScopeGuard([fd] { ::close(fd); });
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfsetspeed(&tio, B9600);
    tio.c_cflag |= CSTOPB | CRTSCTS;
    tio.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
    tio.c_oflag |= OPOST;
    tio.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    QCOMPARE(::tcsetattr(fd, TCSANOW, &tio), 0);
    QVERIFY(s.open());
    ::tcgetattr(fd, &tio);
    QCOMPARE(::cfgetospeed(&tio) | ::cfgetispeed(&tio), speed_t(B2400));
    QCOMPARE(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), tcflag_t(0));
    QCOMPARE((tio.c_oflag & OPOST) | (tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)), tcflag_t(0));
    QByteArray all(256, '\0');
    std::iota(all.begin(), all.end(), 0);
    SerialControl &port = s.link->comPERLO;
    s.sim.setScript('D', {{0, all}});
    port.Output("/D");
    QTRY_COMPARE(port.InBufferCount(), qint64(all.size()));
    QCOMPARE(port.Input(), all);
    s.sim.setScript('V', {{0, all + "OK"}});
    port.Output("/V");
    ReplyText reply; // text: one Latin-1 character per byte
    QCOMPARE(s.link->WaitReply(reply), qint16(TimerLink::StatusOk));
    QCOMPARE(reply.text(), QString::fromLatin1(all + "OK"));
    s.sim.clearReceived();
    port.Output(all);
    QTRY_COMPARE(s.sim.receivedBytes(), all);
}

void tst_SerialControl::unreadBytesAreDiscarded_data()
{
    QTest::addColumn<bool>("readByQt");
    QTest::newRow("read into Qt's buffer") << true;
    QTest::newRow("waiting in the OS") << false;
}

void tst_SerialControl::unreadBytesAreDiscarded()
{
    QFETCH(bool, readByQt);
    // On its own thread the device answers while this thread runs no event.
    ThreadedSim device([](PerloSim &sim) {
        sim.setLinePaced(false);
        sim.setScript('V', {{0, "stale\r\nOK"}});
    });
    qputenv("RURUZIDURA_COM1", QFile::encodeName(device.portPath()));
    SerialControl port;
    QVERIFY(port.setPortOpen(true));
    port.Output("/V");
    int waiting = 0; // with no event run here, only an Output that went out at once is answered
    for (QDeadlineTimer t(2000); !readByQt && waiting < 9 && !t.hasExpired(); QThread::msleep(1))
        ::ioctl(port.serialPort().handle(), FIONREAD, &waiting);
    QTRY_COMPARE(readByQt ? port.InBufferCount() : qint64(waiting), qint64(9));
    port.setInBufferCount(0);
    QCOMPARE(port.InBufferCount(), qint64(0));
    SimLink::spin(50);
    QCOMPARE(port.Input(), QByteArray());
    port.Output("/Z");
    QTRY_COMPARE(port.InBufferCount(), qint64(2));
    QCOMPARE(port.Input(), QByteArray("OK"));
}

void tst_SerialControl::bytesReadBeforeAHangUpAreKept()
{
    SimLink s;
    QVERIFY(s.open());
    SerialControl &port = s.link->comPERLO;
    s.sim.setScript('S', {{0, "OK"}});
    port.Output("/S");
    QTRY_COMPARE(port.InBufferCount(), qint64(2)); // taken in by Qt, not yet by the link
    s.sim.hangUp();
    QTRY_VERIFY(!port.PortOpen());
    QCOMPARE(port.InBufferCount(), qint64(2));
    QCOMPARE(port.Input(), QByteArray("OK"));
    QCOMPARE(port.Input(), QByteArray());
}

void tst_SerialControl::portChoice_data()
{
    QTest::addColumn<QList<int>>("ports"); // as the option buttons set them
    QTest::addColumn<int>("port");
    QTest::newRow("none") << QList<int>{} << 1;
    QTest::newRow("COM2") << QList<int>{2} << 2;
    QTest::newRow("COM2 then COM1") << QList<int>{2, 1} << 1;
}

void tst_SerialControl::portChoice()
{
    QFETCH(QList<int>, ports);
    QFETCH(int, port);
    QTemporaryDir dir;
    SimLink s; // the timer is on COM1, named by the environment
    qputenv("RURUZIDURA_COM2", QFile::encodeName(dir.filePath("absent")));
    SerialControl &com = s.link->comPERLO;
    for (const int p : ports)
        com.setCommPort(qint16(p));
    QCOMPARE(com.CommPort(), qint16(port));
    QCOMPARE(com.setPortOpen(true), port == 1);
    QCOMPARE(com.openError(), port == 1 ? QString() : qt_error_string(ENOENT));
    qunsetenv("RURUZIDURA_COM2");
}

void tst_SerialControl::portMapping_data()
{
    QTest::addColumn<QStringList>("present"); // device, description, maker; in the system's order
    QTest::addColumn<QString>("com2Override");
    QTest::addColumn<QStringList>("tooltips"); // COM1, COM2
    const QString ftdi = QStringLiteral("/dev/ttyUSB0|FT232R USB UART|FTDI");
    QTest::newRow("no ports") << QStringList() << QString() << QStringList{"/dev/ttyS0", "/dev/ttyS1"};
    QTest::newRow("one UART") << QStringList{"/dev/ttyS0||"} << QString() << QStringList{"/dev/ttyS0", "/dev/ttyS1"};
    QTest::newRow("one adapter") << QStringList{ftdi} << QString()
                                 << QStringList{"/dev/ttyUSB0: FT232R USB UART (FTDI)", "/dev/ttyS1"};
    QTest::newRow("a UART and two adapters")
            << QStringList{"/dev/ttyUSB1|CP2102 USB to UART Bridge Controller|", "/dev/ttyS0||", ftdi} << QString()
            << QStringList{"/dev/ttyS0", "/dev/ttyUSB0: FT232R USB UART (FTDI)"};
    QTest::newRow("adapters by number") << QStringList{"/dev/ttyUSB10||", "/dev/ttyACM3||Arduino", "/dev/ttyUSB2||"} << QString()
                                        << QStringList{"/dev/ttyACM3 (Arduino)", "/dev/ttyUSB2"};
    QTest::newRow("an override") << QStringList{"/dev/ttyS0||", ftdi} << QStringLiteral("/dev/ttyUSB0") << QStringList{"/dev/ttyS0", "/dev/ttyUSB0: FT232R USB UART (FTDI)"};
    QTest::newRow("an override of a port not present") << QStringList{ftdi} << QStringLiteral("/tmp/perlo") << QStringList{"/dev/ttyUSB0: FT232R USB UART (FTDI)", "/tmp/perlo"};
}

void tst_SerialControl::portMapping()
{
    QFETCH(QStringList, present);
    QFETCH(QString, com2Override);
    QFETCH(QStringList, tooltips);
    QList<PresentPort> ports;
    for (const QString &p : present)
        ports.append({p.section('|', 0, 0), p.section('|', 1, 1), p.section('|', 2, 2)});
    qunsetenv("RURUZIDURA_COM1");
    qputenv("RURUZIDURA_COM2", QFile::encodeName(com2Override));
    SerialControl port;
    port.setPortLister([&] { return ports; });
    QCOMPARE(QStringList({port.deviceDescription(1), port.deviceDescription(2)}), tooltips);
    QCOMPARE(QStringList({port.deviceName(1), port.deviceName(2)}).join(' '),
             QStringList({tooltips[0].section(QRegularExpression("[: ]"), 0, 0), tooltips[1].section(QRegularExpression("[: ]"), 0, 0)}).join(' '));
    qunsetenv("RURUZIDURA_COM2");
}

void tst_SerialControl::trafficLogOffByDefault()
{
    QVERIFY(!lcTraffic().isDebugEnabled());
    QCOMPARE(lcTraffic().categoryName(), "ruruzidura.traffic"); // the name to switch it on by
}

int main(int argc, char *argv[])
{
    // The traffic category must be off by its own default, whatever the environment asks.
    qunsetenv("QT_LOGGING_RULES");
    qunsetenv("QT_LOGGING_CONF");
    QCoreApplication app(argc, argv);
    tst_SerialControl test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_serialcontrol.moc"
