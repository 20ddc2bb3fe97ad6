#include "portmap.h"
#include "portmap_p.h"

#include <QSerialPortInfo>

#include <algorithm>

namespace PortMap {
namespace {

bool isAdapter(const PresentPort &port)
{
    const QString name = port.device.section(QLatin1Char('/'), -1);
    return name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"));
}

// "/dev/ttyUSB2" before "/dev/ttyUSB10".
bool byDeviceName(const PresentPort &a, const PresentPort &b)
{
    auto split = [](const QString &device) {
        qsizetype digits = device.size();
        while (digits > 0 && device.at(digits - 1).isDigit())
            --digits;
        return std::make_pair(device.left(digits), device.mid(digits).toULongLong());
    };
    return split(a.device) < split(b.device);
}

} // namespace

QList<PresentPort> systemPorts()
{
    QList<PresentPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.append({ deviceOf(info), info.description(), info.manufacturer() });
    return ports;
}

QList<PresentPort> inComOrder(QList<PresentPort> ports)
{
    std::sort(ports.begin(), ports.end(), [](const PresentPort &a, const PresentPort &b) {
        if (isAdapter(a) != isAdapter(b))
            return isAdapter(b);
        return byDeviceName(a, b);
    });
    return ports;
}

QString deviceFor(int port, const QList<PresentPort> &present)
{
    const QByteArray override = qgetenv("RURUZIDURA_COM" + QByteArray::number(port));
    if (!override.isEmpty())
        return QString::fromLocal8Bit(override);
    const QList<PresentPort> numbered = inComOrder(present);
    if (port >= 1 && port <= numbered.size())
        return numbered.at(port - 1).device;
    return unnumberedDevice(port);
}

QString describe(const PresentPort &port)
{
    QString text = port.device;
    if (!port.description.isEmpty())
        text += QStringLiteral(": ") + port.description;
    // Windows' built-in ports come from "(Standard port types)".
    const QString &maker = port.manufacturer;
    if (maker.startsWith(QLatin1Char('(')) && maker.endsWith(QLatin1Char(')')))
        text += QLatin1Char(' ') + maker;
    else if (!maker.isEmpty())
        text += QStringLiteral(" (%1)").arg(maker);
    return text;
}

} // namespace PortMap
