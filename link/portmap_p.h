#ifndef PORTMAP_P_H
#define PORTMAP_P_H

#include <QString>

class QSerialPortInfo;

// How each system names its serial ports.
namespace PortMap {

// The name QSerialPort opens the port by.
QString deviceOf(const QSerialPortInfo &info);
// The device that port number `port` stands for when fewer ports are present.
QString unnumberedDevice(int port);

} // namespace PortMap

#endif
