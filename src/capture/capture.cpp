#include "capture.h"

#include "forms/clipboard.h"
#include "forms/gdi.h"
#include "forms/scale.h"

namespace capture {

using namespace forms;

PictureRef CreateBitmapPicture(HBITMAP hBmp, HPALETTE hPal)
{
    PictDesc description {};
    description.cbSizeofstruct = sizeof(PictDesc);
    description.picType = PICTYPE_BITMAP;
    description.hbitmap = hBmp;
    description.hpal = hPal;
    // The picture owns both handles from here on; nothing here deletes them,
    // also when no picture could be made.
    PictureRef reference = OleCreatePictureIndirect(description, true);
    return reference;
}

PictureRef CaptureWindow(HWND hWndSrc, std::int16_t Client, std::int32_t LeftSrc, std::int32_t TopSrc,
    std::int32_t WidthSrc, std::int32_t HeightSrc)
{
    LOGPALETTE log_palette {};

    HDC source = Client != 0 ? GetDC(hWndSrc) : GetWindowDC(hWndSrc);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP new_bitmap = CreateCompatibleBitmap(source, WidthSrc, HeightSrc);
    HBITMAP previous_bitmap = SelectObject(memory, new_bitmap);

    std::int32_t has_palette = GetDeviceCaps(source, RASTERCAPS) & RC_PALETTE;
    std::int32_t palette_size = GetDeviceCaps(source, SIZEPALETTE);
    HPALETTE previous_palette = 0;
    if (has_palette && palette_size == 256) {
        log_palette.palVersion = 0x0300;
        log_palette.palNumEntries = 256;
        GetSystemPaletteEntries(source, 0, 256, log_palette.palPalEntry.data());
        HPALETTE new_palette = CreatePalette(&log_palette);
        previous_palette = SelectPalette(memory, new_palette, 0);
        RealizePalette(memory);
    }

    BitBlt(memory, 0, 0, WidthSrc, HeightSrc, source, LeftSrc, TopSrc, SRCCOPY);

    HBITMAP bitmap = SelectObject(memory, previous_bitmap);
    HPALETTE palette = 0;
    if (has_palette && palette_size == 256)
        palette = SelectPalette(memory, previous_palette, 0);

    DeleteDC(memory);
    ReleaseDC(hWndSrc, source);

    return CreateBitmapPicture(bitmap, palette);
}

PictureRef CaptureClient(Form& frmSrc)
{
    HWND window = frmSrc.hWnd();
    float scale_width = must(frmSrc.ScaleWidth());
    std::int16_t mode = must(frmSrc.ScaleMode());
    float width_pixels = must(frmSrc.ScaleX(scale_width, mode, scale_modes::pixels));
    float scale_height = must(frmSrc.ScaleHeight());
    mode = must(frmSrc.ScaleMode());
    float height_pixels = must(frmSrc.ScaleY(scale_height, mode, scale_modes::pixels));

    std::int32_t height = must(round_to_int32(height_pixels));
    std::int32_t width = must(round_to_int32(width_pixels));
    return CaptureWindow(window, -1, 0, 0, width, height);
}

void capture_to_clipboard(Form& frmSrc)
{
    must(must(Clipboard())->Clear());
    PictureRef captured = CaptureClient(frmSrc);
    must(must(Clipboard())->SetData(captured, clipboard_formats::bitmap));
}

PictureRef picture_from_clipboard()
{
    return must(must(Clipboard())->GetData());
}

}
