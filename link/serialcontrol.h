#ifndef SERIALCONTROL_H
#define SERIALCONTROL_H

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

// The timer's serial line, with the few properties the link uses: port
// number, open state, input mode, received count, write and read.
// 2400 baud, 8 data bits, no parity, 1 stop bit, no flow control, raw bytes.
class SerialControl : public QObject
{
    Q_OBJECT
public:
    enum InputModeKind { InputModeText = 0, InputModeBinary = 1 };

    explicit SerialControl(QObject *parent = nullptr);

    qint16 CommPort() const { return m_commPort; }
    void setCommPort(qint16 port) { m_commPort = port; }

    bool PortOpen() const { return m_open; }
    // Opening can fail; the reason is then in openError().
    bool setPortOpen(bool open);
    QString openError() const { return m_openError; }
    QSerialPort::SerialPortError openErrorKind() const { return m_openErrorKind; }

    InputModeKind InputMode() const { return m_inputMode; }
    void setInputMode(InputModeKind mode) { m_inputMode = mode; }

    qint64 InBufferCount() const;
    // Only 0 is meaningful: it discards everything received so far.
    void setInBufferCount(qint64 count);

    void Output(const QByteArray &bytes);
    // Everything waiting. In text mode each byte is one character (Latin-1).
    QByteArray Input();

    // Read-only, for checking the line settings.
    const QSerialPort &serialPort() const { return m_serial; }

    // The device behind a port number: COMn on Windows; elsewhere
    // /dev/ttyS0 and /dev/ttyS1 unless RURUZIDURA_COM1/RURUZIDURA_COM2 say otherwise.
    static QString deviceName(int port);

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_serial;
    qint16 m_commPort = 1;
    bool m_open = false;
    bool m_droppingLine = false;
    InputModeKind m_inputMode = InputModeText;
    QString m_openError;
    QSerialPort::SerialPortError m_openErrorKind = QSerialPort::NoError;
};

#endif
