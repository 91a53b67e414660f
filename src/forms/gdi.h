#pragma once

#include "objects.h"

#include <array>
#include <cstdint>
#include <optional>

// The few window and graphics calls that a capture makes, over the runtime's
// handle table. The display is 24-bit true colour unless a test switches it to
// a palette display; bitmaps always hold 24-bit pixels.
namespace forms {

inline constexpr std::int32_t BITSPIXEL = 12;
inline constexpr std::int32_t RASTERCAPS = 38;
inline constexpr std::int32_t LOGPIXELSX = 88;
inline constexpr std::int32_t LOGPIXELSY = 90;
inline constexpr std::int32_t SIZEPALETTE = 104;
inline constexpr std::int32_t RC_BITBLT = 0x0001;
inline constexpr std::int32_t RC_PALETTE = 0x0100;
inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;

struct LOGPALETTE {
    std::uint16_t palVersion { 0 };
    std::uint16_t palNumEntries { 0 };
    std::array<PaletteEntry, 256> palPalEntry {};
};
static_assert(sizeof(LOGPALETTE) == 1028);

// What a new memory device context holds before anything is selected into it.
inline constexpr HBITMAP stock_bitmap = 1;
inline constexpr HPALETTE stock_palette = 2;

HDC GetDC(HWND window);
HDC GetWindowDC(HWND window);
std::int32_t ReleaseDC(HWND window, HDC dc);
HDC CreateCompatibleDC(HDC dc);
std::int32_t DeleteDC(HDC dc);
HBITMAP CreateCompatibleBitmap(HDC dc, std::int32_t width, std::int32_t height);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
std::int32_t DeleteObject(HGDIOBJ object);
std::int32_t GetDeviceCaps(HDC dc, std::int32_t index);
std::uint32_t GetSystemPaletteEntries(HDC dc, std::uint32_t start, std::uint32_t count, PaletteEntry* entries);
HPALETTE CreatePalette(LOGPALETTE const* palette);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, std::int32_t force_background);
std::uint32_t RealizePalette(HDC dc);
std::int32_t BitBlt(HDC target, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, HDC source,
    std::int32_t source_x, std::int32_t source_y, std::uint32_t operation);

// For tests: make the display a 256-colour palette display with this system
// palette, or (nullopt) true colour again.
void set_display_palette(std::optional<std::array<PaletteEntry, 256>> system_palette);

}
