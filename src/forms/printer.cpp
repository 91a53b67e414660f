#include "printer.h"

#include "host.h"
#include "runtime.h"

#include <cmath>
#include <limits>
#include <string>

namespace forms {

namespace {

RuntimeError invalid_call() { return { errors::invalid_procedure_call, "Invalid procedure call or argument" }; }

}

ErrorOr<PrinterDevice*> PrinterObject::device(FaultPoint operation) const
{
    auto& runtime = Runtime::the();
    TRY(runtime.check(operation));
    if (!runtime.has_host())
        return RuntimeError { errors::device_unavailable, "Device unavailable" };
    return runtime.host().printers().default_printer();
}

ErrorOr<std::int16_t> PrinterObject::Orientation() const
{
    TRY_ASSIGN(auto* device, this->device(FaultPoint::printer_orientation));
    return device->orientation();
}

ErrorOr<void> PrinterObject::set_Orientation(std::int16_t orientation)
{
    TRY_ASSIGN(auto* device, this->device(FaultPoint::printer_orientation));
    if (orientation != orientations::portrait && orientation != orientations::landscape)
        return invalid_call();
    return device->set_orientation(orientation);
}

ErrorOr<std::int16_t> PrinterObject::ScaleMode() const
{
    TRY(Runtime::the().check(FaultPoint::printer_scale_mode));
    return m_scale_mode;
}

ErrorOr<void> PrinterObject::set_ScaleMode(std::int16_t mode)
{
    TRY(Runtime::the().check(FaultPoint::printer_scale_mode));
    if (mode < scale_modes::twips || mode > scale_modes::himetric)
        return invalid_call();
    m_scale_mode = mode;
    return {};
}

ErrorOr<float> PrinterObject::ScaleWidth() const
{
    TRY_ASSIGN(auto* device, this->device(FaultPoint::printer_scale_width));
    TRY_ASSIGN(double pixels, device->drawable_width());
    return convert_scale(float(pixels), scale_modes::pixels, m_scale_mode, Axis::Horizontal, device->dpi_x());
}

ErrorOr<float> PrinterObject::ScaleHeight() const
{
    TRY_ASSIGN(auto* device, this->device(FaultPoint::printer_scale_height));
    TRY_ASSIGN(double pixels, device->drawable_height());
    return convert_scale(float(pixels), scale_modes::pixels, m_scale_mode, Axis::Vertical, device->dpi_y());
}

ErrorOr<float> PrinterObject::ScaleX(float length, std::int16_t from, std::int16_t to) const
{
    TRY_ASSIGN(auto* device, this->device(FaultPoint::printer_scale_x));
    return convert_scale(length, from, to, Axis::Horizontal, device->dpi_x());
}

ErrorOr<float> PrinterObject::ScaleY(float length, std::int16_t from, std::int16_t to) const
{
    TRY_ASSIGN(auto* device, this->device(FaultPoint::printer_scale_y));
    return convert_scale(length, from, to, Axis::Vertical, device->dpi_y());
}

ErrorOr<double> PrinterObject::to_device_pixels(double length, Axis axis, PrinterDevice& device) const
{
    // Lengths pass through the conversions in single precision.
    if (!std::isfinite(length) || std::fabs(length) > double(std::numeric_limits<float>::max()))
        return RuntimeError { errors::overflow, "Overflow" };
    double dpi = axis == Axis::Horizontal ? device.dpi_x() : device.dpi_y();
    TRY_ASSIGN(float converted, convert_scale(float(length), m_scale_mode, scale_modes::pixels, axis, dpi));
    return double(converted);
}

ErrorOr<void> PrinterObject::PaintPicture(PictureRef const& picture, float x, float y, double width, double height)
{
    TRY_ASSIGN(auto* device, this->device(FaultPoint::printer_paint_picture));
    if (!picture)
        return RuntimeError { errors::object_required, "Object required" };
    Surface const* pixels = picture->pixels();
    if (!pixels)
        return RuntimeError { errors::invalid_picture, "Invalid picture" };

    TRY_ASSIGN(double left, to_device_pixels(x, Axis::Horizontal, *device));
    TRY_ASSIGN(double top, to_device_pixels(y, Axis::Vertical, *device));
    TRY_ASSIGN(double device_width, to_device_pixels(width, Axis::Horizontal, *device));
    TRY_ASSIGN(double device_height, to_device_pixels(height, Axis::Vertical, *device));
    return device->draw_image(*pixels, left, top, device_width, device_height);
}

ErrorOr<void> PrinterObject::EndDoc()
{
    TRY_ASSIGN(auto* device, this->device(FaultPoint::printer_end_doc));
    return device->end_document();
}

ErrorOr<void> PrinterObject::KillDoc()
{
    TRY_ASSIGN(auto* device, this->device(FaultPoint::printer_kill_doc));
    device->abort_document();
    return {};
}

ErrorOr<PrinterObject*> Printer()
{
    auto& runtime = Runtime::the();
    TRY(runtime.check(FaultPoint::printer));
    return &runtime.printer();
}

}
