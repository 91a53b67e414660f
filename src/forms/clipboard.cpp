#include "clipboard.h"
#include "host.h"
#include "runtime.h"

namespace forms {

ErrorOr<ClipboardObject*> Clipboard()
{
    static ClipboardObject clipboard;
    TRY(Runtime::the().check(FaultPoint::clipboard));
    return &clipboard;
}

ErrorOr<void> ClipboardObject::Clear()
{
    TRY(Runtime::the().check(FaultPoint::clipboard_clear));
    return Runtime::the().host().clipboard().clipboard_clear();
}

ErrorOr<void> ClipboardObject::SetData(PictureRef const& picture, std::int16_t format)
{
    TRY(Runtime::the().check(FaultPoint::clipboard_set_data));
    if (format != clipboard_formats::bitmap)
        return RuntimeError { errors::invalid_procedure_call, "Invalid Clipboard format" };
    if (!picture)
        return RuntimeError { errors::object_required, "Object required" };
    auto const* pixels = picture->pixels();
    if (!pixels)
        return RuntimeError { errors::invalid_picture, "Invalid picture" };
    return Runtime::the().host().clipboard().clipboard_set_image(*pixels);
}

ErrorOr<PictureRef> ClipboardObject::GetData(std::optional<std::int16_t> format)
{
    TRY(Runtime::the().check(FaultPoint::clipboard_get_data));
    if (format && *format != clipboard_formats::bitmap)
        return RuntimeError { errors::invalid_procedure_call, "Invalid Clipboard format" };
    auto image = Runtime::the().host().clipboard().clipboard_image();
    if (image.is_error())
        return image.error();
    if (!image.value())
        return PictureRef {};
    return make_picture(image.release_value());
}

}
