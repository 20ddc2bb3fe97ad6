#include "windowbench.h"

#include <QCursor>
#include <QFile>
#include <QGuiApplication>

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
    m_sampler.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_sampler, &QTimer::timeout, [this] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        samples.append({PerloSim::nowNs(), cursor && cursor->shape() == Qt::WaitCursor,
                        link().tmrDog.Interval()});
    });
}

WindowBench::~WindowBench()
{
    m_sampler.stop();
    m_window.reset();
    for (int port = 1; port <= 2; ++port)
        qunsetenv(portVariable(port).constData());
}

bool WindowBench::start()
{
    for (int port = 1; port <= m_ports; ++port) {
        if (!sim(port).start())
            return false;
        qputenv(portVariable(port).constData(), QFile::encodeName(sim(port).portPath()));
    }
    m_window = std::make_unique<frmMain>();
    m_window->show();
    m_sampler.start(5);
    return QTest::qWaitForWindowExposed(m_window.get());
}

void WindowBench::press(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
    QTest::qWait(20);
}

bool WindowBench::clickWithin(const QString &name, int ms)
{
    QTimer rescue;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, m_window.get(), &QWidget::close);
    rescue.start(ms);
    QTest::mouseClick(find(name), Qt::LeftButton);
    return rescue.isActive();
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

QList<WindowBench::Sample> WindowBench::busySamples() const
{
    QList<Sample> busy;
    for (const Sample &s : samples) {
        if (s.busy)
            busy.append(s);
    }
    return busy;
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
