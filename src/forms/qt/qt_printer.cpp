#include "qt_printer.h"

#include "qt_convert.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRectF>
#include <QString>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>

#include <dlfcn.h>
#include <sys/socket.h>

namespace forms::qt {

namespace {

RuntimeError no_printer() { return { errors::device_unavailable, "The printer is not available" }; }
RuntimeError printer_error() { return { errors::printer_error, "Printer error" }; }

// Values of the print system's protocol.
constexpr int get_default_destination = 0x4001;
constexpr int first_error_status = 0x0400;

// What the toolkit's printer uses for a high-resolution page, whichever the destination.
constexpr double high_resolution = 1200;

std::optional<CupsCalls> look_up_cups_calls()
{
    // The instance that the toolkit's print support already loaded, if it has;
    // else one that it will share.
    char const* const name = "libcups.so.2";
    void* library = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (!library)
        library = dlopen(name, RTLD_NOW);
    if (!library)
        return std::nullopt;

    bool complete = true;
    auto find = [&](auto& call, char const* symbol) {
        call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(dlsym(library, symbol));
        complete = complete && call;
    };
    CupsCalls calls {};
    find(calls.last_error, "cupsLastError");
    find(calls.last_error_string, "cupsLastErrorString");
    find(calls.server, "cupsServer");
    find(calls.port, "ippPort");
    find(calls.encryption, "cupsEncryption");
    find(calls.connect, "httpConnect2");
    find(calls.set_timeout, "httpSetTimeout");
    find(calls.close, "httpClose");
    find(calls.new_request, "ippNewRequest");
    find(calls.send_request, "cupsDoRequest");
    find(calls.delete_message, "ippDelete");
    // Never closed: a question still under way at exit runs in it.
    if (!complete)
        return std::nullopt;
    return calls;
}

// Asks the server for its default destination on a connection of our own,
// whose every wait is bounded.
bool ask_print_server(CupsCalls const& cups, std::chrono::milliseconds bound)
{
    auto* connection = cups.connect(cups.server(), cups.port(), nullptr, AF_UNSPEC, cups.encryption(), 1,
        int(bound.count()), nullptr);
    if (!connection)
        return false;
    cups.set_timeout(connection, std::chrono::duration<double>(bound).count(), nullptr, nullptr);
    auto* response = cups.send_request(connection, cups.new_request(get_default_destination), "/");
    bool const answered = response != nullptr;
    if (response)
        cups.delete_message(response);
    cups.close(connection);
    return answered;
}

// Runs the event loop, user input held back, until `done` or the bound ends.
template<typename Done>
bool wait_painting(Done done, std::chrono::milliseconds bound)
{
    auto const deadline = std::chrono::steady_clock::now() + bound;
    auto over = [&] { return done() || std::chrono::steady_clock::now() >= deadline; };
    if (!QCoreApplication::instance()) {
        while (!over())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return done();
    }
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (over())
            loop.quit();
    });
    poll.start();
    if (!over())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return done();
}

class QtPrinterDevice final : public PrinterDevice {
public:
    QtPrinterDevice() = default;

    ~QtPrinterDevice() override
    {
        if (m_painter.isActive())
            m_painter.end();
    }

    ErrorOr<void> set_orientation(std::int16_t orientation) override
    {
        if (auto bound = bind(); bound.is_error())
            return bound;
        m_orientation = orientation;
        return apply_page_layout();
    }

    std::int16_t orientation() const override { return m_orientation; }

    ErrorOr<double> drawable_width() const override
    {
        if (auto bound = bind(); bound.is_error())
            return bound.error();
        return m_printer->pageRect(QPrinter::DevicePixel).width();
    }

    ErrorOr<double> drawable_height() const override
    {
        if (auto bound = bind(); bound.is_error())
            return bound.error();
        return m_printer->pageRect(QPrinter::DevicePixel).height();
    }

    double dpi_x() const override { return m_printer ? m_printer->resolution() : high_resolution; }
    double dpi_y() const override { return m_printer ? m_printer->resolution() : high_resolution; }

    ErrorOr<void> draw_image(Surface const& pixels, double x, double y, double width, double height) override
    {
        if (!m_painter.isActive()) {
            if (auto bound = bind(); bound.is_error())
                return bound;
            if (!m_painter.begin(&*m_printer))
                return printer_error();
            m_painter.setRenderHint(QPainter::SmoothPixmapTransform);
            // Otherwise the page would carry the picture as a JPEG, blurring its edges.
            m_painter.setRenderHint(QPainter::LosslessImageRendering);
        }
        if (pixels.is_empty() || width == 0 || height == 0)
            return {};
        if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(width) || !std::isfinite(height))
            return printer_error();

        // A negative extent mirrors the picture across that side of the rectangle.
        bool mirror_across = width < 0;
        bool mirror_down = height < 0;
        QImage image = copy_surface(pixels);
        if (mirror_across || mirror_down)
            image = image.mirrored(mirror_across, mirror_down);
        QRectF target(mirror_across ? x + width : x, mirror_down ? y + height : y, std::fabs(width), std::fabs(height));
        m_painter.drawImage(target, image);
        return {};
    }

    ErrorOr<void> end_document() override
    {
        if (!m_painter.isActive())
            return {};
        bool ended = m_painter.end();
        if (!ended || m_printer->printerState() == QPrinter::Error || m_printer->printerState() == QPrinter::Aborted)
            return printer_error();
        // Qt does not say whether the print system took the job it handed over.
        if (auto refused = refused_job(cups_calls()))
            return *refused;
        return {};
    }

    void abort_document() override
    {
        if (!m_painter.isActive())
            return;
        m_printer->abort();
        m_painter.end();
    }

private:
    // Follows the desktop's default destination between documents; an open
    // document stays with the one it began on.
    ErrorOr<void> bind() const
    {
        if (m_painter.isActive())
            return {};
        // The toolkit's own lookups wait for the server far longer, and in
        // this thread: ask first on a connection whose waits are bounded.
        if (!print_server_answers(cups_calls())) {
            m_bound.clear();
            return no_printer();
        }
        // Made only now: making the printer already looks for the destination.
        if (!m_printer)
            m_printer.emplace(QPrinter::HighResolution);
        QPrinterInfo const destination = QPrinterInfo::defaultPrinter();
        if (destination.isNull()) {
            m_bound.clear();
            return no_printer();
        }
        QString const name = destination.printerName();
        if (name != m_bound) {
            m_bound.clear();
            m_printer->setOutputFormat(QPrinter::NativeFormat);
            m_printer->setPrinterName(name);
            if (m_printer->outputFormat() != QPrinter::NativeFormat || m_printer->printerName() != name || !m_printer->isValid())
                return printer_error();
            m_printer->setFullPage(false);
            QString title = QCoreApplication::applicationName();
            m_printer->setDocName(title.isEmpty() ? QStringLiteral("Zorvane") : title);
            m_bound = name;
            return apply_page_layout();
        }
        return {};
    }

    // The drawing area is all that the printer can print on: the only margins
    // are the printer's own.
    ErrorOr<void> apply_page_layout() const
    {
        auto orientation = m_orientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait;
        if (!m_printer->setPageOrientation(orientation))
            return printer_error();
        QPageLayout const layout = m_printer->pageLayout();
        if (!m_printer->setPageMargins(layout.minimumMargins(), layout.units()))
            return printer_error();
        return {};
    }

    mutable std::optional<QPrinter> m_printer;
    QPainter m_painter;
    mutable QString m_bound;
    std::int16_t m_orientation { 1 };
};

}

CupsCalls const* cups_calls()
{
    static std::optional<CupsCalls> const calls = look_up_cups_calls();
    return calls ? &*calls : nullptr;
}

std::optional<RuntimeError> refused_job(CupsCalls const* cups)
{
    // The library keeps the status of the last request made on each thread.
    if (!cups || cups->last_error() < first_error_status)
        return std::nullopt;
    auto error = printer_error();
    char const* reason = cups->last_error_string();
    if (reason && *reason)
        error.description += std::string(": ") + reason;
    return error;
}

bool print_server_answers(CupsCalls const* cups, std::chrono::milliseconds bound)
{
    if (!cups)
        return true;
    // The question runs on a thread of its own so that the window goes on
    // painting. The thread owns all it uses and ends by its own timeouts: it
    // may outlive a caller that stopped waiting, and the program too.
    struct Answer {
        std::atomic<bool> done { false };
        std::atomic<bool> yes { false };
    };
    auto answer = std::make_shared<Answer>();
    auto ask = [answer, calls = *cups, bound] {
        answer->yes = ask_print_server(calls, bound);
        answer->done = true;
    };
    try {
        std::thread(ask).detach();
    } catch (std::system_error const&) {
        ask();
    }
    return wait_painting([&] { return answer->done.load(); }, bound) && answer->yes;
}

std::unique_ptr<PrinterDevice> make_qt_printer_device()
{
    return std::make_unique<QtPrinterDevice>();
}

ErrorOr<PrinterDevice*> QtPrinter::default_printer()
{
    // Made on first use: looking for printers can take a while.
    if (!m_device)
        m_device = make_qt_printer_device();
    return m_device.get();
}

}
