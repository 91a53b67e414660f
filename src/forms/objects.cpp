#include "objects.h"
#include "runtime.h"

namespace forms {

Handle HandleTable::add(Object object)
{
    while (m_next == 0 || m_objects.contains(m_next))
        ++m_next;
    Handle handle = m_next++;
    ++m_created;
    m_objects.emplace(handle, std::move(object));
    return handle;
}

bool HandleTable::remove(Handle handle)
{
    return m_objects.erase(handle) != 0;
}

HandleTable& handles()
{
    return Runtime::the().handles();
}

StoredPicture::StoredPicture(BmpRows rows)
    : m_rows(rows)
{
    constexpr std::int64_t decoded_at_once = 64 * 64;
    if (std::int64_t(width()) * height() <= decoded_at_once)
        pixels();
}

std::shared_ptr<Surface> const& StoredPicture::pixels()
{
    if (!m_pixels)
        m_pixels = std::make_shared<Surface>(m_rows.decode());
    return m_pixels;
}

void StoredPicture::draw(Surface& target, int x, int y, Rect clip) const
{
    if (m_pixels) {
        target.blit(*m_pixels, x, y, clip);
        return;
    }
    Rect const area = Rect { x, y, width(), height() }.intersected(clip).intersected(target.rect());
    if (area.is_empty())
        return;
    for (int ty = area.y; ty < area.bottom(); ++ty)
        m_rows.read(ty - y, area.x - x, area.width, target.row(ty) + area.x * 3);
}

HBITMAP create_bitmap(std::shared_ptr<Surface> pixels)
{
    return handles().add(BitmapObject { std::move(pixels), nullptr });
}

HBITMAP create_bitmap(std::shared_ptr<StoredPicture> stored)
{
    return handles().add(BitmapObject { nullptr, std::move(stored) });
}

Surface* bitmap_pixels(HBITMAP bitmap)
{
    auto* object = handles().get<BitmapObject>(bitmap);
    if (!object)
        return nullptr;
    if (!object->pixels && object->stored)
        object->pixels = object->stored->pixels();
    return object->pixels.get();
}

std::optional<std::pair<int, int>> bitmap_size(HBITMAP bitmap)
{
    auto const* object = handles().get<BitmapObject>(bitmap);
    if (!object)
        return std::nullopt;
    if (object->pixels)
        return std::pair { object->pixels->width(), object->pixels->height() };
    if (object->stored)
        return std::pair { object->stored->width(), object->stored->height() };
    return std::nullopt;
}

void draw_bitmap(HBITMAP bitmap, Surface& target, int x, int y, Rect clip)
{
    auto const* object = handles().get<BitmapObject>(bitmap);
    if (!object)
        return;
    if (object->stored)
        object->stored->draw(target, x, y, clip);
    else if (object->pixels)
        target.blit(*object->pixels, x, y, clip);
}

bool delete_object(HGDIOBJ object)
{
    auto& table = handles();
    if (!table.get<BitmapObject>(object) && !table.get<PaletteObject>(object))
        return false;
    return table.remove(object);
}

}
