#include "app/serial_control.hpp"

namespace tessaline {

SerialControl::~SerialControl() = default;

} // namespace tessaline
