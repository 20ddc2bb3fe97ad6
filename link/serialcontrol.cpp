#include "serialcontrol.h"
#include "linewatch.h"
#include "traffic.h"

#include <utility>

Q_LOGGING_CATEGORY(lcTraffic, "ruruzidura.traffic", QtWarningMsg)

SerialControl::SerialControl(QObject *parent) : QObject(parent)
{
    connect(&m_serial, &QSerialPort::errorOccurred, this, &SerialControl::onError);
    connect(&m_serial, &QSerialPort::readyRead, this, &SerialControl::boundInput);
    // Unix tells of a vanished line only through the descriptor; Windows
    // through the port's errors (onError).
    auto *watch = new LineWatch(this);
    connect(this, &SerialControl::lineOpened, watch, &LineWatch::watch);
    connect(this, &SerialControl::lineClosing, watch, &LineWatch::stop);
    connect(watch, &LineWatch::lineGone, this, [this] { dropLine(QStringLiteral("hang-up")); });
}

SerialControl::~SerialControl()
{
    if (m_line->isOpen())
        m_line->close();
}

QString SerialControl::deviceDescription(int port) const
{
    const QList<PresentPort> present = m_listPorts();
    const QString device = PortMap::deviceFor(port, present);
    for (const PresentPort &p : present) {
        if (p.device == device)
            return PortMap::describe(p);
    }
    return device;
}

bool SerialControl::setPortOpen(bool open)
{
    m_lineLost = false;
    if (!open) {
        emit lineClosing();
        m_rescued.clear();
        if (m_line->isOpen())
            m_line->close();
        return true;
    }
    return m_line->isOpen() || openDevice();
}

bool SerialControl::openDevice()
{
    m_openError.clear();
    m_openErrorKind = QSerialPort::NoError;
    m_device = deviceName(m_commPort);
    if (QIODevice *standIn = m_standIn ? m_standIn(m_device) : nullptr)
        return openStandIn(standIn);
    m_line = &m_serial;
    m_serial.setPortName(m_device);
    m_serial.setBaudRate(QSerialPort::Baud2400);
    m_serial.setDataBits(QSerialPort::Data8);
    m_serial.setParity(QSerialPort::NoParity);
    m_serial.setStopBits(QSerialPort::OneStop);
    m_serial.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_serial.open(QIODevice::ReadWrite)) {
        m_openErrorKind = m_serial.error();
        m_openError = m_serial.errorString();
        qCDebug(lcTraffic) << "open" << m_device << "failed:" << m_openError;
        return false;
    }
    emit lineOpened(m_serial);
    qCDebug(lcTraffic) << "opened" << m_device;
    return true;
}

bool SerialControl::openStandIn(QIODevice *line)
{
    m_line = line;
    connect(line, &QIODevice::readyRead, this, &SerialControl::boundInput, Qt::UniqueConnection);
    if (!line->open(QIODevice::ReadWrite)) {
        m_openErrorKind = QSerialPort::OpenError;
        m_openError = line->errorString();
        return false;
    }
    qCDebug(lcTraffic) << "opened" << m_device;
    return true;
}

qint64 SerialControl::InBufferCount() const
{
    return m_rescued.size() + (m_line->isOpen() ? m_line->bytesAvailable() : 0);
}

void SerialControl::setInBufferCount(qint64 count)
{
    if (count != 0)
        return;
    // A replugged cable may have come back under another name: mapped afresh.
    if (m_lineLost && openDevice())
        m_lineLost = false;
    m_rescued.clear();
    if (m_line->isOpen())
        discardInput();
}

void SerialControl::discardInput()
{
    if (m_line == &m_serial)
        m_serial.clear(QSerialPort::Input); // also what the driver holds
    else
        m_line->skip(m_line->bytesAvailable());
}

void SerialControl::Output(const QByteArray &bytes)
{
    qCDebug(lcTraffic) << "out" << bytes.toHex(' ');
    if (!m_line->isOpen())
        return;
    m_line->write(bytes);
    // A stand-in takes what is written at once.
    if (m_line == &m_serial)
        m_serial.flush();
}

QByteArray SerialControl::Input()
{
    QByteArray bytes = std::exchange(m_rescued, {});
    if (m_line->isOpen())
        bytes += m_line->readAll();
    if (!bytes.isEmpty())
        qCDebug(lcTraffic) << "in" << bytes.toHex(' ');
    return bytes;
}

void SerialControl::boundInput()
{
    const qint64 excess = m_line->bytesAvailable() - MaxBuffered;
    if (excess > 0)
        m_line->skip(excess);
}

void SerialControl::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::UnsupportedOperationError: // modem lines on a pseudo-terminal
    case QSerialPort::TimeoutError:
        return;
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
        if (!m_serial.isOpen())
            return; // reported by setPortOpen()
        // Windows reports a pulled adapter on an open line as "access denied".
        break;
    default:
        break;
    }
    // Qt 6.4 and older report a hang-up as a read error, over and over.
    dropLine(m_serial.errorString());
}

void SerialControl::dropLine(const QString &why)
{
    if (!m_serial.isOpen() || m_droppingLine)
        return;
    // The exchange in progress then ends by its watchdog, as with a silent device.
    qCDebug(lcTraffic) << "line lost:" << why;
    m_droppingLine = true;
    m_lineLost = true;
    emit lineClosing();
    m_rescued += m_serial.readAll();
    m_serial.close();
    m_droppingLine = false;
}
