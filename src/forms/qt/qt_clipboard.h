#pragma once

// The clipboard port on Qt: the desktop's own clipboard (the X selection
// CLIPBOARD), holding a bitmap as an image. It offers nothing but images.

#include "forms/host.h"

namespace forms::qt {

class QtClipboard : public ClipboardPort {
public:
    ErrorOr<void> clipboard_clear() override;
    ErrorOr<void> clipboard_set_image(Surface const& pixels) override;
    ErrorOr<std::shared_ptr<Surface>> clipboard_image() override;
};

}
