#include "windowbench.h"
#include "updown.h"

#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

QByteArray portVariable(int port)
{
    return "RURUZIDURA_COM" + QByteArray::number(port);
}

} // namespace

WindowBench::WindowBench(int ports)
    : m_ports(ports)
{
    for (PerloSim &sim : m_sims)
        sim.setLinePaced(false);
}

WindowBench::~WindowBench()
{
    m_window.reset();
    for (int port = 1; port <= 2; ++port)
        qunsetenv(portVariable(port).constData());
}

bool WindowBench::start()
{
    for (int port = 1; port <= 2; ++port) {
        if (port > m_ports) {
            qunsetenv(portVariable(port).constData());
            continue;
        }
        QString error;
        if (!sim(port).start(&error)) {
            qWarning("cannot start the simulated timer: %s", qPrintable(error));
            return false;
        }
        qputenv(portVariable(port).constData(), QFile::encodeName(sim(port).portPath()));
    }
    m_window = std::make_unique<frmMain>();
    m_window->show();
    return QTest::qWaitForWindowExposed(m_window.get());
}

QGroupBox *WindowBench::frame(const char *name) const
{
    return m_window->findChild<QGroupBox *>(QLatin1String(name));
}

QPushButton *WindowBench::button(const char *name) const
{
    return m_window->findChild<QPushButton *>(QLatin1String(name));
}

QRadioButton *WindowBench::portOption(int index) const
{
    return m_window->findChild<QRadioButton *>(QStringLiteral("optCom(%1)").arg(index));
}

QLineEdit *WindowBench::versionBox() const
{
    return m_window->findChild<QLineEdit *>(QStringLiteral("txtVersion"));
}

QLineEdit *WindowBench::box(int row) const
{
    return m_window->findChild<QLineEdit *>(QStringLiteral("txtParam(%1)").arg(row));
}

UpDown *WindowBench::spinner(int row) const
{
    return m_window->findChild<UpDown *>(QStringLiteral("udParam(%1)").arg(row));
}

QToolButton *WindowBench::arrow(int row, const char *which) const
{
    UpDown *spin = spinner(row);
    return spin ? spin->findChild<QToolButton *>(QLatin1String(which)) : nullptr;
}

void WindowBench::click(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

void WindowBench::press(QWidget *widget)
{
    click(widget);
    QTest::qWait(20);
}

bool WindowBench::pressWithin(QWidget *widget, int ms)
{
    QTimer rescue;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, m_window.get(), &QWidget::close);
    rescue.start(ms);
    press(widget);
    return rescue.isActive();
}

void WindowBench::stepUp(int row)
{
    click(arrow(row, "up"));
}

void WindowBench::stepDown(int row)
{
    click(arrow(row, "down"));
}

bool WindowBench::connectToTimer()
{
    press(button("btnConnect"));
    return boxes.seen().isEmpty() && frame("fmeParams")->isEnabled() && link().comPERLO.PortOpen();
}

QList<int> WindowBench::values() const
{
    QList<int> values;
    for (int row = 0; row < FlightParams::RowCount; ++row)
        values.append(spinner(row)->Value());
    return values;
}

QStringList WindowBench::texts() const
{
    QStringList texts;
    for (int row = 0; row < FlightParams::RowCount; ++row)
        texts.append(box(row)->text());
    return texts;
}

QByteArray blockOf(const QList<int> &rows)
{
    QByteArray block(PerloSim::MaxBlockLen, '\0');
    for (qsizetype i = 0; i < rows.size(); ++i)
        block[i] = char(quint8(rows[i]));
    return block;
}

QStringList digits(const QList<int> &values)
{
    QStringList texts;
    for (int v : values)
        texts << QString::number(v);
    return texts;
}
