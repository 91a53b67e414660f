#pragma once

#include "bmp.h"
#include "colour.h"
#include "geometry.h"
#include "surface.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>

namespace forms {

// Handles are 32-bit numbers into one table of the runtime's objects; 0 is no object.
using Handle = std::uint32_t;
using HWND = Handle;
using HDC = Handle;
using HBITMAP = Handle;
using HPALETTE = Handle;
using HGDIOBJ = Handle;

class Form;

// A picture built into the program. A large one is decoded into a surface
// only when something asks for its pixels: a window draws it straight from
// the file's rows, so at start nothing waits for a decoded copy, and mostly
// none is ever made. A small one, drawn hundreds of times over, is decoded at
// once, since converting its short rows at every draw costs more.
class StoredPicture {
public:
    explicit StoredPicture(BmpRows rows);

    int width() const { return m_rows.width(); }
    int height() const { return m_rows.height(); }
    std::shared_ptr<Surface> const& pixels();
    // Copies it with its top-left corner at (x, y), only inside `clip`.
    void draw(Surface& target, int x, int y, Rect clip) const;

private:
    BmpRows m_rows;
    std::shared_ptr<Surface> m_pixels;
};

struct BitmapObject {
    // Bitmaps made from stored pictures share their pixels: nothing ever draws
    // into those, only into bitmaps that a capture creates.
    std::shared_ptr<Surface> pixels;
    // Set for a stored picture's, whose pixels are made when first asked for.
    std::shared_ptr<StoredPicture> stored;
};

struct PaletteEntry {
    std::uint8_t red { 0 };
    std::uint8_t green { 0 };
    std::uint8_t blue { 0 };
    std::uint8_t flags { 0 };
    constexpr bool operator==(PaletteEntry const&) const = default;
};

struct PaletteObject {
    std::uint16_t count { 0 };
    std::array<PaletteEntry, 256> entries {};
};

enum class DcKind {
    Client,
    Window,
    Memory,
};

struct DcObject {
    DcKind kind { DcKind::Memory };
    HWND window { 0 };
    HBITMAP bitmap { 0 };
    HPALETTE palette { 0 };
};

struct WindowObject {
    Form* form { nullptr };
};

// A palette is a kilobyte: kept apart, so that every other object in the
// table (a bitmap for each of hundreds of pictures) stays small.
using Object = std::variant<BitmapObject, std::unique_ptr<PaletteObject>, DcObject, WindowObject>;

// The alternative of Object that holds a T.
template<typename T>
using StoredObject = std::conditional_t<std::is_same_v<T, PaletteObject>, std::unique_ptr<PaletteObject>, T>;

class HandleTable {
public:
    Handle add(Object object);
    Handle add(PaletteObject palette) { return add(std::make_unique<PaletteObject>(std::move(palette))); }
    bool remove(Handle handle);
    bool contains(Handle handle) const { return m_objects.contains(handle); }

    template<typename T>
    T* get(Handle handle)
    {
        auto it = m_objects.find(handle);
        if (it == m_objects.end())
            return nullptr;
        auto* stored = std::get_if<StoredObject<T>>(&it->second);
        if constexpr (std::is_same_v<T, PaletteObject>)
            return stored ? stored->get() : nullptr;
        else
            return stored;
    }

    template<typename T>
    std::size_t count() const
    {
        std::size_t n = 0;
        for (auto const& [handle, object] : m_objects)
            n += std::holds_alternative<StoredObject<T>>(object) ? 1 : 0;
        return n;
    }

    std::size_t size() const { return m_objects.size(); }
    // How many objects were ever added.
    std::uint64_t created() const { return m_created; }
    void clear() { m_objects.clear(); }

private:
    std::unordered_map<Handle, Object> m_objects;
    Handle m_next { 0x100 };
    std::uint64_t m_created { 0 };
};

HandleTable& handles();

// A new bitmap object over the given pixels.
HBITMAP create_bitmap(std::shared_ptr<Surface> pixels);
HBITMAP create_bitmap(std::shared_ptr<StoredPicture> stored);
Surface* bitmap_pixels(HBITMAP bitmap);
// Its size in pixels, without making pixels that are not made yet; none when
// the handle names no bitmap.
std::optional<std::pair<int, int>> bitmap_size(HBITMAP bitmap);
// Copies the bitmap with its top-left corner at (x, y), only inside `clip`.
void draw_bitmap(HBITMAP bitmap, Surface& target, int x, int y, Rect clip);
bool delete_object(HGDIOBJ object);

}
