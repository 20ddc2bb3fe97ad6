#ifndef SERIALCONTROL_H
#define SERIALCONTROL_H

#include "linewatch.h"

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

    // False also once the line has gone away by itself (see setInBufferCount).
    bool PortOpen() const { return m_serial.isOpen(); }
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

    // The device behind a port number: COMn on Windows; elsewhere
    // /dev/ttyS0 and /dev/ttyS1 unless RURUZIDURA_COM1/RURUZIDURA_COM2 say otherwise.
    static QString deviceName(int port);

private:
    bool openDevice();
    void onError(QSerialPort::SerialPortError error);
    // Lets go of a line that went away, so that nothing polls it any more.
    void dropLine(const QString &why);

    QSerialPort m_serial;
    LineWatch m_watch;
    qint16 m_commPort = 1;
    bool m_lineLost = false;
    bool m_droppingLine = false;
    QByteArray m_rescued; // read before the line went away, not yet taken
    InputModeKind m_inputMode = InputModeText;
    QString m_openError;
    QSerialPort::SerialPortError m_openErrorKind = QSerialPort::NoError;
};

#endif
