#include "simprocess.h"

#include <QRegularExpression>

SimProcess::SimProcess(const QStringList &arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(PERLO_SIM_PATH), arguments);
    if (!m_process.waitForStarted(5000))
        return;
    QByteArray output;
    while (!output.contains('\n') && m_process.waitForReadyRead(5000))
        output += m_process.readAllStandardOutput();
    const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral(" on (\\S+)\\n")).match(QString::fromLocal8Bit(output));
    if (match.hasMatch())
        m_portPath = match.captured(1);
}

SimProcess::~SimProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}
