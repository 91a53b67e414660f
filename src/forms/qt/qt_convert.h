#pragma once

#include "forms/colour.h"
#include "forms/geometry.h"
#include "forms/surface.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

#include <cstring>
#include <string_view>

// The conversions between the runtime's pixels, rectangles and strings and
// Qt's, shared by every port of the Qt host.
namespace forms::qt {

// A QImage over the surface's own bytes: painting on it paints the surface.
// Valid only while the surface keeps its size.
inline QImage wrap_surface(Surface& surface)
{
    return QImage(surface.data(), surface.width(), surface.height(), surface.stride(), QImage::Format_RGB888);
}

// Read-only view; Qt copies on any write, so the surface is never touched.
inline QImage view_surface(Surface const& surface)
{
    return QImage(surface.data(), surface.width(), surface.height(), surface.stride(), QImage::Format_RGB888);
}

// A deep copy that outlives the surface.
inline QImage copy_surface(Surface const& surface)
{
    return view_surface(surface).copy();
}

// QImage rows are padded to four bytes; a surface's are not.
inline Surface surface_from_image(QImage const& image)
{
    QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    Surface surface(rgb.width(), rgb.height());
    for (int y = 0; y < surface.height(); ++y)
        std::memcpy(surface.row(y), rgb.constScanLine(y), std::size_t(surface.stride()));
    return surface;
}

inline Rgb rgb_from(QColor const& colour)
{
    return { std::uint8_t(colour.red()), std::uint8_t(colour.green()), std::uint8_t(colour.blue()) };
}

inline QRect to_qrect(Rect r)
{
    return { r.x, r.y, r.width, r.height };
}

inline QString to_qstring(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}
