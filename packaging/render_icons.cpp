// SPDX-License-Identifier: GPL-3.0-or-later
// tessaline-render-icons: writes the program's icon into a hicolor theme folder, as PNG in
// the usual sizes and as SVG, from the same shapes as the window icon.
#include "ui/window_icon.hpp"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: tessaline-render-icons FOLDER ICON-NAME\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/hicolor/");
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = root + QStringLiteral("%1x%1/apps/").arg(size);
        if (!QDir().mkpath(folder) ||
            !tessaline::appIconImage(size).save(folder + name + QStringLiteral(".png"))) {
            std::fprintf(stderr, "tessaline-render-icons: cannot write %s\n",
                         qPrintable(folder + name + QStringLiteral(".png")));
            return 1;
        }
    }
    const QString folder = root + QStringLiteral("scalable/apps/");
    QFile svg(folder + name + QStringLiteral(".svg"));
    if (!QDir().mkpath(folder) || !svg.open(QIODevice::WriteOnly) ||
        svg.write(tessaline::appIconSvg()) < 0) {
        std::fprintf(stderr, "tessaline-render-icons: cannot write %s\n",
                     qPrintable(svg.fileName()));
        return 1;
    }
    return 0;
}
