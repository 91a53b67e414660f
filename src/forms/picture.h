#pragma once

#include "error.h"
#include "objects.h"

#include <cstdint>
#include <memory>

namespace forms {

// The 20-byte description of a bitmap picture that the picture wrapping takes.
struct PictDesc {
    std::uint32_t cbSizeofstruct { 0 };
    std::uint32_t picType { 0 };
    std::uint32_t hbitmap { 0 };
    std::uint32_t hpal { 0 };
    std::uint32_t reserved { 0 };
};
static_assert(sizeof(PictDesc) == 20);

inline constexpr std::uint32_t PICTYPE_BITMAP = 1;

// The picture object: a bitmap, an optional palette, and a size in HIMETRIC
// (0.01 mm). A picture made with ownership deletes both handles with it.
class Picture {
public:
    Picture(HBITMAP bitmap, HPALETTE palette, bool owns);
    ~Picture();
    Picture(Picture const&) = delete;
    Picture& operator=(Picture const&) = delete;

    HBITMAP Handle() const { return m_bitmap; }
    HPALETTE hPal() const { return m_palette; }
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }

    // The pixels, or null when the bitmap handle names no bitmap.
    Surface const* pixels() const;
    int pixel_width() const;
    int pixel_height() const;
    // Copies it with its top-left corner at (x, y), only inside `clip`.
    void draw(Surface& target, int x, int y, Rect clip) const;

private:
    HBITMAP m_bitmap;
    HPALETTE m_palette;
    bool m_owns;
    std::int32_t m_width { 0 };
    std::int32_t m_height { 0 };
};

using PictureRef = std::shared_ptr<Picture>;

// Pixels at 96 dpi to HIMETRIC, to the nearest unit.
std::int32_t pixels_to_himetric(int pixels);

// A new picture that owns a new bitmap of these pixels.
PictureRef make_picture(std::shared_ptr<Surface> pixels);
PictureRef make_picture(std::shared_ptr<StoredPicture> stored);

// The picture wrapping: a picture over the description's handles, owning them
// when `own` is set. The empty reference when the description is not a bitmap's.
PictureRef OleCreatePictureIndirect(PictDesc const& description, bool own);

}
