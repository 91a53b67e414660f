#include "gdi.h"
#include "form.h"
#include "host.h"
#include "runtime.h"

#include <cstring>

namespace forms {

namespace {

std::optional<std::array<PaletteEntry, 256>>& display_palette()
{
    static std::optional<std::array<PaletteEntry, 256>> palette;
    return palette;
}

// A bitmap larger than this cannot be made, as a display driver would refuse it.
constexpr std::int64_t max_bitmap_pixels = 1 << 26;
constexpr std::int32_t max_bitmap_side = 1 << 15;

Form* window_form(HWND window)
{
    auto* object = handles().get<WindowObject>(window);
    return object ? object->form : nullptr;
}

HDC window_dc(HWND window, DcKind kind)
{
    if (!window_form(window))
        return 0;
    return handles().add(DcObject { kind, window, 0, 0 });
}

// What a device context shows: a bitmap, the client surface of a window, or the
// whole window as the runtime knows it. On Linux the frame and title bar belong
// to the window manager, so the whole window is the host's top-level widget:
// the menu bar with the client area below it.
Surface const* dc_pixels(DcObject const& dc, Surface& scratch)
{
    if (dc.kind == DcKind::Memory)
        return bitmap_pixels(dc.bitmap);
    auto* form = window_form(dc.window);
    if (!form || !form->is_loaded())
        return nullptr;
    if (dc.kind == DcKind::Client)
        return &form->surface();
    auto& windows = Runtime::the().host().windows();
    scratch = windows.window_frame(*form);
    Rect client = windows.client_in_window(*form);
    scratch.blit(form->surface(), client.x, client.y, scratch.rect());
    return &scratch;
}

}

void set_display_palette(std::optional<std::array<PaletteEntry, 256>> system_palette)
{
    display_palette() = system_palette;
}

HDC GetDC(HWND window) { return window_dc(window, DcKind::Client); }
HDC GetWindowDC(HWND window) { return window_dc(window, DcKind::Window); }

std::int32_t ReleaseDC(HWND window, HDC dc)
{
    auto* object = handles().get<DcObject>(dc);
    if (!object || object->kind == DcKind::Memory || object->window != window)
        return 0;
    handles().remove(dc);
    return 1;
}

HDC CreateCompatibleDC(HDC)
{
    return handles().add(DcObject { DcKind::Memory, 0, stock_bitmap, stock_palette });
}

std::int32_t DeleteDC(HDC dc)
{
    auto* object = handles().get<DcObject>(dc);
    if (!object || object->kind != DcKind::Memory)
        return 0;
    handles().remove(dc);
    return 1;
}

HBITMAP CreateCompatibleBitmap(HDC dc, std::int32_t width, std::int32_t height)
{
    if (!handles().get<DcObject>(dc))
        return 0;
    if (width <= 0 || height <= 0 || width > max_bitmap_side || height > max_bitmap_side
        || std::int64_t(width) * height > max_bitmap_pixels)
        return 0;
    return create_bitmap(std::make_shared<Surface>(width, height));
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object)
{
    auto* target = handles().get<DcObject>(dc);
    if (!target || target->kind != DcKind::Memory)
        return 0;
    if (object != stock_bitmap && !handles().get<BitmapObject>(object))
        return 0;
    HGDIOBJ previous = target->bitmap;
    target->bitmap = object;
    return previous;
}

std::int32_t DeleteObject(HGDIOBJ object)
{
    return delete_object(object) ? 1 : 0;
}

std::int32_t GetDeviceCaps(HDC dc, std::int32_t index)
{
    if (!handles().get<DcObject>(dc))
        return 0;
    bool palette = display_palette().has_value();
    switch (index) {
    case BITSPIXEL:
        return palette ? 8 : 24;
    case RASTERCAPS:
        return RC_BITBLT | (palette ? RC_PALETTE : 0);
    case LOGPIXELSX:
    case LOGPIXELSY:
        return display_dpi;
    case SIZEPALETTE:
        return palette ? 256 : 0;
    default:
        return 0;
    }
}

std::uint32_t GetSystemPaletteEntries(HDC dc, std::uint32_t start, std::uint32_t count, PaletteEntry* entries)
{
    auto const& palette = display_palette();
    if (!handles().get<DcObject>(dc) || !palette || !entries || start >= 256)
        return 0;
    std::uint32_t n = std::min<std::uint32_t>(count, 256 - start);
    std::memcpy(entries, palette->data() + start, n * sizeof(PaletteEntry));
    return n;
}

HPALETTE CreatePalette(LOGPALETTE const* palette)
{
    if (!palette || palette->palVersion != 0x0300 || palette->palNumEntries == 0 || palette->palNumEntries > 256)
        return 0;
    PaletteObject object;
    object.count = palette->palNumEntries;
    std::copy_n(palette->palPalEntry.begin(), palette->palNumEntries, object.entries.begin());
    return handles().add(object);
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, std::int32_t)
{
    auto* target = handles().get<DcObject>(dc);
    if (!target || (palette != stock_palette && !handles().get<PaletteObject>(palette)))
        return 0;
    HPALETTE previous = target->palette;
    target->palette = palette;
    return previous;
}

std::uint32_t RealizePalette(HDC dc)
{
    auto* target = handles().get<DcObject>(dc);
    if (!target)
        return 0;
    auto* palette = handles().get<PaletteObject>(target->palette);
    return palette ? palette->count : 0;
}

std::int32_t BitBlt(HDC target, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, HDC source,
    std::int32_t source_x, std::int32_t source_y, std::uint32_t operation)
{
    auto* to = handles().get<DcObject>(target);
    auto* from = handles().get<DcObject>(source);
    if (!to || !from || operation != SRCCOPY || width < 0 || height < 0)
        return 0;
    Surface scratch;
    Surface* destination = to->kind == DcKind::Memory ? bitmap_pixels(to->bitmap) : nullptr;
    Surface const* pixels = dc_pixels(*from, scratch);
    if (!destination || !pixels)
        return 0;
    // Only the part that lies inside both the source and the target is copied.
    Rect wanted = Rect { source_x, source_y, width, height }.intersected(pixels->rect());
    Rect placed = Rect { x + (wanted.x - source_x), y + (wanted.y - source_y), wanted.width, wanted.height }
                      .intersected(destination->rect());
    if (placed.is_empty())
        return 1;
    int from_x = placed.x - x + source_x, from_y = placed.y - y + source_y;
    for (int row = 0; row < placed.height; ++row)
        std::memcpy(destination->row(placed.y + row) + placed.x * 3, pixels->row(from_y + row) + from_x * 3,
            std::size_t(placed.width) * 3);
    return 1;
}

}
