#include "host.h"
#include "form.h"

namespace forms {

namespace {
RuntimeError unavailable(char const* what)
{
    return RuntimeError { errors::device_unavailable, std::string(what) + " is not available" };
}
}

Rgb Host::system_colour(std::uint32_t index) const
{
    switch (index) {
    case system_colours::highlight_text:
        return { 255, 255, 255 };
    case system_colours::button_face:
    case system_colours::menu:
        return { 239, 239, 239 };
    default:
        return { 0, 0, 0 };
    }
}

void Host::draw_text(Surface&, Rect, std::string_view, Rgb, Alignment) { }

int Host::text_line_height() const { return 13; }

Rect Host::client_in_window(Form& form) const
{
    return { 0, 0, form.client_pixel_width(), form.client_pixel_height() };
}

Surface Host::window_frame(Form& form) const
{
    Rect client = client_in_window(form);
    return Surface(client.right(), client.bottom());
}

ErrorOr<void> Host::clipboard_clear() { return unavailable("The clipboard"); }
ErrorOr<void> Host::clipboard_set_image(Surface const&) { return unavailable("The clipboard"); }
ErrorOr<std::shared_ptr<Surface>> Host::clipboard_image() { return unavailable("The clipboard"); }
ErrorOr<std::string> Host::show_save_dialog(Form&, FileDialogRequest const&) { return unavailable("The file dialog"); }
ErrorOr<PrinterDevice*> Host::printer() { return unavailable("The printer"); }

}
