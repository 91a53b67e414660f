#pragma once

#include <algorithm>
#include <cstdint>

namespace forms {

// Positions and sizes are stored in twips; the display has 15 of them a pixel (96 dpi).
inline constexpr int twips_per_pixel = 15;
inline constexpr int display_dpi = 96;

// Nearest pixel; a stored place such as 6500 twips (433 1/3 pixels) lands on 433.
constexpr int twips_to_pixels(int twips)
{
    return twips >= 0 ? (twips + twips_per_pixel / 2) / twips_per_pixel
                      : -((-twips + twips_per_pixel / 2) / twips_per_pixel);
}

struct Rect {
    int x { 0 };
    int y { 0 };
    int width { 0 };
    int height { 0 };

    constexpr int right() const { return x + width; }
    constexpr int bottom() const { return y + height; }
    constexpr bool is_empty() const { return width <= 0 || height <= 0; }
    constexpr bool contains(int px, int py) const { return px >= x && py >= y && px < right() && py < bottom(); }

    constexpr Rect intersected(Rect const& other) const
    {
        int l = std::max(x, other.x), t = std::max(y, other.y);
        int r = std::min(right(), other.right()), b = std::min(bottom(), other.bottom());
        if (r <= l || b <= t)
            return {};
        return { l, t, r - l, b - t };
    }

    constexpr Rect united(Rect const& other) const
    {
        if (is_empty())
            return other;
        if (other.is_empty())
            return *this;
        int l = std::min(x, other.x), t = std::min(y, other.y);
        int r = std::max(right(), other.right()), b = std::max(bottom(), other.bottom());
        return { l, t, r - l, b - t };
    }

    constexpr bool operator==(Rect const&) const = default;
};

}
