#pragma once

#include "colour.h"
#include "surface.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
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

struct BitmapObject {
    // Bitmaps made from stored pictures share their pixels: nothing ever draws
    // into those, only into bitmaps that a capture creates.
    std::shared_ptr<Surface> pixels;
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
Surface* bitmap_pixels(HBITMAP bitmap);
bool delete_object(HGDIOBJ object);

}
