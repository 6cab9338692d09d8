// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window_icon.hpp"

#include <QPainter>

namespace tessaline {

namespace {

struct Shape {
    int x, y, width, height;
    QColor color;
};

// In drawing order, on the 16 x 16 grid.
std::vector<Shape> shapes() {
    std::vector<Shape> list{{1, 1, 14, 14, QColor(40, 110, 60)},  // socket body
                            {2, 0, 2, 3, QColor(220, 220, 220)},  // socket lever
                            {5, 2, 6, 12, QColor(30, 30, 30)},    // the chip
                            {7, 3, 2, 1, QColor(200, 200, 200)}}; // its pin-1 notch
    // Pins on both long sides.
    for (int y = 3; y < 14; y += 2) {
        list.push_back({3, y, 2, 1, QColor(230, 230, 230)});
        list.push_back({11, y, 2, 1, QColor(230, 230, 230)});
    }
    return list;
}

} // namespace

QImage appIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.scale(size / 16.0, size / 16.0);
    for (const Shape& shape : shapes())
        painter.fillRect(QRectF(shape.x, shape.y, shape.width, shape.height), shape.color);
    return image;
}

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(appIconImage(size)));
    return icon;
}

QByteArray appIconSvg() {
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" "
                     "viewBox=\"0 0 16 16\" shape-rendering=\"crispEdges\">\n";
    for (const Shape& shape : shapes())
        svg +=
            QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
                .arg(shape.x)
                .arg(shape.y)
                .arg(shape.width)
                .arg(shape.height)
                .arg(shape.color.name())
                .toUtf8();
    return svg + "</svg>\n";
}

} // namespace tessaline
