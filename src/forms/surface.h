#pragma once

#include "colour.h"
#include "geometry.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace forms {

// 24-bit pixels, three bytes a pixel in the order red, green, blue, rows top-down
// without padding. Every window composes its client area into one of these.
class Surface {
public:
    Surface() = default;
    Surface(int width, int height, Rgb fill = {})
        : m_width(width > 0 ? width : 0)
        , m_height(height > 0 ? height : 0)
        , m_pixels(std::size_t(m_width) * std::size_t(m_height) * 3)
    {
        if (fill != Rgb {})
            this->fill({ 0, 0, m_width, m_height }, fill);
    }

    int width() const { return m_width; }
    int height() const { return m_height; }
    int stride() const { return m_width * 3; }
    Rect rect() const { return { 0, 0, m_width, m_height }; }
    bool is_empty() const { return m_width == 0 || m_height == 0; }

    std::uint8_t* row(int y) { return m_pixels.data() + std::size_t(y) * std::size_t(stride()); }
    std::uint8_t const* row(int y) const { return m_pixels.data() + std::size_t(y) * std::size_t(stride()); }
    std::uint8_t* data() { return m_pixels.data(); }
    std::uint8_t const* data() const { return m_pixels.data(); }
    std::size_t size_in_bytes() const { return m_pixels.size(); }

    Rgb pixel(int x, int y) const
    {
        auto const* p = row(y) + x * 3;
        return { p[0], p[1], p[2] };
    }
    void set_pixel(int x, int y, Rgb c)
    {
        auto* p = row(y) + x * 3;
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }

    void fill(Rect area, Rgb c)
    {
        area = area.intersected(rect());
        if (area.is_empty())
            return;
        auto* first = row(area.y) + area.x * 3;
        for (int x = 0; x < area.width; ++x) {
            first[x * 3] = c.r;
            first[x * 3 + 1] = c.g;
            first[x * 3 + 2] = c.b;
        }
        for (int y = area.y + 1; y < area.bottom(); ++y)
            std::memcpy(row(y) + area.x * 3, first, std::size_t(area.width) * 3);
    }

    // Copies `source` with its top-left corner at (x, y), only inside `clip`.
    void blit(Surface const& source, int x, int y, Rect clip)
    {
        Rect target = Rect { x, y, source.width(), source.height() }.intersected(clip).intersected(rect());
        if (target.is_empty())
            return;
        for (int ty = target.y; ty < target.bottom(); ++ty)
            std::memcpy(row(ty) + target.x * 3, source.row(ty - y) + (target.x - x) * 3, std::size_t(target.width) * 3);
    }

    bool operator==(Surface const& other) const
    {
        return m_width == other.m_width && m_height == other.m_height && m_pixels == other.m_pixels;
    }

private:
    int m_width { 0 };
    int m_height { 0 };
    std::vector<std::uint8_t> m_pixels;
};

}
