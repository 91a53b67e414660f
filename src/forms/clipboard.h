#pragma once

#include "error.h"
#include "picture.h"

#include <cstdint>
#include <optional>

namespace forms {

namespace clipboard_formats {
inline constexpr std::int16_t bitmap = 2;
}

// The desktop's clipboard, through the host.
class ClipboardObject {
public:
    ErrorOr<void> Clear();
    // Keeps a copy of the picture's pixels in the given format (bitmap only).
    ErrorOr<void> SetData(PictureRef const& picture, std::int16_t format = clipboard_formats::bitmap);
    // A new picture made from the bitmap on the clipboard; the empty reference
    // when the clipboard holds none.
    ErrorOr<PictureRef> GetData(std::optional<std::int16_t> format = std::nullopt);
};

ErrorOr<ClipboardObject*> Clipboard();

}
