#include "timerfixture.h"

#include <QCoreApplication>
#include <QFile>

void useAsCom1(const QString &path)
{
    qputenv("RURUZIDURA_COM1", QFile::encodeName(path));
}

SimLink::SimLink(const std::function<void(PerloSim &)> &setUp)
    : sim([&](PerloSim &timer) {
          timer.setLinePaced(false);
          if (setUp)
              setUp(timer);
      })
{
    const QString cable = dir.filePath(QStringLiteral("com1"));
    sim.call([&](PerloSim &timer) { timer.makeLink(cable); });
    useAsCom1(cable);
    link.Form_Load();
}

QByteArray SimLink::received()
{
    QByteArray bytes;
    sim.call([&](PerloSim &timer) { bytes = timer.receivedBytes(); });
    return bytes;
}

QByteArray blockOf(const QList<int> &rows)
{
    QByteArray block(PerloSim::MaxBlockLen, '\0');
    for (qsizetype i = 0; i < rows.size(); ++i)
        block[i] = char(quint8(rows[i]));
    return block;
}
