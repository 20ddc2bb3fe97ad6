#ifndef PORTMAP_H
#define PORTMAP_H

#include <QList>
#include <QString>

// A serial port of this computer, as the user would recognise it.
struct PresentPort
{
    QString device; // "/dev/ttyUSB0"; on Windows "COM4"
    QString description; // "FT232R USB UART", when the system knows it
    QString manufacturer; // "FTDI"
};

// Which device a port number stands for. The ports are numbered as Windows
// numbers them: built-in UARTs first, then USB and ACM adapters, each group
// by device name (on Windows: by COM number); RURUZIDURA_COMn overrides.
namespace PortMap {

// What the system has now. Qt leaves out built-in UARTs with no hardware behind them.
QList<PresentPort> systemPorts();

QList<PresentPort> inComOrder(QList<PresentPort> ports);

// The device COMn opens, given the ports present: RURUZIDURA_COMn, else the
// n-th port, else /dev/ttyS<n-1> or, on Windows, COMn (whose open then fails
// with the usual reason).
QString deviceFor(int port, const QList<PresentPort> &present);

// "/dev/ttyUSB0: FT232R USB UART (FTDI)" or "COM4: USB Serial Port (FTDI)",
// or as much of it as is known.
QString describe(const PresentPort &port);

} // namespace PortMap

#endif
