#include "host.h"
#include "form.h"

namespace forms {

namespace {

RuntimeError unavailable(char const* what)
{
    return RuntimeError { errors::device_unavailable, std::string(what) + " is not available" };
}

template<typename Port>
Port& or_headless(Port* port)
{
    static Port headless;
    return port ? *port : headless;
}

}

Rect WindowPort::client_in_window(Form& form) const
{
    return { 0, 0, form.client_pixel_width(), form.client_pixel_height() };
}

Surface WindowPort::window_frame(Form& form) const
{
    Rect client = client_in_window(form);
    return Surface(client.right(), client.bottom());
}

Rgb TextPort::system_colour(std::uint32_t index) const
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

void TextPort::draw_text(Surface&, Rect, std::string_view, Rgb, Alignment) { }

int TextPort::text_line_height() const { return 13; }

ErrorOr<void> ClipboardPort::clipboard_clear() { return unavailable("The clipboard"); }
ErrorOr<void> ClipboardPort::clipboard_set_image(Surface const&) { return unavailable("The clipboard"); }
ErrorOr<std::shared_ptr<Surface>> ClipboardPort::clipboard_image() { return unavailable("The clipboard"); }
ErrorOr<std::string> SaveDialogPort::show_save_dialog(Form&, FileDialogRequest const&) { return unavailable("The file dialog"); }
ErrorOr<PrinterDevice*> PrinterPort::default_printer() { return unavailable("The printer"); }

WindowPort& Host::windows() const { return or_headless(m_windows); }
TextPort& Host::text() const { return or_headless(m_text); }
ClipboardPort& Host::clipboard() const { return or_headless(m_clipboard); }
SaveDialogPort& Host::save_dialog() const { return or_headless(m_save_dialog); }
PrinterPort& Host::printers() const { return or_headless(m_printers); }
ApplicationPort& Host::application() const { return or_headless(m_application); }

}
