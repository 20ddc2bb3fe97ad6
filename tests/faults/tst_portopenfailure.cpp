// "Connect" on a port that cannot be opened: a box that names the port, its
// device and the system's reason, then back to the disconnected state so that
// the user can pick the other port or try again.
#include "windowbench.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Root opens any file whatever its mode. Without these capabilities this
// thread is held to the permission bits like any user; `access()` consults
// the permitted set, so both sets lose them.
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

} // namespace

class tst_PortOpenFailure : public QObject
{
    Q_OBJECT
private slots:
    void openFails_data();
    void openFails();
};

void tst_PortOpenFailure::openFails_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("absent") << "absent";
    QTest::newRow("busy") << "busy";
    // Last: it gives up the test's file access rights for good.
    QTest::newRow("not permitted") << "not permitted";
}

void tst_PortOpenFailure::openFails()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    WindowBench bench(0);
    QString device = dir.filePath(QStringLiteral("com1"));
    QString reason = QString::fromLocal8Bit(std::strerror(ENOENT));
    QString advice;
    QSerialPort other;
    if (kind == "busy") {
        QVERIFY(bench.sim().start());
        device = bench.sim().portPath();
        other.setPortName(device);
        QVERIFY(other.open(QIODevice::ReadWrite));
        reason = QStringLiteral("Permission error while locking the device");
        advice = QStringLiteral("\r\n\r\nAnother program is using the port; close it and try again.");
    } else if (kind == "not permitted") {
        QFile node(device);
        QVERIFY(node.open(QIODevice::WriteOnly));
        node.close();
        QVERIFY(QFile::setPermissions(device, {}));
        if (::geteuid() == 0 && !giveUpFileAccessOverride())
            QSKIP("running as root and unable to give up the file access override");
        QCOMPARE(::access(QFile::encodeName(device).constData(), R_OK | W_OK), -1);
        reason = QString::fromLocal8Bit(std::strerror(EACCES));
        const group *owner = ::getgrgid(QFileInfo(device).groupId());
        QVERIFY(owner);
        advice = QStringLiteral("\r\n\r\nYou must be a member of the group \"%1\", which owns the "
                                "device (sudo usermod -aG %1 $USER, then log in again).")
                         .arg(QString::fromLocal8Bit(owner->gr_name));
    }
    qputenv("RURUZIDURA_COM1", QFile::encodeName(device));
    QVERIFY(bench.start());

    QElapsedTimer took;
    took.start();
    bench.press("btnConnect");
    QVERIFY2(took.elapsed() < 400, qPrintable(QString::number(took.elapsed())));

    QCOMPARE(bench.boxes.texts(),
             QStringList(QStringLiteral("Cannot open COM1 (%1)\r\n\r\n%2").arg(device, reason) + advice));
    QVERIFY(!bench.link().comPERLO.PortOpen());
    QVERIFY(bench.find("fmeSerial")->isEnabled() && bench.find("btnConnect")->isEnabled());
    QVERIFY(!bench.find("fmeParams")->isEnabled());
    QCOMPARE(bench.window().MousePointer(), 0);
    QVERIFY(bench.find<QLineEdit>("txtVersion")->text().isEmpty()); // nothing was sent
    if (kind != "absent")
        return;

    // The same window connects once the port is there.
    QVERIFY(bench.sim().start());
    QVERIFY(bench.sim().makeLink(device));
    bench.boxes.seen.clear();
    QVERIFY(bench.connectToTimer());
    QCOMPARE(bench.find<QLineEdit>("txtVersion")->text(), QStringLiteral("V2.10"));
}

QTEST_MAIN(tst_PortOpenFailure)
#include "tst_portopenfailure.moc"
