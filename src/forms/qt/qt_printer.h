#pragma once

// The printer port on Qt: the desktop's default print destination through
// QPrinter. There is no printer dialog and no fallback to a file: without a
// destination every operation on the page fails.

#include "forms/host.h"

#include <chrono>
#include <memory>
#include <optional>

namespace forms::qt {

// The device always exists; it looks for the destination whenever it needs
// one, so a printer set up or removed while the program runs is seen at the
// next print. A print server that does not answer within a few seconds counts as no
// destination; the window goes on painting while it waits.
std::unique_ptr<PrinterDevice> make_qt_printer_device();

class QtPrinter : public PrinterPort {
public:
    ErrorOr<PrinterDevice*> default_printer() override;

private:
    std::unique_ptr<PrinterDevice> m_device;
};

// The few calls into the print system's client library that the toolkit does
// not make for us. The program does not link that library: the calls are
// looked up in it when the first print needs them, in the same instance that
// the toolkit's print support loads.
struct CupsCalls {
    struct Connection;
    struct Message;

    int (*last_error)();
    char const* (*last_error_string)();
    char const* (*server)();
    int (*port)();
    int (*encryption)();
    Connection* (*connect)(char const* host, int port, void* addresses, int family, int encryption, int blocking,
        int milliseconds, int* cancel);
    void (*set_timeout)(Connection*, double seconds, int (*callback)(Connection*, void*), void* data);
    void (*close)(Connection*);
    Message* (*new_request)(int operation);
    Message* (*send_request)(Connection*, Message* request, char const* resource);
    void (*delete_message)(Message*);
};

// The calls, looked up once; null when the library or one of them is missing.
CupsCalls const* cups_calls();

// Why the print system refused the job last handed over on this thread, or
// nothing when it took it. Without the calls a refusal cannot be told from an
// acceptance: the job counts as taken.
std::optional<RuntimeError> refused_job(CupsCalls const* cups);

// Whether the print server answers a request within `bound`. Without the calls
// there is no way to ask: the answer is yes, and the toolkit finds out itself.
inline constexpr std::chrono::milliseconds print_server_bound { 5000 };
bool print_server_answers(CupsCalls const* cups, std::chrono::milliseconds bound = print_server_bound);

}
