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
    if (auto const* p = pixels()) {
        m_width = pixels_to_himetric(p->width());
        m_height = pixels_to_himetric(p->height());
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
    auto const* p = pixels();
    return p ? p->width() : 0;
}

int Picture::pixel_height() const
{
    auto const* p = pixels();
    return p ? p->height() : 0;
}

PictureRef make_picture(std::shared_ptr<Surface> pixels)
{
    return std::make_shared<Picture>(create_bitmap(std::move(pixels)), 0, true);
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
