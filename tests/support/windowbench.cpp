#include "windowbench.h"
#include "boxlook.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTest>

WindowBench::WindowBench()
{
    for (PerloSim &sim : m_sims)
        sim.setLinePaced(false);
    m_sampler.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_sampler, &QTimer::timeout, [this] { answerBox(); });
}

WindowBench::~WindowBench()
{
    m_sampler.stop();
    m_window.reset();
    qunsetenv("RURUZIDURA_COM1");
    qunsetenv("RURUZIDURA_COM2");
}

bool WindowBench::start(int ports)
{
    // Each sim is reached through a link of its own, which goes when the sim
    // hangs up: a freed pseudo-terminal number may soon be another's.
    for (int port = 1; port <= ports; ++port) {
        if (!sim(port).start() || !sim(port).makeLink(cable(port)))
            return false;
        qputenv(("RURUZIDURA_COM" + QByteArray::number(port)).constData(),
                QFile::encodeName(cable(port)));
    }
    m_window = std::make_unique<frmMain>();
    QObject::connect(m_window.get(), &frmMain::mousePointerChanged, [this](int pointer) {
        pointerChanges.append({ PerloSim::nowNs(), pointer });
    });
    m_window->show();
    m_sampler.start(5);
    return QTest::qWaitForWindowExposed(m_window.get());
}

qint64 WindowBench::busyMs() const
{
    qint64 setNs = -1;
    for (const PointerChange &change : pointerChanges) {
        if (change.pointer != frmMain::PointerDefault && setNs < 0)
            setNs = change.ns;
        else if (change.pointer == frmMain::PointerDefault && setNs >= 0)
            return (change.ns - setNs) / 1000000;
    }
    return 0;
}

void WindowBench::answerBox()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    QString wrong;
    for (const QString &fault : boxStyleFaults(*box))
        wrong += QLatin1Char('[') + fault + QStringLiteral("] ");
    if (find(m_pressed)->isEnabledTo(find(m_pressed)->parentWidget()))
        wrong += QStringLiteral("[%1 back before the box] ").arg(m_pressed);
    if (box->text().startsWith(QLatin1String("Error getting")) && !link().comPERLO.PortOpen())
        wrong += QStringLiteral("[port closed before the box] ");
    boxes.append(wrong + box->text());
    box->button(QMessageBox::Ok)->click();
}

void WindowBench::press(const QString &name, const std::function<void()> &afterHandler)
{
    m_pressed = name;
    QTest::mouseClick(find(name), Qt::LeftButton);
    if (afterHandler)
        afterHandler();
    QTest::qWait(20);
}

QString WindowBench::texts() const
{
    QStringList all;
    for (int row = 0; row < FlightParams::RowCount; ++row)
        all.append(box(row)->text().isEmpty() ? QStringLiteral("-") : box(row)->text());
    return all.join(' ');
}

QString WindowBench::state() const
{
    auto own = [this](const char *name) {
        QWidget *w = find(name);
        return QLatin1String(w->isEnabledTo(w->parentWidget()) ? "+" : "-");
    };
    QWidget *params = find("fmeParams");
    QString rows;
    for (int row = 0; row < FlightParams::RowCount; ++row) {
        const bool boxOn = box(row)->isEnabledTo(params),
                   spinnerOn = spinner(row)->isEnabledTo(params);
        const QColor background = box(row)->palette().color(QPalette::Base);
        const QPalette system = QGuiApplication::palette();
        rows += boxOn && spinnerOn && background == system.color(QPalette::Base)       ? 'x'
                : !boxOn && !spinnerOn && background == system.color(QPalette::Button) ? '.'
                                                                                       : '?';
    }
    return QStringLiteral(
                   "%1 %2; serial%3; connect%4; params%5; get%6 set%7 shutter%8; rows %9; %10")
            .arg(find<QAbstractButton>("optCom(0)")->isChecked() ? "COM1" : "COM2")
            .arg(m_window->link().comPERLO.PortOpen() ? "open" : "closed", own("fmeSerial"),
                 own("btnConnect"), own("fmeParams"), own("btnGet"), own("btnSet"),
                 own("btnShutter"), rows, find<QLineEdit>("txtVersion")->text());
}
