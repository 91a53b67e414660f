#pragma once

// The printer port on Qt: the desktop's default print destination through
// QPrinter. There is no printer dialog and no fallback to a file: without a
// destination every operation on the page fails.

#include "forms/host.h"

#include <memory>

namespace forms::qt {

// The device always exists; it looks for the destination whenever it needs
// one, so a printer set up or removed while the program runs is seen at the
// next print.
std::unique_ptr<PrinterDevice> make_qt_printer_device();

class QtPrinter : public PrinterPort {
public:
    ErrorOr<PrinterDevice*> default_printer() override;

private:
    std::unique_ptr<PrinterDevice> m_device;
};

}
