#include "simlink.h"
#include "threadedsim.h"

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
    void portChoice_data();
    void portChoice();
    void trafficLogOffByDefault();
};

void tst_SerialControl::rawLineCarriesEveryByte()
{
    SimLink s;
    // A second descriptor on the program's end leaves the line as a previous
    // user might have: 9600 baud, 2 stop bits, flow control, cooked.
    const int fd = ::open(QFile::encodeName(s.sim.portPath()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    auto closeFd = qScopeGuard([fd] { ::close(fd); });
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfsetspeed(&tio, B9600);
    tio.c_cflag |= CSTOPB | CRTSCTS;
    tio.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
    tio.c_oflag |= OPOST | ONLCR;
    tio.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    QCOMPARE(::tcsetattr(fd, TCSANOW, &tio), 0);
    QVERIFY(s.open());

    ::tcgetattr(fd, &tio);
    QCOMPARE(::cfgetospeed(&tio), speed_t(B2400));
    QCOMPARE(::cfgetispeed(&tio), speed_t(B2400));
    QCOMPARE(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    // Raw: no flow control, translation, echo or line editing.
    QCOMPARE(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP), tcflag_t(0));
    QCOMPARE((tio.c_oflag & OPOST) | (tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)), tcflag_t(0));

    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    SerialControl &port = s.link->comPERLO;
    s.sim.setScript('D', {{0, all}});
    port.Output("/D");
    QTRY_COMPARE(port.InBufferCount(), qint64(all.size()));
    QCOMPARE(port.Input(), all);

    // Text mode: one Latin-1 character per byte.
    s.sim.setScript('V', {{0, all + "OK"}});
    port.Output("/V");
    ReplyText reply;
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
    QVERIFY(device.started());
    qputenv("RURUZIDURA_COM1", QFile::encodeName(device.portPath()));
    SerialControl port;
    QVERIFY(port.setPortOpen(true));

    port.Output("/V");
    if (readByQt) {
        QTRY_COMPARE(port.InBufferCount(), qint64(9));
    } else {
        // No event runs here: only an Output that went out at once is answered.
        int waiting = 0;
        for (QDeadlineTimer t(2000); waiting < 9 && !t.hasExpired(); QThread::msleep(1))
            ::ioctl(port.serialPort().handle(), FIONREAD, &waiting);
        QCOMPARE(waiting, 9);
    }
    port.setInBufferCount(0);
    QCOMPARE(port.InBufferCount(), qint64(0));
    SimLink::spin(50);
    QCOMPARE(port.Input(), QByteArray());

    // The port still receives what comes next.
    port.Output("/Z");
    QTRY_COMPARE(port.InBufferCount(), qint64(2));
    QCOMPARE(port.Input(), QByteArray("OK"));
}

void tst_SerialControl::portChoice_data()
{
    QTest::addColumn<QList<int>>("clicks"); // option indexes, COM1 = 0
    QTest::addColumn<int>("port");

    QTest::newRow("none") << QList<int>{} << 1;
    QTest::newRow("COM2") << QList<int>{1} << 2;
    QTest::newRow("COM2 then COM1") << QList<int>{1, 0} << 1;
}

void tst_SerialControl::portChoice()
{
    QFETCH(QList<int>, clicks);
    QFETCH(int, port);

    QTemporaryDir dir;
    SimLink s; // the timer is on COM1, named by the environment
    qputenv("RURUZIDURA_COM2", QFile::encodeName(dir.filePath("absent")));
    SerialControl &com = s.link->comPERLO;
    for (const int index : clicks)
        com.setCommPort(qint16(index + 1)); // as the option buttons do
    QCOMPARE(com.CommPort(), qint16(port));
    QCOMPARE(com.setPortOpen(true), port == 1);
    QCOMPARE(com.PortOpen(), port == 1);
    // The system's own reason for a missing device.
    QCOMPARE(com.openError(), port == 1 ? QString() : qt_error_string(ENOENT));

    qunsetenv("RURUZIDURA_COM1");
    qunsetenv("RURUZIDURA_COM2");
    QCOMPARE(SerialControl::deviceName(1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(SerialControl::deviceName(2), QStringLiteral("/dev/ttyS1"));
}

void tst_SerialControl::trafficLogOffByDefault()
{
    static QStringList messages;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &c, const QString &m) {
        if (qstrcmp(c.category, "ruruzidura.traffic") == 0)
            messages << m;
    });
    auto restore = qScopeGuard([&] {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
    });

    SimLink s;
    QVERIFY(s.open());
    QCOMPARE(s.link->ReadVersion(), qint16(TimerLink::StatusOk));
    QCOMPARE(messages, QStringList());

    // The exchange does go through the category: switched on, it shows.
    QLoggingCategory::setFilterRules(QStringLiteral("ruruzidura.traffic.debug=true"));
    QCOMPARE(s.link->ReadVersion(), qint16(TimerLink::StatusOk));
    QVERIFY2(!messages.filter(QStringLiteral("2f 56")).isEmpty(), qPrintable(messages.join('\n')));
}

int main(int argc, char *argv[])
{
    // The traffic category is to be off by its own default, whatever the
    // environment running the test asks for.
    qunsetenv("QT_LOGGING_RULES");
    qunsetenv("QT_LOGGING_CONF");
    QCoreApplication app(argc, argv);
    tst_SerialControl test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_serialcontrol.moc"
