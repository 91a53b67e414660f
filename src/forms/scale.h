#pragma once

#include "error.h"

#include <cstdint>

namespace forms {

// Scale modes: the units that lengths on a form or the printer are given in.
namespace scale_modes {
inline constexpr std::int16_t user = 0;
inline constexpr std::int16_t twips = 1;
inline constexpr std::int16_t points = 2;
inline constexpr std::int16_t pixels = 3;
inline constexpr std::int16_t characters = 4;
inline constexpr std::int16_t inches = 5;
inline constexpr std::int16_t millimetres = 6;
inline constexpr std::int16_t centimetres = 7;
inline constexpr std::int16_t himetric = 8;
}

enum class Axis {
    Horizontal,
    Vertical,
};

// Converts a length between two scale modes on a device of `pixels_per_inch`.
// The user scale is not supported: converting from or to it is an invalid call.
ErrorOr<float> convert_scale(float length, std::int16_t from, std::int16_t to, Axis axis, double pixels_per_inch);

// Single precision to a 32-bit integer, to the nearest, half to even; out of
// range (or not a number) is an overflow.
ErrorOr<std::int32_t> round_to_int32(float value);

}
