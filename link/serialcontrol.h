#ifndef SERIALCONTROL_H
#define SERIALCONTROL_H

#include "portmap.h"

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>

// The timer's serial line, with the few properties the link uses: port
// number, open state, input mode, received count, write and read.
// 2400 baud, 8 data bits, no parity, 1 stop bit, no flow control, raw bytes.
// The line is a QSerialPort, unless a stand-in takes the port's device name.
class SerialControl : public QObject
{
    Q_OBJECT
public:
    enum InputModeKind { InputModeText = 0, InputModeBinary = 1 };
    // What is kept of the input between two reads; beyond it the oldest goes.
    static constexpr qint64 MaxBuffered = 1024 * 1024;

    explicit SerialControl(QObject *parent = nullptr);
    // Lets go of the line, a stand-in as a serial port.
    ~SerialControl() override;

    qint16 CommPort() const { return m_commPort; }
    void setCommPort(qint16 port) { m_commPort = port; }

    // False also once the line has gone away by itself (see setInBufferCount).
    bool PortOpen() const { return m_line->isOpen(); }
    // Opening can fail; the reason is then in openError().
    bool setPortOpen(bool open);
    QString openError() const { return m_openError; }
    QSerialPort::SerialPortError openErrorKind() const { return m_openErrorKind; }

    InputModeKind InputMode() const { return m_inputMode; }
    void setInputMode(InputModeKind mode) { m_inputMode = mode; }

    qint64 InBufferCount() const;
    // Only 0 is meaningful: it discards everything received so far. Every
    // exchange begins so; a line that went away since the last one is opened
    // again first, once.
    void setInBufferCount(qint64 count);

    void Output(const QByteArray &bytes);
    // Everything waiting. In text mode each byte is one character (Latin-1).
    QByteArray Input();

    // Read-only, for checking the line settings.
    const QSerialPort &serialPort() const { return m_serial; }

    // The serial ports present now, numbered as COM1, COM2, ...; a seam, so
    // that the numbering can be tried without the hardware.
    using PortLister = std::function<QList<PresentPort>()>;
    void setPortLister(PortLister lister) { m_listPorts = std::move(lister); }
    QList<PresentPort> presentPorts() const { return PortMap::inComOrder(m_listPorts()); }
    // The device behind a port number at this moment.
    QString deviceName(int port) const { return PortMap::deviceFor(port, m_listPorts()); }
    // The device with what the system knows of it, as the user would recognise it.
    QString deviceDescription(int port) const;
    // The device the last open tried.
    QString device() const { return m_device; }

    // A line other than a serial port for the devices it knows (a simulated
    // timer inside the program); nullptr for the others. What it hands back
    // must outlive this object.
    using LineStandIn = std::function<QIODevice *(const QString &device)>;
    void setStandIn(LineStandIn standIn) { m_standIn = std::move(standIn); }

signals:
    // For whatever watches the line beside the serial library.
    void lineOpened(const QSerialPort &line);
    void lineClosing();

private:
    bool openDevice();
    bool openStandIn(QIODevice *line);
    void discardInput();
    void onError(QSerialPort::SerialPortError error);
    // Qt reads the line whether or not an exchange waits: a device that talks
    // without end between two exchanges (a USB device ignores the baud rate)
    // would otherwise fill the memory with what the next exchange discards.
    void boundInput();
    // Lets go of a line that went away, so that nothing polls it any more.
    void dropLine(const QString &why);

    PortLister m_listPorts = PortMap::systemPorts;
    LineStandIn m_standIn;
    QSerialPort m_serial;
    QIODevice *m_line = &m_serial;
    QString m_device;
    qint16 m_commPort = 1;
    bool m_lineLost = false;
    bool m_droppingLine = false;
    QByteArray m_rescued; // read before the line went away, not yet taken
    InputModeKind m_inputMode = InputModeText;
    QString m_openError;
    QSerialPort::SerialPortError m_openErrorKind = QSerialPort::NoError;
};

#endif
