#include "qt_printer.h"

#include "qt_convert.h"

#include <QCoreApplication>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRectF>
#include <QString>

#include <cmath>
#include <optional>
#include <string>

#include <cups/cups.h>

namespace forms::qt {

namespace {

RuntimeError no_printer() { return { errors::device_unavailable, "The printer is not available" }; }
RuntimeError printer_error() { return { errors::printer_error, "Printer error" }; }

// Qt does not say whether the print system took the job it handed over; the
// CUPS library that its print plugin shares with us still holds the status of
// that last request.
std::optional<std::string> job_refused()
{
    if (cupsLastError() < IPP_STATUS_ERROR_BAD_REQUEST)
        return std::nullopt;
    char const* text = cupsLastErrorString();
    return std::string(text ? text : "");
}

class QtPrinterDevice final : public PrinterDevice {
public:
    QtPrinterDevice()
        : m_printer(QPrinter::HighResolution)
    {
    }

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
        return m_printer.pageRect(QPrinter::DevicePixel).width();
    }

    ErrorOr<double> drawable_height() const override
    {
        if (auto bound = bind(); bound.is_error())
            return bound.error();
        return m_printer.pageRect(QPrinter::DevicePixel).height();
    }

    double dpi_x() const override { return m_printer.resolution(); }
    double dpi_y() const override { return m_printer.resolution(); }

    ErrorOr<void> draw_image(Surface const& pixels, double x, double y, double width, double height) override
    {
        if (!m_painter.isActive()) {
            if (auto bound = bind(); bound.is_error())
                return bound;
            if (!m_painter.begin(&m_printer))
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
        if (!ended || m_printer.printerState() == QPrinter::Error || m_printer.printerState() == QPrinter::Aborted)
            return printer_error();
        if (auto reason = job_refused()) {
            auto error = printer_error();
            if (!reason->empty())
                error.description += ": " + *reason;
            return error;
        }
        return {};
    }

    void abort_document() override
    {
        if (!m_painter.isActive())
            return;
        m_printer.abort();
        m_painter.end();
    }

private:
    // Follows the desktop's default destination between documents; an open
    // document stays with the one it began on.
    ErrorOr<void> bind() const
    {
        if (m_painter.isActive())
            return {};
        QPrinterInfo const destination = QPrinterInfo::defaultPrinter();
        if (destination.isNull()) {
            m_bound.clear();
            return no_printer();
        }
        QString const name = destination.printerName();
        if (name != m_bound) {
            m_bound.clear();
            m_printer.setOutputFormat(QPrinter::NativeFormat);
            m_printer.setPrinterName(name);
            if (m_printer.outputFormat() != QPrinter::NativeFormat || m_printer.printerName() != name || !m_printer.isValid())
                return printer_error();
            m_printer.setFullPage(false);
            QString title = QCoreApplication::applicationName();
            m_printer.setDocName(title.isEmpty() ? QStringLiteral("Zorvane") : title);
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
        if (!m_printer.setPageOrientation(orientation))
            return printer_error();
        QPageLayout const layout = m_printer.pageLayout();
        if (!m_printer.setPageMargins(layout.minimumMargins(), layout.units()))
            return printer_error();
        return {};
    }

    mutable QPrinter m_printer;
    QPainter m_painter;
    mutable QString m_bound;
    std::int16_t m_orientation { 1 };
};

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
