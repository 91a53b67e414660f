#include "scale.h"

#include <cmath>
#include <limits>

namespace forms {

namespace {

// Units of each scale mode in one inch; 0 for a mode that is no fixed length.
double units_per_inch(std::int16_t mode, Axis axis, double pixels_per_inch)
{
    switch (mode) {
    case scale_modes::twips:
        return 1440.0;
    case scale_modes::points:
        return 72.0;
    case scale_modes::pixels:
        return pixels_per_inch;
    case scale_modes::characters:
        // A character cell is 120 twips wide and 240 twips high.
        return axis == Axis::Horizontal ? 12.0 : 6.0;
    case scale_modes::inches:
        return 1.0;
    case scale_modes::millimetres:
        return 25.4;
    case scale_modes::centimetres:
        return 2.54;
    case scale_modes::himetric:
        return 2540.0;
    default:
        return 0.0;
    }
}

}

ErrorOr<float> convert_scale(float length, std::int16_t from, std::int16_t to, Axis axis, double pixels_per_inch)
{
    double from_units = units_per_inch(from, axis, pixels_per_inch);
    double to_units = units_per_inch(to, axis, pixels_per_inch);
    if (from_units <= 0.0 || to_units <= 0.0)
        return RuntimeError { errors::invalid_procedure_call, "Invalid procedure call or argument" };
    if (from == to)
        return length;
    double result = double(length) / from_units * to_units;
    if (std::isfinite(length) && std::fabs(result) > double(std::numeric_limits<float>::max()))
        return RuntimeError { errors::overflow, "Overflow" };
    return float(result);
}

ErrorOr<std::int32_t> round_to_int32(float value)
{
    // The default rounding mode is to nearest, half to even.
    double rounded = std::nearbyint(double(value));
    if (!(rounded >= double(std::numeric_limits<std::int32_t>::min()) && rounded <= double(std::numeric_limits<std::int32_t>::max())))
        return RuntimeError { errors::overflow, "Overflow" };
    return std::int32_t(rounded);
}

}
