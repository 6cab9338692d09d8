#include "ui/window_icon.hpp"

#include <QPainter>
#include <QPixmap>

namespace tessaline {

QIcon windowIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    // Socket lever and body.
    painter.fillRect(1, 1, 14, 14, QColor(40, 110, 60));
    painter.fillRect(2, 0, 2, 3, QColor(220, 220, 220));
    // The chip with its pins on both long sides.
    painter.fillRect(5, 2, 6, 12, QColor(30, 30, 30));
    for (int y = 3; y < 14; y += 2) {
        painter.fillRect(3, y, 2, 1, QColor(230, 230, 230));
        painter.fillRect(11, y, 2, 1, QColor(230, 230, 230));
    }
    painter.fillRect(7, 3, 2, 1, QColor(200, 200, 200));
    painter.end();
    return {pixmap};
}

} // namespace tessaline
