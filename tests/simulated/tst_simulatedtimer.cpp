// The program's own simulated timers, reached through the port layer as the
// "simulated timer" entries reach them: what each generation answers, that
// Set is kept, and that the line keeps a timer's pace.
#include "cpuclock.h"
#include "frmmain.h"
#include "inprocessline.h"
#include "simulatedtimers.h"
#include "timerfixture.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QStyleOptionFrame>
#include <QtTest>

class tst_SimulatedTimer : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { qunsetenv("RURUZIDURA_COM1"); }
    void devices_data();
    void devices();
    void connects_data();
    void connects();
    void versionFitsTheBox_data();
    void versionFitsTheBox();
    void setIsKeptWhileTheProgramRuns_data();
    void setIsKeptWhileTheProgramRuns();
    void keepsTheTimersPace_data();
    void keepsTheTimersPace();
    void staleInputIsCleared();
};

namespace {

// The link as the window holds it, COM1 named `device`.
struct SimulatedLink
{
    SimulatedLink(SimulatedTimers &timers, const QString &device)
    {
        qputenv("RURUZIDURA_COM1", device.toLocal8Bit());
        link.comPERLO.setStandIn([&timers](const QString &name) { return timers.lineFor(name); });
        link.Form_Load();
    }
    bool connect()
    {
        return link.comPERLO.setPortOpen(true) && link.ReadVersion() == TimerLink::StatusOk
                && link.ReadParams();
    }

    RowsView view;
    TimerLink link{ &view };
};

// The simulator's stored block when it starts, rows 0 to `lastRow`.
QList<int> defaultRows(int lastRow)
{
    const QByteArray block = PerloSim().block().left(lastRow + 1);
    QList<int> rows;
    for (const char byte : block)
        rows.append(quint8(byte));
    return rows;
}

// The rows in use, 0 to `lastRow`; the block's other bytes are no row's.
QList<int> rowsOf(const RowsView &view, int lastRow)
{
    return QList<int>(view.values.begin(), view.values.begin() + lastRow + 1);
}

} // namespace

void tst_SimulatedTimer::devices_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("simulated");
    QTest::newRow("sim") << "sim" << true;
    QTest::newRow("sim:16") << "sim:16" << true;
    QTest::newRow("sim:8") << "sim:8" << true;
    // Names a serial port could have, and near misses: those stay serial ports.
    QTest::newRow("sim:9") << "sim:9" << false;
    QTest::newRow("SIM") << "SIM" << false;
    QTest::newRow("simulated") << "simulated" << false;
    QTest::newRow("COM1") << "COM1" << false;
    QTest::newRow("/dev/ttyS0") << "/dev/ttyS0" << false;
    QTest::newRow("empty") << "" << false;
}

void tst_SimulatedTimer::devices()
{
    QFETCH(QString, device);
    QFETCH(bool, simulated);
    SimulatedTimers timers;
    QCOMPARE(timers.lineFor(device) != nullptr, simulated);
}

void tst_SimulatedTimer::connects_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("blockLen");
    QTest::addColumn<int>("lastParam");
    QTest::newRow("sim") << "sim"
                         << "V2SIM" << 16 << 10;
    QTest::newRow("sim:16") << "sim:16"
                            << "V2SIM" << 16 << 10;
    QTest::newRow("sim:8") << "sim:8"
                           << "V1SIM" << 8 << 7;
}

void tst_SimulatedTimer::connects()
{
    QFETCH(QString, device);
    QFETCH(QString, version);
    QFETCH(int, blockLen);
    QFETCH(int, lastParam);
    SimulatedTimers timers;
    SimulatedLink s(timers, device);
    QVERIFY(s.connect());
    QCOMPARE(s.view.version, version);
    QCOMPARE(s.link.BlockLen, blockLen);
    QCOMPARE(s.link.LastParam, lastParam);
    QCOMPARE(rowsOf(s.view, lastParam), defaultRows(lastParam));
    QCOMPARE(s.link.TestShutter(), TimerLink::StatusOk);
}

void tst_SimulatedTimer::versionFitsTheBox_data()
{
    QTest::addColumn<int>("blockLen");
    QTest::newRow("16-byte") << 16;
    QTest::newRow("8-byte") << 8;
}

// The box is as wide as a timer's "V2.10": a longer text would show cut
// short, and the "SIM" that tells the user could be the part cut off.
void tst_SimulatedTimer::versionFitsTheBox()
{
    QFETCH(int, blockLen);
    frmMain window;
    auto *box = window.findChild<QLineEdit *>(QStringLiteral("txtVersion"));
    QVERIFY(box);
    QStyleOptionFrame frame;
    frame.initFrom(box);
    frame.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, box);
    // Qt keeps 2 pixels clear on each side of a line edit's text.
    const int room =
            box->style()->subElementRect(QStyle::SE_LineEditContents, &frame, box).width() - 4;
    const QString version = QString::fromLatin1(SimulatedTimers::versionOf(blockLen));
    QVERIFY2(box->fontMetrics().horizontalAdvance(version) <= room,
             qPrintable(QStringLiteral("%1 in %2 pixels").arg(version).arg(room)));
}

void tst_SimulatedTimer::setIsKeptWhileTheProgramRuns_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("lastRow");
    QTest::addColumn<int>("lastRowValue"); // another than the stored one, in its range
    QTest::newRow("16-byte") << "sim" << 10 << 42;
    QTest::newRow("8-byte") << "sim:8" << 7 << 0;
}

void tst_SimulatedTimer::setIsKeptWhileTheProgramRuns()
{
    QFETCH(QString, device);
    QFETCH(int, lastRow);
    QFETCH(int, lastRowValue);
    QList<int> expected = defaultRows(lastRow);
    expected[0] += 1;
    expected[lastRow] = lastRowValue;
    QVERIFY(expected != defaultRows(lastRow));
    {
        SimulatedTimers timers;
        {
            SimulatedLink first(timers, device);
            QVERIFY(first.connect());
            std::copy(expected.begin(), expected.end(), first.view.values.begin());
            QCOMPARE(first.link.WriteParams(), TimerLink::StatusOk);
        }
        // The port closed and opened again, as a second Connect would.
        SimulatedLink again(timers, device);
        QVERIFY(again.connect());
        QCOMPARE(rowsOf(again.view, lastRow), expected);
    }
    // Nothing is kept once the program ends.
    SimulatedTimers afresh;
    SimulatedLink next(afresh, device);
    QVERIFY(next.connect());
    QCOMPARE(rowsOf(next.view, lastRow), defaultRows(lastRow));
}

void tst_SimulatedTimer::keepsTheTimersPace_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("blockLen");
    QTest::newRow("16-byte") << "sim" << 16;
    QTest::newRow("8-byte") << "sim:8" << 8;
}

void tst_SimulatedTimer::keepsTheTimersPace()
{
    QFETCH(QString, device);
    QFETCH(int, blockLen);
    SimulatedTimers timers;
    SimulatedLink s(timers, device);
    QVERIFY(s.connect());

    // A line that does not pace delivers "/D"'s block at once; at 2400 baud
    // its last byte comes a byte time per byte after the first. A busy machine
    // only makes it later.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(s.link.ReadParams());
    QVERIFY(clock.nsecsElapsed() >= PerloSim::lineNs(blockLen - 1));

    // The shutter stays open for its speed (row 6, tenths of a second) before
    // the timer answers; one that answered at once would take a byte time.
    const qint64 shutterMs = s.view.values[6] * 100;
    QVERIFY(shutterMs > 0);
    const qint64 cpuBefore = threadCpuNs();
    clock.restart();
    QCOMPARE(s.link.TestShutter(), TimerLink::StatusOk);
    const qint64 wallMs = clock.elapsed();
    QVERIFY2(wallMs >= shutterMs, qPrintable(QString::number(wallMs)));
    // The timer runs in the program's own thread: the wait must still sleep
    // between its events instead of spinning on them.
    const qint64 cpuMs = (threadCpuNs() - cpuBefore) / 1000000;
    QVERIFY2(sleptWhileWaiting(cpuMs, wallMs), qPrintable(QString::number(cpuMs)));
}

// Each exchange begins by clearing what came before, on the stand-in as on
// a serial port: stale text would pass for the next command's answer.
void tst_SimulatedTimer::staleInputIsCleared()
{
    SimulatedTimers timers;
    SimulatedLink s(timers, QStringLiteral("sim"));
    QVERIFY(s.link.comPERLO.setPortOpen(true));
    auto *line = qobject_cast<ProgramEnd *>(timers.lineFor(QStringLiteral("sim")));
    QVERIFY(line);
    line->deliver("ER\r\nOK");
    QCOMPARE(s.link.comPERLO.InBufferCount(), 6);
    s.link.comPERLO.setInBufferCount(0);
    QCOMPARE(s.link.comPERLO.InBufferCount(), 0);
    line->deliver("V9.99\r\nOK");
    QCOMPARE(s.link.ReadVersion(), TimerLink::StatusOk);
    QCOMPARE(s.view.version, QStringLiteral("V2SIM"));
}

QTEST_MAIN(tst_SimulatedTimer)
#include "tst_simulatedtimer.moc"
