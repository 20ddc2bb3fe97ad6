// ruru-render-icons: the stopwatch as icon files for the hicolor theme, drawn
// at build time by the same code as the window icon.
//
//   ruru-render-icons DIR NAME SIZE...
//
// writes DIR/hicolor/<SIZE>x<SIZE>/apps/NAME.png for every SIZE and
// DIR/hicolor/scalable/apps/NAME.svg.
#include "stopwatchicon.h"

#include <QDir>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

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

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: ruru-render-icons DIR NAME SIZE...\n");
        return 2;
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
