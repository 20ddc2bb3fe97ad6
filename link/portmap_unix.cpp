#include "portmap_p.h"

#include <QSerialPortInfo>

namespace PortMap {

QString deviceOf(const QSerialPortInfo &info)
{
    return info.systemLocation();
}

QString unnumberedDevice(int port)
{
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

} // namespace PortMap
