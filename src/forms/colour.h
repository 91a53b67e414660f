#pragma once

#include <cstdint>

namespace forms {

struct Rgb {
    std::uint8_t r { 0 };
    std::uint8_t g { 0 };
    std::uint8_t b { 0 };
    constexpr bool operator==(Rgb const&) const = default;
};

// A stored colour: red, green and blue, or with the top bit set the index of a
// system colour, drawn in the user's current colour scheme.
class Colour {
public:
    constexpr Colour() = default;
    static constexpr Colour rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        return Colour(std::uint32_t(r) | std::uint32_t(g) << 8 | std::uint32_t(b) << 16);
    }
    static constexpr Colour system(std::uint32_t index) { return Colour(system_bit | index); }

    constexpr bool is_system() const { return (m_value & system_bit) != 0; }
    constexpr std::uint32_t system_index() const { return m_value & 0xff; }
    constexpr Rgb as_rgb() const { return { std::uint8_t(m_value), std::uint8_t(m_value >> 8), std::uint8_t(m_value >> 16) }; }
    constexpr std::uint32_t value() const { return m_value; }
    constexpr bool operator==(Colour const&) const = default;

private:
    static constexpr std::uint32_t system_bit = 0x80000000u;
    constexpr explicit Colour(std::uint32_t value)
        : m_value(value)
    {
    }
    std::uint32_t m_value { 0 };
};

// Indices into the system colour table that the windows use.
namespace system_colours {
inline constexpr std::uint32_t window_text = 8;
inline constexpr std::uint32_t button_face = 15;
inline constexpr std::uint32_t highlight_text = 14;
inline constexpr std::uint32_t button_text = 18;
inline constexpr std::uint32_t menu = 4;
}

}
