// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/status_label.hpp"

#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace tessaline {

qreal StatusLabel::layOut(QTextLayout& layout, qreal width) const {
    // A zero-width space is a place to break a line, and takes no room where none is made.
    QString wrapped = text();
    wrapped.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
    // A text layout breaks lines only at its own separator.
    wrapped.replace(QLatin1Char('\n'), QChar::LineSeparator);
    layout.setText(wrapped);
    layout.setFont(font());
    QTextOption option(alignment() & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

int StatusLabel::heightForWidth(int width) const {
    if (!wordWrap())
        return QLabel::heightForWidth(width);
    const QMargins around = contentsMargins();
    const int edges = 2 * frameWidth() + 2 * margin();
    const int inner = std::max(width - around.left() - around.right() - edges, 1);
    QTextLayout layout;
    return static_cast<int>(std::ceil(layOut(layout, inner))) + around.top() + around.bottom() +
           edges;
}

void StatusLabel::paintEvent(QPaintEvent* event) {
    if (!wordWrap()) {
        QLabel::paintEvent(event);
        return;
    }
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    QTextLayout layout;
    const qreal height = layOut(layout, room.width());
    const qreal top = (alignment() & Qt::AlignBottom)    ? room.bottom() + 1 - height
                      : (alignment() & Qt::AlignVCenter) ? room.top() + (room.height() - height) / 2
                                                         : room.top();
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    layout.draw(&painter, QPointF(room.left(), top));
}

} // namespace tessaline
