#include "portmap_p.h"

#include <QSerialPortInfo>

namespace PortMap {

// Windows names its ports "COM4", and QSerialPort opens them by that name.
QString deviceOf(const QSerialPortInfo &info)
{
    return info.portName();
}

QString unnumberedDevice(int port)
{
    return QStringLiteral("COM%1").arg(port);
}

} // namespace PortMap
