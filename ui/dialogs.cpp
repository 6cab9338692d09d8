#include "ui/dialogs.hpp"

namespace tessaline {

Dialogs::~Dialogs() = default;

} // namespace tessaline
