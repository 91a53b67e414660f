#pragma once

#include "forms/host.h"

#include <memory>

namespace forms::qt {

// The desktop's default print destination. The device always exists; it looks
// for the destination whenever it needs one, so a printer set up or removed
// while the program runs is seen at the next print. Without one, every
// operation on the page fails: nothing is ever written anywhere else instead.
std::unique_ptr<PrinterDevice> make_qt_printer_device();

}
