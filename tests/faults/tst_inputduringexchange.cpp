// Clicks, spinner steps and keys that arrive while an exchange waits: they
// never start a second exchange and never change a value on its way out.
#include "updown.h"
#include "windowbench.h"

#include <QRadioButton>
#include <QScopedValueRollback>
#include <QtTest>

class tst_InputDuringExchange : public QObject
{
    Q_OBJECT
private slots:
    void inputIsHeldOff_data();
    void inputIsHeldOff();
};

void tst_InputDuringExchange::inputIsHeldOff_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("Connect") << "btnConnect";
    QTest::newRow("Retrieve") << "btnGet";
    QTest::newRow("Set") << "btnSet";
    QTest::newRow("Test Shutter") << "btnShutter";
}

void tst_InputDuringExchange::inputIsHeldOff()
{
    QFETCH(QString, action);
    WindowBench bench;
    QList<int> rows{11, 12, 13, 14, 15, 16, 2, 1, 17, 18, 19};
    bench.sim().setBlock(blockOf(rows));
    bench.sim().setReplyDelay(150); // long enough for many rounds of input
    QVERIFY(bench.start());
    QByteArray wire = "/V/Z/D";
    if (action != "btnConnect") {
        QVERIFY(bench.connectToTimer());
        if (action == "btnSet") {
            bench.step(0, true);
            bench.step(10, true);
            rows = bench.values();
            wire = "/P" + blockOf(rows);
        } else if (action == "btnGet") {
            bench.step(3, true);
            rows = {33, 34, 35, 36, 37, 38, 3, 0, 39, 40, 255};
            bench.sim().setBlock(blockOf(rows));
            wire = "/D";
        } else {
            wire = "/S";
        }
        bench.sim().clearReceived();
    }

    // Every input the window takes, thrown at it every 5 ms. A round that
    // comes while the one before has not returned means an input started
    // something that waits.
    QList<QWidget *> clickable{bench.find("btnConnect"), bench.find("optCom(1)"), bench.find("btnGet"),
                               bench.find("btnSet"), bench.find("btnShutter")};
    for (int row = 0; row < FlightParams::RowCount; ++row)
        clickable << bench.spinner(row)->findChild<QWidget *>("up") << bench.spinner(row)->findChild<QWidget *>("down");
    QVERIFY(!clickable.contains(nullptr));
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
        for (QWidget *widget : std::as_const(clickable))
            QTest::mouseClick(widget, Qt::LeftButton);
        for (int row = 0; row < FlightParams::RowCount; ++row)
            QTest::keyClick(bench.spinner(row), rounds % 2 ? Qt::Key_Up : Qt::Key_Down);
    });
    QObject::connect(&bench.sim(), &PerloSim::commandReceived, [&] { roundsAtLastCommand = rounds; });
    barrage.start(5);
    // A window that lets the input through can end up waiting for good.
    QVERIFY(bench.clickWithin(action, 5000));
    barrage.stop();

    QCOMPARE(nestedRounds, 0);
    QVERIFY2(rounds - roundsAtLastCommand >= 5, qPrintable(QString::number(rounds - roundsAtLastCommand)));
    QVERIFY(bench.boxes.seen.isEmpty());
    QCOMPARE(bench.sim().receivedBytes(), wire);
    QCOMPARE(bench.values(), rows);
    QCOMPARE(bench.link().comPERLO.CommPort(), qint16(1));
    QVERIFY(bench.find<QRadioButton>("optCom(0)")->isChecked());
    QVERIFY(!bench.find("btnSet")->isEnabled());
    QVERIFY(bench.find("btnShutter")->isEnabled());
}

QTEST_MAIN(tst_InputDuringExchange)
#include "tst_inputduringexchange.moc"
