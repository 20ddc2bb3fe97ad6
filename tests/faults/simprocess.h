#ifndef SIMPROCESS_H
#define SIMPROCESS_H

#include <QProcess>
#include <QString>
#include <QStringList>

// The perlo-sim program, started with the given options; its serial end is
// read from the line it prints.
class SimProcess
{
public:
    explicit SimProcess(const QStringList &arguments);
    ~SimProcess();

    bool started() const { return !m_portPath.isEmpty(); }
    QString portPath() const { return m_portPath; }

private:
    QProcess m_process;
    QString m_portPath;
};

#endif
