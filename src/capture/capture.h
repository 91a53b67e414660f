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

// The clipboard hand-over that Save and Print share: the clipboard cleared,
// the form's client area captured onto it as a bitmap, the capture released
// at once. What the clipboard held before is lost.
void capture_to_clipboard(forms::Form& frmSrc);
// A new picture taken back from the clipboard; empty when it holds none.
forms::PictureRef picture_from_clipboard();

}
