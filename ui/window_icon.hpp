#pragma once

#include <QIcon>

namespace tessaline {

// The 16 x 16 window icon: a chip in a programming socket.
QIcon windowIcon();

} // namespace tessaline
