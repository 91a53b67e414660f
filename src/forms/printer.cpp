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

ErrorOr<PrinterDevice*> PrinterObject::device(char const* operation) const
{
    auto& runtime = Runtime::the();
    if (auto checked = runtime.check(std::string("Printer.") + operation); checked.is_error())
        return checked.error();
    if (!runtime.has_host())
        return RuntimeError { errors::device_unavailable, "Device unavailable" };
    return runtime.host().printer();
}

ErrorOr<std::int16_t> PrinterObject::Orientation() const
{
    auto device = this->device("Orientation");
    if (device.is_error())
        return device.error();
    return device.value()->orientation();
}

ErrorOr<void> PrinterObject::set_Orientation(std::int16_t orientation)
{
    auto device = this->device("Orientation");
    if (device.is_error())
        return device.error();
    if (orientation != orientations::portrait && orientation != orientations::landscape)
        return invalid_call();
    return device.value()->set_orientation(orientation);
}

ErrorOr<std::int16_t> PrinterObject::ScaleMode() const
{
    if (auto checked = Runtime::the().check("Printer.ScaleMode"); checked.is_error())
        return checked.error();
    return m_scale_mode;
}

ErrorOr<void> PrinterObject::set_ScaleMode(std::int16_t mode)
{
    if (auto checked = Runtime::the().check("Printer.ScaleMode"); checked.is_error())
        return checked.error();
    if (mode < scale_modes::twips || mode > scale_modes::himetric)
        return invalid_call();
    m_scale_mode = mode;
    return {};
}

ErrorOr<float> PrinterObject::ScaleWidth() const
{
    auto device = this->device("ScaleWidth");
    if (device.is_error())
        return device.error();
    auto pixels = device.value()->drawable_width();
    if (pixels.is_error())
        return pixels.error();
    return convert_scale(float(pixels.value()), scale_modes::pixels, m_scale_mode, Axis::Horizontal, device.value()->dpi_x());
}

ErrorOr<float> PrinterObject::ScaleHeight() const
{
    auto device = this->device("ScaleHeight");
    if (device.is_error())
        return device.error();
    auto pixels = device.value()->drawable_height();
    if (pixels.is_error())
        return pixels.error();
    return convert_scale(float(pixels.value()), scale_modes::pixels, m_scale_mode, Axis::Vertical, device.value()->dpi_y());
}

ErrorOr<float> PrinterObject::ScaleX(float length, std::int16_t from, std::int16_t to) const
{
    auto device = this->device("ScaleX");
    if (device.is_error())
        return device.error();
    return convert_scale(length, from, to, Axis::Horizontal, device.value()->dpi_x());
}

ErrorOr<float> PrinterObject::ScaleY(float length, std::int16_t from, std::int16_t to) const
{
    auto device = this->device("ScaleY");
    if (device.is_error())
        return device.error();
    return convert_scale(length, from, to, Axis::Vertical, device.value()->dpi_y());
}

ErrorOr<double> PrinterObject::to_device_pixels(double length, Axis axis, PrinterDevice& device) const
{
    // Lengths pass through the conversions in single precision.
    if (!std::isfinite(length) || std::fabs(length) > double(std::numeric_limits<float>::max()))
        return RuntimeError { errors::overflow, "Overflow" };
    double dpi = axis == Axis::Horizontal ? device.dpi_x() : device.dpi_y();
    auto converted = convert_scale(float(length), m_scale_mode, scale_modes::pixels, axis, dpi);
    if (converted.is_error())
        return converted.error();
    return double(converted.value());
}

ErrorOr<void> PrinterObject::PaintPicture(PictureRef const& picture, float x, float y, double width, double height)
{
    auto device = this->device("PaintPicture");
    if (device.is_error())
        return device.error();
    if (!picture)
        return RuntimeError { errors::object_required, "Object required" };
    Surface const* pixels = picture->pixels();
    if (!pixels)
        return RuntimeError { errors::invalid_picture, "Invalid picture" };

    auto& printer = *device.value();
    auto left = to_device_pixels(x, Axis::Horizontal, printer);
    if (left.is_error())
        return left.error();
    auto top = to_device_pixels(y, Axis::Vertical, printer);
    if (top.is_error())
        return top.error();
    auto device_width = to_device_pixels(width, Axis::Horizontal, printer);
    if (device_width.is_error())
        return device_width.error();
    auto device_height = to_device_pixels(height, Axis::Vertical, printer);
    if (device_height.is_error())
        return device_height.error();
    return printer.draw_image(*pixels, left.value(), top.value(), device_width.value(), device_height.value());
}

ErrorOr<void> PrinterObject::EndDoc()
{
    auto device = this->device("EndDoc");
    if (device.is_error())
        return device.error();
    return device.value()->end_document();
}

ErrorOr<PrinterObject*> Printer()
{
    static PrinterObject printer;
    if (auto checked = Runtime::the().check("Printer"); checked.is_error())
        return checked.error();
    return &printer;
}

}
