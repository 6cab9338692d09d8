// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>

namespace tessaline {

// The program's icon, a chip in a programming socket, drawn on a 16 x 16 grid. The window
// icon, the desktop icons of every size and the scalable one all come from these shapes.
QImage appIconImage(int size);
QIcon appIcon();
QByteArray appIconSvg();

} // namespace tessaline
