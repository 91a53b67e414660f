#pragma once

#include "colour.h"
#include "description.h"
#include "error.h"
#include "geometry.h"
#include "surface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace forms {

class Form;

// The platform the runtime is hosted on, one small port per service. Each
// port's own methods are what a host without a desktop does (no windows, a
// fixed colour scheme, no text, no clipboard, dialog or printer), so a host or
// a test's stand-in overrides only what it provides.

// Top-level windows: one per loaded form, with the menu bar of its
// description, presenting the form's composed surface; input on them goes to
// the runtime.
class WindowPort {
public:
    virtual ~WindowPort() = default;
    virtual void create_window(Form&) { }
    virtual void destroy_window(Form&) { }
    virtual void show_window(Form&, bool) { }
    // The window's surface changed inside `area`.
    virtual void present(Form&, Rect) { }

    // Where the client area lies inside the whole window as the runtime knows
    // it, and the pixels of the window outside the client area.
    virtual Rect client_in_window(Form& form) const;
    virtual Surface window_frame(Form& form) const;
};

// Text in the platform's default font, and the user's colour scheme.
class TextPort {
public:
    virtual ~TextPort() = default;
    virtual Rgb system_colour(std::uint32_t index) const;
    // Draws text inside `box` of `target` (already filled with the ground),
    // broken at word boundaries to fit the box's width.
    virtual void draw_text(Surface& target, Rect box, std::string_view text, Rgb colour, Alignment alignment);
    // The height of one line of that text, in pixels.
    virtual int text_line_height() const;
};

// The desktop's clipboard.
class ClipboardPort {
public:
    virtual ~ClipboardPort() = default;
    virtual ErrorOr<void> clipboard_clear();
    virtual ErrorOr<void> clipboard_set_image(Surface const& pixels);
    // A copy of the bitmap on the clipboard; null when it holds none.
    virtual ErrorOr<std::shared_ptr<Surface>> clipboard_image();
};

// What the file dialog is asked to show, and what it leaves behind.
struct FileDialogRequest {
    std::string default_extension; // ".BMP"
    std::string filter;            // "description|pattern|description|pattern..."
    std::string file_name;         // the name the last showing left
};

class SaveDialogPort {
public:
    virtual ~SaveDialogPort() = default;
    // A modal file dialog for saving; the chosen name, or empty on Cancel.
    virtual ErrorOr<std::string> show_save_dialog(Form& owner, FileDialogRequest const& request);
};

// A print destination. Lengths are in device pixels of `dpi()`.
class PrinterDevice {
public:
    virtual ~PrinterDevice() = default;
    // 1 portrait, 2 landscape.
    virtual ErrorOr<void> set_orientation(std::int16_t orientation) = 0;
    virtual std::int16_t orientation() const = 0;
    // The drawing area (the printable part of the page) in device pixels.
    virtual ErrorOr<double> drawable_width() const = 0;
    virtual ErrorOr<double> drawable_height() const = 0;
    virtual double dpi_x() const = 0;
    virtual double dpi_y() const = 0;
    // Draws pixels scaled into a rectangle of the current page; opens the
    // document when none is open.
    virtual ErrorOr<void> draw_image(Surface const& pixels, double x, double y, double width, double height) = 0;
    // Ends the document: its pages go to the printer.
    virtual ErrorOr<void> end_document() = 0;
    // Drops the open document, if any: nothing of it is printed.
    virtual void abort_document() = 0;
};

class PrinterPort {
public:
    virtual ~PrinterPort() = default;
    // The default printer; an error when the desktop has none.
    virtual ErrorOr<PrinterDevice*> default_printer();
};

// The application as a whole: its message box and the end of its event loop.
class ApplicationPort {
public:
    virtual ~ApplicationPort() = default;
    virtual void message_box(std::string_view, std::string_view) { }
    // Leaves the event loop; `main` returns `status`.
    virtual void quit(int) { }
};

// Hands the ports out; a port never set is the one that has no desktop.
class Host {
public:
    WindowPort& windows() const;
    TextPort& text() const;
    ClipboardPort& clipboard() const;
    SaveDialogPort& save_dialog() const;
    PrinterPort& printers() const;
    ApplicationPort& application() const;

    void set_windows(WindowPort* port) { m_windows = port; }
    void set_text(TextPort* port) { m_text = port; }
    void set_clipboard(ClipboardPort* port) { m_clipboard = port; }
    void set_save_dialog(SaveDialogPort* port) { m_save_dialog = port; }
    void set_printers(PrinterPort* port) { m_printers = port; }
    void set_application(ApplicationPort* port) { m_application = port; }

private:
    WindowPort* m_windows { nullptr };
    TextPort* m_text { nullptr };
    ClipboardPort* m_clipboard { nullptr };
    SaveDialogPort* m_save_dialog { nullptr };
    PrinterPort* m_printers { nullptr };
    ApplicationPort* m_application { nullptr };
};

}
