#include "serial_port.h"

namespace line {

SerialPort::~SerialPort() = default;

} // namespace line
