#pragma once

#include "error.h"
#include "picture.h"
#include "runtime.h"
#include "scale.h"

#include <cstdint>

namespace forms {

class PrinterDevice;

namespace orientations {
inline constexpr std::int16_t portrait = 1;
inline constexpr std::int16_t landscape = 2;
}

// The runtime's printer: the host's print destination seen in scale units.
// Lengths are in the current scale mode (twips until it is set), measured from
// the top-left corner of the drawing area. Every operation that needs the
// destination fails when the desktop has none.
//
// Each operation passes the runtime's failure check at its own fault point
// before it acts.
class PrinterObject {
public:
    PrinterObject() = default;
    PrinterObject(PrinterObject const&) = delete;
    PrinterObject& operator=(PrinterObject const&) = delete;

    // 1 portrait, 2 landscape; anything else is an invalid call.
    ErrorOr<std::int16_t> Orientation() const;
    ErrorOr<void> set_Orientation(std::int16_t orientation);

    ErrorOr<std::int16_t> ScaleMode() const;
    // Twips to HIMETRIC (1 to 8); the user scale is not supported.
    ErrorOr<void> set_ScaleMode(std::int16_t mode);

    // The drawing area in the current scale.
    ErrorOr<float> ScaleWidth() const;
    ErrorOr<float> ScaleHeight() const;

    // Pixels are the device's own.
    ErrorOr<float> ScaleX(float length, std::int16_t from, std::int16_t to) const;
    ErrorOr<float> ScaleY(float length, std::int16_t from, std::int16_t to) const;

    // Draws the whole picture scaled into the rectangle on the current page,
    // beginning a document when none is open.
    ErrorOr<void> PaintPicture(PictureRef const& picture, float x, float y, double width, double height);

    // Sends the open document's pages to the printer; nothing when none is open.
    ErrorOr<void> EndDoc();
    // Drops the open document unprinted; nothing when none is open.
    ErrorOr<void> KillDoc();

private:
    ErrorOr<PrinterDevice*> device(FaultPoint operation) const;
    ErrorOr<double> to_device_pixels(double length, Axis axis, PrinterDevice& device) const;

    std::int16_t m_scale_mode { scale_modes::twips };
};

// The platform printer: the same object on every fetch until the runtime is reset.
ErrorOr<PrinterObject*> Printer();

}
