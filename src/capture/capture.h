#pragma once

#include "forms/form.h"
#include "forms/picture.h"

#include <cstdint>

namespace capture {

// A new picture that owns the bitmap and the palette; empty when none can be made.
forms::PictureRef CreateBitmapPicture(forms::HBITMAP hBmp, forms::HPALETTE hPal);

// Copies a rectangle of a window's client area (Client nonzero) or of the whole
// window into a new picture.
forms::PictureRef CaptureWindow(forms::HWND hWndSrc, std::int16_t Client, std::int32_t LeftSrc, std::int32_t TopSrc,
    std::int32_t WidthSrc, std::int32_t HeightSrc);

// The whole client area of a form.
forms::PictureRef CaptureClient(forms::Form& frmSrc);

}
