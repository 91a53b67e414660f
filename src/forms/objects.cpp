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

HBITMAP create_bitmap(std::shared_ptr<Surface> pixels)
{
    return handles().add(BitmapObject { std::move(pixels) });
}

Surface* bitmap_pixels(HBITMAP bitmap)
{
    auto* object = handles().get<BitmapObject>(bitmap);
    return object ? object->pixels.get() : nullptr;
}

bool delete_object(HGDIOBJ object)
{
    auto& table = handles();
    if (!table.get<BitmapObject>(object) && !table.get<PaletteObject>(object))
        return false;
    return table.remove(object);
}

}
