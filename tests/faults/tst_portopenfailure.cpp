// "Connect" on a port that cannot be opened: a critical box that names the
// port, its device and the system's reason, then back to the disconnected
// state so that the user can pick the other port or try again.
#include "frmmain.h"
#include "messageboxlog.h"
#include "perlosim.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

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
    void init();
    void cleanup();
    void absentPort();
    void busyPort();
    void retryAfterFailure();
    // Last: it gives up the test's file access rights for good.
    void portNotPermitted();

private:
    void connectAndExpectFailure(const QString &device, const QString &reason,
                                 const QString &advice = {});

    QTemporaryDir m_dir;
};

void tst_PortOpenFailure::init()
{
    QVERIFY(m_dir.isValid());
}

void tst_PortOpenFailure::cleanup()
{
    qunsetenv("RURUZIDURA_COM1");
}

void tst_PortOpenFailure::connectAndExpectFailure(const QString &device, const QString &reason,
                                                  const QString &advice)
{
    qputenv("RURUZIDURA_COM1", QFile::encodeName(device));
    frmMain window;
    window.show();
    MessageBoxLog boxes([&window] { return window.MousePointer(); });
    auto *btnConnect = window.findChild<QPushButton *>("btnConnect");
    auto *fmeSerial = window.findChild<QGroupBox *>("fmeSerial");
    auto *fmeParams = window.findChild<QGroupBox *>("fmeParams");
    auto *com1 = window.findChild<QRadioButton *>("optCom(0)");
    auto *com2 = window.findChild<QRadioButton *>("optCom(1)");
    auto *txtVersion = window.findChild<QLineEdit *>("txtVersion");
    QVERIFY(btnConnect && fmeSerial && fmeParams && com1 && com2 && txtVersion);

    QElapsedTimer took;
    took.start();
    QTest::mouseClick(btnConnect, Qt::LeftButton);
    QVERIFY2(took.elapsed() < 400, qPrintable(QString::number(took.elapsed())));

    QCOMPARE(boxes.shown.size(), 1);
    const MessageBoxLog::Shown &box = boxes.shown.first();
    QCOMPARE(box.title, QStringLiteral("RURUZidura"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.pointer, 0);
    const QString expected = QStringLiteral("Cannot open COM1 (%1)\r\n\r\n%2").arg(device, reason);
    QCOMPARE(box.text, expected + advice);

    QVERIFY(!window.link().comPERLO.PortOpen());
    QVERIFY(btnConnect->isEnabled());
    QVERIFY(fmeSerial->isEnabled());
    QVERIFY(com1->isEnabled() && com2->isEnabled());
    QVERIFY(com1->isChecked());
    QVERIFY(!fmeParams->isEnabled());
    QCOMPARE(window.MousePointer(), 0);
    QVERIFY(txtVersion->text().isEmpty()); // nothing was sent, nothing was read
}

void tst_PortOpenFailure::absentPort()
{
    connectAndExpectFailure(QStringLiteral("/nonexistent/ttyX"), systemReason(ENOENT));
}

void tst_PortOpenFailure::busyPort()
{
    PerloSim sim;
    QVERIFY(sim.start());
    QSerialPort other(sim.portPath());
    QVERIFY(other.open(QIODevice::ReadWrite));
    connectAndExpectFailure(sim.portPath(), QStringLiteral("Permission error while locking the device"),
                            QStringLiteral("\r\n\r\nAnother program is using the port; close it and try again."));
}

void tst_PortOpenFailure::retryAfterFailure()
{
    // After a failed open the same window connects once the port is there.
    const QString device = m_dir.filePath(QStringLiteral("com1"));
    qputenv("RURUZIDURA_COM1", QFile::encodeName(device));
    frmMain window;
    window.show();
    MessageBoxLog boxes;
    auto *btnConnect = window.findChild<QPushButton *>("btnConnect");
    auto *fmeParams = window.findChild<QGroupBox *>("fmeParams");
    auto *txtVersion = window.findChild<QLineEdit *>("txtVersion");
    QTest::mouseClick(btnConnect, Qt::LeftButton);
    QCOMPARE(boxes.shown.size(), 1);

    PerloSim sim;
    sim.setLinePaced(false);
    QVERIFY(sim.start());
    QVERIFY(sim.makeLink(device));
    QTest::mouseClick(btnConnect, Qt::LeftButton);
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY(window.link().comPERLO.PortOpen());
    QCOMPARE(txtVersion->text(), QStringLiteral("V2.10"));
    QVERIFY(fmeParams->isEnabled());
    QVERIFY(!btnConnect->isEnabled());
}

void tst_PortOpenFailure::portNotPermitted()
{
    const QString device = m_dir.filePath(QStringLiteral("ttyLocked"));
    QFile node(device);
    QVERIFY(node.open(QIODevice::WriteOnly));
    node.close();
    QVERIFY(QFile::setPermissions(device, {}));
    if (::geteuid() == 0 && !giveUpFileAccessOverride())
        QSKIP("running as root and unable to give up the file access override");
    QCOMPARE(::access(QFile::encodeName(device).constData(), R_OK | W_OK), -1);

    const group *owner = ::getgrgid(QFileInfo(device).groupId());
    QVERIFY(owner);
    const QString groupName = QString::fromLocal8Bit(owner->gr_name);
    connectAndExpectFailure(device, systemReason(EACCES),
                            QStringLiteral("\r\n\r\nYou must be a member of the group \"%1\", which "
                                           "owns the device (sudo usermod -aG %1 $USER, then log in "
                                           "again).")
                                    .arg(groupName));
}

QTEST_MAIN(tst_PortOpenFailure)
#include "tst_portopenfailure.moc"
