#include "busysampler.h"
#include "flightparams.h"
#include "updown.h"
#include "windowbench.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

// "Connect" from the user's side: what the window shows and lets the user do
// after it succeeds or fails, and what reaches the timer meanwhile.
class tst_WindowConnect : public QObject
{
    Q_OBJECT
private slots:
    void connectsToA16ByteTimer();
    void connectsToAn8ByteTimer();
    void noDeviceTimesOutUnderTheBusyCursor();
    void refusedVersionReadAllowsARetry();
    void com2OpensPortTwo();
    void failedParameterReadLeavesTheFrameUsable();
    void clicksDuringTheParameterReadDoNothing();
};

namespace {

const QString VersionHeading = QStringLiteral("Error getting timer firmware version");

// Rows 0 to 10 as the timer holds them, and as the window must show them.
const QList<int> TimerRows{11, 22, 33, 44, 55, 66, 77, 200, 88, 99, 255};
const QList<int> ShownRows{11, 22, 33, 44, 55, 66, 77, 1, 88, 99, 255};

qint64 msBetween(qint64 fromNs, qint64 toNs)
{
    return (toNs - fromNs) / 1000000;
}

// When the timer received the command letter `command`.
std::optional<qint64> commandNs(const PerloSim &sim, char command)
{
    const qsizetype at = sim.receivedBytes().indexOf(QByteArray("/") + command);
    if (at < 0)
        return std::nullopt;
    return sim.received().at(at + 1).ns;
}

} // namespace

void tst_WindowConnect::connectsToA16ByteTimer()
{
    WindowBench bench;
    // Slow replies, so that the cursor can be watched.
    bench.sim().setReplyDelay(30);
    bench.sim().setScript('D', {{150, blockOf(TimerRows)}});
    QVERIFY(bench.start());
    QSignalSpy shutterRowChanges(bench.box(FlightParams::ShutterSpeedRow), &QLineEdit::textChanged);
    BusySampler sampler(bench.link());

    QVERIFY(bench.connectToTimer());

    QCOMPARE(bench.sim().receivedBytes(), QByteArray("/V/Z/D"));
    QCOMPARE(bench.versionBox()->text(), QStringLiteral("V2.10"));
    QCOMPARE(bench.values(), ShownRows);
    QCOMPARE(bench.texts(), digits(ShownRows));
    for (int row = 0; row < FlightParams::RowCount; ++row) {
        QVERIFY(bench.box(row)->isEnabled());
        QVERIFY(bench.spinner(row)->isEnabled());
    }
    // Loading the rows raised their change events, row 6's included, yet the
    // read ends with "Set" off and "Test Shutter" on.
    QCOMPARE(shutterRowChanges.size(), 1);
    QVERIFY(!bench.button("btnSet")->isEnabled());
    QVERIFY(bench.button("btnShutter")->isEnabled());
    QVERIFY(bench.button("btnGet")->isEnabled());
    QVERIFY(bench.frame("fmeParams")->isEnabled());
    QVERIFY(!bench.frame("fmeSerial")->isEnabled());
    QVERIFY(!bench.button("btnConnect")->isEnabledTo(bench.frame("fmeSerial")));
    QVERIFY(!bench.portOption(0)->isEnabled() && !bench.portOption(1)->isEnabled());
    QVERIFY(bench.link().comPERLO.PortOpen());

    // Busy for the version read only: the parameter read runs with the default cursor.
    const auto readStart = commandNs(bench.sim(), 'D');
    QVERIFY(readStart);
    QVERIFY(sampler.firstBusyNs());
    QVERIFY(*sampler.lastBusyNs() < *readStart);
    int samplesDuringRead = 0;
    for (const BusySampler::Sample &s : sampler.samples())
        samplesDuringRead += s.ns > *readStart ? 1 : 0;
    QVERIFY2(samplesDuringRead > 5, "the parameter read did not let events run");
    QCOMPARE(bench.window().MousePointer(), 0);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void tst_WindowConnect::connectsToAn8ByteTimer()
{
    WindowBench bench;
    bench.sim().setGeneration(8);
    bench.sim().setBlock(blockOf(TimerRows));
    QVERIFY(bench.start());
    QVERIFY(bench.connectToTimer());

    QCOMPARE(bench.sim().receivedBytes(), QByteArray("/V/Z/D"));
    QCOMPARE(bench.values().mid(0, 8), ShownRows.mid(0, 8));
    QCOMPARE(bench.texts().mid(0, 8), digits(ShownRows.mid(0, 8)));
    // Greyed as drawn: the background at the left of each box, away from
    // its right-aligned digits.
    auto background = [&](int row) {
        QLineEdit *box = bench.box(row);
        return box->grab().toImage().pixelColor(5, box->height() / 2);
    };
    const QColor inUse = background(0);
    for (int row = 0; row <= 7; ++row) {
        QVERIFY(bench.box(row)->isEnabled());
        QVERIFY(bench.spinner(row)->isEnabled());
        QCOMPARE(background(row), inUse);
    }
    for (int row = 8; row <= 10; ++row) {
        QVERIFY(!bench.box(row)->isEnabledTo(bench.frame("fmeParams")));
        QVERIFY(!bench.spinner(row)->isEnabledTo(bench.frame("fmeParams")));
        QVERIFY(background(row) != inUse);
        QVERIFY(bench.box(row)->text().isEmpty());
        QCOMPARE(bench.spinner(row)->Value(), 0);
    }
    QVERIFY(!bench.button("btnSet")->isEnabled());
    QVERIFY(bench.button("btnShutter")->isEnabled());
}

void tst_WindowConnect::noDeviceTimesOutUnderTheBusyCursor()
{
    WindowBench bench;
    bench.sim().setFault(PerloSim::Fault::Silent);
    QVERIFY(bench.start());
    BusySampler sampler(bench.link());

    const qint64 clickNs = PerloSim::nowNs();
    bench.press(bench.button("btnConnect"));

    QCOMPARE(bench.boxes.seen().size(), 1);
    const MessageBoxWatcher::SeenBox box = bench.boxes.seen().first();
    QCOMPARE(box.text, VersionHeading + "\r\n\r\nI/O Timed Out");
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.title, QStringLiteral("RURUZidura"));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(box.defaultCursor);

    // Two watchdog intervals, "/V" then "/Z", under the wait cursor.
    const qint64 boxAfterMs = msBetween(clickNs, box.shownNs);
    QVERIFY2(boxAfterMs >= 900 && boxAfterMs <= 1400, qPrintable(QString::number(boxAfterMs)));
    QVERIFY(sampler.firstBusyNs() && sampler.lastBusyNs());
    QVERIFY(msBetween(clickNs, *sampler.firstBusyNs()) < 150);
    const qint64 busyMs = msBetween(*sampler.firstBusyNs(), *sampler.lastBusyNs());
    QVERIFY2(busyMs >= 900 && busyMs <= 1400, qPrintable(QString::number(busyMs)));
    QVERIFY(*sampler.lastBusyNs() < box.shownNs);
    QCOMPARE(bench.sim().receivedBytes(), QByteArray("/V/Z"));

    QVERIFY(!bench.link().comPERLO.PortOpen());
    QCOMPARE(bench.versionBox()->text(), QStringLiteral("N/A"));
    QVERIFY(bench.button("btnConnect")->isEnabled());
    QVERIFY(bench.frame("fmeSerial")->isEnabled());
    QVERIFY(!bench.frame("fmeParams")->isEnabled());
    QCOMPARE(bench.window().MousePointer(), 0);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // The other port can be chosen now.
    bench.click(bench.portOption(1));
    QCOMPARE(bench.link().comPERLO.CommPort(), qint16(2));
}

void tst_WindowConnect::refusedVersionReadAllowsARetry()
{
    WindowBench bench;
    bench.sim().setFault(PerloSim::Fault::RefuseAll);
    QVERIFY(bench.start());
    bench.press(bench.button("btnConnect"));

    QCOMPARE(bench.boxes.seen().size(), 1);
    const MessageBoxWatcher::SeenBox box = bench.boxes.seen().first();
    QCOMPARE(box.text, VersionHeading + "\r\n\r\nTimer reproted Error");
    QCOMPARE(box.icon, QMessageBox::Critical);
    QVERIFY(box.defaultCursor);
    QCOMPARE(bench.sim().receivedBytes(), QByteArray("/V/Z"));
    QVERIFY(!bench.link().comPERLO.PortOpen());
    QCOMPARE(bench.versionBox()->text(), QStringLiteral("N/A"));
    QVERIFY(bench.button("btnConnect")->isEnabled());

    bench.sim().setFault(PerloSim::Fault::None);
    bench.boxes.clear();
    QVERIFY(bench.connectToTimer());
    QCOMPARE(bench.versionBox()->text(), QStringLiteral("V2.10"));
    QVERIFY(bench.box(10)->isEnabled());
}

void tst_WindowConnect::com2OpensPortTwo()
{
    WindowBench bench(2);
    bench.sim(2).setVersion("V3.01");
    QVERIFY(bench.start());
    bench.click(bench.portOption(1));
    QVERIFY(bench.connectToTimer());

    QVERIFY(bench.sim(2).receivedBytes().startsWith("/V"));
    QVERIFY(bench.sim(1).receivedBytes().isEmpty());
    QCOMPARE(bench.link().comPERLO.CommPort(), qint16(2));
    QCOMPARE(bench.versionBox()->text(), QStringLiteral("V3.01"));
}

void tst_WindowConnect::failedParameterReadLeavesTheFrameUsable()
{
    // An 8-byte timer whose block comes one byte short: no "Autorun Mode".
    WindowBench bench;
    bench.sim().setGeneration(8);
    bench.sim().setFault(PerloSim::Fault::ShortBlock);
    bench.sim().setBlock(blockOf(TimerRows));
    QVERIFY(bench.start());
    bench.press(bench.button("btnConnect"));

    QCOMPARE(bench.boxes.seen().size(), 1);
    const MessageBoxWatcher::SeenBox box = bench.boxes.seen().first();
    QCOMPARE(box.text, QStringLiteral("Error retreiving parameters"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.title, QStringLiteral("RURUZidura"));
    QVERIFY(box.defaultCursor);

    QCOMPARE(bench.versionBox()->text(), QStringLiteral("V2.10"));
    QVERIFY(bench.link().comPERLO.PortOpen());
    QVERIFY(bench.frame("fmeParams")->isEnabled());
    QVERIFY(!bench.frame("fmeSerial")->isEnabled());
    QCOMPARE(bench.values(), QList<int>(FlightParams::RowCount, 0));
    QCOMPARE(bench.texts(), QStringList(FlightParams::RowCount, QString()));
    QVERIFY(!bench.button("btnSet")->isEnabled());
    QVERIFY(bench.button("btnShutter")->isEnabled());

    // "Retrieve" is the way to try again.
    bench.sim().setFault(PerloSim::Fault::None);
    bench.boxes.clear();
    bench.press(bench.button("btnGet"));
    QVERIFY(bench.boxes.seen().isEmpty());
    QCOMPARE(bench.values().mid(0, 8), ShownRows.mid(0, 8));
}

void tst_WindowConnect::clicksDuringTheParameterReadDoNothing()
{
    WindowBench bench;
    bench.sim().setScript('D', {{400, blockOf(TimerRows)}});
    QVERIFY(bench.start());
    QSignalSpy row0Changes(bench.box(0), &QLineEdit::textChanged);

    // What the rows held right after the clicks, still inside the read.
    QList<int> valuesAfterClicks;
    QStringList textsAfterClicks;
    bool clicked = false;
    bool stillReading = false;
    QObject::connect(&bench.sim(), &PerloSim::commandReceived, &bench.window(), [&](char command) {
        if (command != 'D')
            return;
        QTimer::singleShot(50, &bench.window(), [&] {
            stillReading = bench.box(0)->text().isEmpty();
            bench.click(bench.button("btnGet"));
            bench.click(bench.button("btnSet"));
            bench.click(bench.button("btnShutter"));
            bench.stepUp(0);
            bench.stepUp(FlightParams::ShutterSpeedRow);
            valuesAfterClicks = bench.values();
            textsAfterClicks = bench.texts();
            clicked = true;
        });
    });

    // A second exchange nested in the read could leave it waiting for ever.
    const bool ended = bench.pressWithin(bench.button("btnConnect"), 3000);
    QVERIFY(clicked);
    QVERIFY2(stillReading, "the clicks came too late to fall into the read");

    const QByteArray received = bench.sim().receivedBytes();
    QCOMPARE(received.count("/D"), 1);
    QVERIFY(!received.contains("/S"));
    QVERIFY(!received.contains("/P"));
    QCOMPARE(received, QByteArray("/V/Z/D"));
    QVERIFY2(ended, "the read had to be ended by closing the window");
    QVERIFY(bench.boxes.seen().isEmpty());
    QCOMPARE(valuesAfterClicks, QList<int>(FlightParams::RowCount, 0));
    QCOMPARE(textsAfterClicks, QStringList(FlightParams::RowCount, QString()));
    QCOMPARE(row0Changes.size(), 1);
    QCOMPARE(bench.values(), ShownRows);
    QVERIFY(!bench.button("btnSet")->isEnabled());
    QVERIFY(bench.button("btnShutter")->isEnabled());
}

QTEST_MAIN(tst_WindowConnect)
#include "tst_window_connect.moc"
