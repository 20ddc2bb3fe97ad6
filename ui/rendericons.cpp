// ruru-render-icons: the stopwatch as icon files for the hicolor theme, drawn
// at build time by the same code as the window icon.
//
//   ruru-render-icons DIR NAME SIZE...
//   ruru-render-icons --ico FILE SIZE...
//
// writes DIR/hicolor/<SIZE>x<SIZE>/apps/NAME.png for every SIZE and
// DIR/hicolor/scalable/apps/NAME.svg; or FILE, a Windows icon holding every SIZE.
#include "stopwatchicon.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>
#include <utility>

namespace {

// DIR/hicolor/SIZEFOLDER/apps/FILENAME, its folders made.
QString iconPath(const QString &dir, const QString &sizeFolder, const QString &fileName)
{
    const QString folder = QStringLiteral("%1/hicolor/%2/apps").arg(dir, sizeFolder);
    QDir().mkpath(folder);
    return folder + '/' + fileName;
}

bool writePng(const QString &dir, const QString &name, int size)
{
    const QString folder = QStringLiteral("%1x%1").arg(size);
    return size > 0 && stopwatchImage(size).save(iconPath(dir, folder, name + ".png"), "PNG");
}

bool writeSvg(const QString &dir, const QString &name)
{
    QSvgGenerator svg;
    svg.setFileName(iconPath(dir, QStringLiteral("scalable"), name + ".svg"));
    svg.setSize(QSize(32, 32));
    svg.setViewBox(QRect(0, 0, 32, 32));
    svg.setTitle(name);
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    paintStopwatch(painter);
    return painter.end();
}

// Every size as a PNG image, which Windows reads from an icon since Vista.
bool writeIco(const QString &fileName, const QList<int> &sizes)
{
    QList<QByteArray> images;
    for (int size : sizes) {
        if (size <= 0 || size > 256)
            return false;
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!stopwatchImage(size).save(&buffer, "PNG"))
            return false;
        images.append(png);
    }
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size()); // an icon, not a cursor
    quint32 offset = 6 + 16 * images.size();
    for (qsizetype i = 0; i < images.size(); ++i) {
        const quint8 side = sizes.at(i) == 256 ? 0 : quint8(sizes.at(i)); // 0 stands for 256
        out << side << side << quint8(0) << quint8(0) << quint16(1) << quint16(32)
            << quint32(images.at(i).size()) << offset;
        offset += images.at(i).size();
    }
    for (const QByteArray &png : std::as_const(images))
        out.writeRawData(png.constData(), int(png.size()));
    return out.status() == QDataStream::Ok && file.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: ruru-render-icons DIR NAME SIZE...\n"
                     "       ruru-render-icons --ico FILE SIZE...\n");
        return 2;
    }
    if (QByteArray(argv[1]) == "--ico") {
        QList<int> sizes;
        for (int i = 3; i < argc; ++i)
            sizes.append(QByteArray(argv[i]).toInt());
        if (writeIco(QString::fromLocal8Bit(argv[2]), sizes))
            return 0;
        std::fprintf(stderr, "ruru-render-icons: cannot write the icon %s\n", argv[2]);
        return 1;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    bool ok = writeSvg(dir, name);
    for (int i = 3; i < argc; ++i)
        ok = writePng(dir, name, QByteArray(argv[i]).toInt()) && ok;
    if (!ok)
        std::fprintf(stderr, "ruru-render-icons: cannot write the icons into %s\n", argv[1]);
    return ok ? 0 : 1;
}
