// Clicks, spinner steps and keys that arrive while an exchange waits: they
// never start a second exchange and never change a value on its way out.
#include "frmmain.h"
#include "messageboxlog.h"
#include "perlosim.h"
#include "updown.h"

#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QtTest>

namespace {

// Every input the window takes, thrown at it on every tick.
class InputBarrage : public QObject
{
public:
    explicit InputBarrage(frmMain &window)
    {
        for (const char *name : {"btnConnect", "optCom(1)", "btnGet", "btnSet", "btnShutter"})
            m_clickable.append(window.findChild<QWidget *>(name));
        for (int i = 0; i < FlightParams::RowCount; ++i) {
            auto *spinner = window.findChild<UpDown *>(QStringLiteral("udParam(%1)").arg(i));
            m_spinners.append(spinner);
            if (!spinner)
                continue;
            m_clickable.append(spinner->findChild<QWidget *>("up"));
            m_clickable.append(spinner->findChild<QWidget *>("down"));
        }
        connect(&m_timer, &QTimer::timeout, this, &InputBarrage::fire);
    }

    void start()
    {
        m_deadline.setRemainingTime(3000);
        m_timer.start(5);
    }
    void stop() { m_timer.stop(); }
    int rounds() const { return m_rounds; }
    // Rounds that came while an input of the round before had not returned:
    // that input started something that waits.
    int nestedRounds() const { return m_nestedRounds; }
    bool complete() const { return !m_clickable.contains(nullptr) && !m_spinners.contains(nullptr); }

private:
    void fire()
    {
        // A window that lets the input through would start exchange after
        // exchange from here; give up in time to report it.
        if (m_deadline.hasExpired())
            m_timer.stop();
        if (m_firing || m_deadline.hasExpired()) {
            m_nestedRounds += m_firing;
            return;
        }
        QScopedValueRollback firing(m_firing, true);
        ++m_rounds;
        for (QWidget *widget : std::as_const(m_clickable))
            QTest::mouseClick(widget, Qt::LeftButton);
        for (UpDown *spinner : std::as_const(m_spinners))
            QTest::keyClick(spinner, m_rounds % 2 ? Qt::Key_Up : Qt::Key_Down);
    }

    QList<QWidget *> m_clickable;
    QList<UpDown *> m_spinners;
    QTimer m_timer;
    QDeadlineTimer m_deadline;
    bool m_firing = false;
    int m_rounds = 0;
    int m_nestedRounds = 0;
};

QList<int> rowValues(frmMain &window)
{
    QList<int> values;
    for (int i = 0; i < FlightParams::RowCount; ++i)
        values.append(window.findChild<UpDown *>(QStringLiteral("udParam(%1)").arg(i))->Value());
    return values;
}

QList<int> rowsFromBlock(const QByteArray &block)
{
    return *FlightParams::decodeBlock(block, FlightParams::HighestRow);
}

} // namespace

class tst_InputDuringExchange : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void inputIsHeldOff_data();
    void inputIsHeldOff();

private:
    PerloSim *m_sim = nullptr;
};

void tst_InputDuringExchange::init()
{
    m_sim = new PerloSim;
    m_sim->setLinePaced(false);
    m_sim->setReplyDelay(150); // every exchange waits long enough for many rounds
    m_sim->setBlock(QByteArray::fromHex("0b0c0d0e0f1002011112130000000000"));
    QVERIFY(m_sim->start());
    qputenv("RURUZIDURA_COM1", QFile::encodeName(m_sim->portPath()));
}

void tst_InputDuringExchange::cleanup()
{
    delete m_sim;
    m_sim = nullptr;
    qunsetenv("RURUZIDURA_COM1");
}

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

    frmMain window;
    window.show();
    MessageBoxLog boxes;
    InputBarrage barrage(window);
    QVERIFY(barrage.complete());
    auto *button = window.findChild<QPushButton *>(action);
    auto *btnConnect = window.findChild<QPushButton *>("btnConnect");
    auto *btnSet = window.findChild<QPushButton *>("btnSet");
    auto *btnShutter = window.findChild<QPushButton *>("btnShutter");
    auto *com1 = window.findChild<QRadioButton *>("optCom(0)");
    QVERIFY(button && btnSet && btnShutter && com1);

    QByteArray expectedWire = "/V/Z/D";
    QList<int> expectedRows = rowsFromBlock(m_sim->block());
    if (action != "btnConnect") {
        QTest::mouseClick(btnConnect, Qt::LeftButton);
        QCOMPARE(rowValues(window), expectedRows);
        auto up = [&](int row) -> QWidget * {
            return window.findChild<UpDown *>(QStringLiteral("udParam(%1)").arg(row))
                    ->findChild<QWidget *>("up");
        };
        if (action == "btnSet") {
            QTest::mouseClick(up(0), Qt::LeftButton);
            QTest::mouseClick(up(10), Qt::LeftButton);
            expectedRows = rowValues(window);
            expectedWire = "/P";
            for (int value : std::as_const(expectedRows))
                expectedWire.append(char(value));
            expectedWire.append(5, '\0');
        } else if (action == "btnGet") {
            QTest::mouseClick(up(3), Qt::LeftButton);
            const QByteArray fresh = QByteArray::fromHex("2122232425260300272829ff00000000");
            m_sim->setBlock(fresh);
            expectedRows = rowsFromBlock(fresh);
            expectedWire = "/D";
        } else {
            expectedWire = "/S";
        }
        m_sim->clearReceived();
    }
    QVERIFY(button->isEnabled());
    QSignalSpy commands(m_sim, &PerloSim::commandReceived);
    QSignalSpy blocks(m_sim, &PerloSim::blockWritten);

    // A window that lets the input through can end up waiting for good;
    // closing it ends every wait.
    bool hung = false;
    auto rescue = std::make_unique<QObject>();
    QTimer::singleShot(5000, rescue.get(), [&] {
        hung = true;
        window.close();
    });
    barrage.start();
    QTest::mouseClick(button, Qt::LeftButton);
    barrage.stop();
    rescue.reset();
    QVERIFY(!hung);

    QCOMPARE(barrage.nestedRounds(), 0);
    QVERIFY2(barrage.rounds() >= 10, qPrintable(QString::number(barrage.rounds())));
    QVERIFY(boxes.shown.isEmpty());
    QCOMPARE(m_sim->receivedBytes(), expectedWire);
    QCOMPARE(commands.size(), action == "btnConnect" ? 3 : 1);
    QCOMPARE(blocks.size(), action == "btnSet" ? 1 : 0);
    QCOMPARE(rowValues(window), expectedRows);
    QCOMPARE(window.link().comPERLO.CommPort(), qint16(1));
    QVERIFY(com1->isChecked());
    QVERIFY(!btnSet->isEnabled());
    QVERIFY(btnShutter->isEnabled());
}

QTEST_MAIN(tst_InputDuringExchange)
#include "tst_inputduringexchange.moc"
