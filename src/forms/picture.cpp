#include "picture.h"

#include <cmath>

namespace forms {

std::int32_t pixels_to_himetric(int pixels)
{
    return std::int32_t(std::lround(double(pixels) * 2540.0 / display_dpi));
}

Picture::Picture(HBITMAP bitmap, HPALETTE palette, bool owns)
    : m_bitmap(bitmap)
    , m_palette(palette)
    , m_owns(owns)
{
    if (auto const size = bitmap_size(m_bitmap)) {
        m_width = pixels_to_himetric(size->first);
        m_height = pixels_to_himetric(size->second);
    }
}

Picture::~Picture()
{
    if (!m_owns)
        return;
    if (m_bitmap)
        delete_object(m_bitmap);
    if (m_palette)
        delete_object(m_palette);
}

Surface const* Picture::pixels() const
{
    return bitmap_pixels(m_bitmap);
}

int Picture::pixel_width() const
{
    auto const size = bitmap_size(m_bitmap);
    return size ? size->first : 0;
}

int Picture::pixel_height() const
{
    auto const size = bitmap_size(m_bitmap);
    return size ? size->second : 0;
}

void Picture::draw(Surface& target, int x, int y, Rect clip) const
{
    draw_bitmap(m_bitmap, target, x, y, clip);
}

PictureRef make_picture(std::shared_ptr<Surface> pixels)
{
    return std::make_shared<Picture>(create_bitmap(std::move(pixels)), 0, true);
}

PictureRef make_picture(std::shared_ptr<StoredPicture> stored)
{
    return std::make_shared<Picture>(create_bitmap(std::move(stored)), 0, true);
}

PictureRef OleCreatePictureIndirect(PictDesc const& description, bool own)
{
    bool valid = description.cbSizeofstruct == sizeof(PictDesc) && description.picType == PICTYPE_BITMAP
        && handles().get<BitmapObject>(description.hbitmap)
        && (!description.hpal || handles().get<PaletteObject>(description.hpal));
    if (valid)
        return std::make_shared<Picture>(description.hbitmap, description.hpal, own);
    // Handles given away with the ownership flag are ours to free, also when no
    // picture could be made of them: the caller never deletes them.
    if (own) {
        if (handles().get<BitmapObject>(description.hbitmap))
            delete_object(description.hbitmap);
        if (handles().get<PaletteObject>(description.hpal))
            delete_object(description.hpal);
    }
    return nullptr;
}

}
