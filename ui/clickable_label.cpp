// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/clickable_label.hpp"

#include <QMouseEvent>

namespace tessaline {

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

} // namespace tessaline
