#pragma once

#include "colour.h"
#include "description.h"
#include "error.h"
#include "geometry.h"
#include "surface.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace forms {

class Form;

// What the file dialog is asked to show, and what it leaves behind.
struct FileDialogRequest {
    std::string default_extension; // ".BMP"
    std::string filter;            // "description|pattern|description|pattern..."
    std::string file_name;         // the name the last showing left
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
};

// The platform the runtime is hosted on: a desktop toolkit, or a test's stand-in.
// The runtime composes pixels; the host only presents them and does what needs
// the desktop.
class Host {
public:
    virtual ~Host() = default;

    // A loaded window gets a top-level window with the menu bar of its description.
    virtual void create_window(Form& form) = 0;
    virtual void destroy_window(Form& form) = 0;
    virtual void show_window(Form& form, bool visible) = 0;
    // The window's surface changed inside `area`.
    virtual void present(Form& form, Rect area) = 0;

    // The user's colour scheme.
    virtual Rgb system_colour(std::uint32_t index) const;
    // Draws text inside `box` of `target` (already filled with the ground), in the
    // platform's default font, broken at word boundaries to fit the box's width.
    virtual void draw_text(Surface& target, Rect box, std::string_view text, Rgb colour, Alignment alignment);
    // The height of one line of that text, in pixels.
    virtual int text_line_height() const;

    virtual void message_box(std::string_view caption, std::string_view text) = 0;
    // Leaves the event loop; `main` returns `status`.
    virtual void quit(int status) = 0;

    // Where the client area lies inside the whole window as the runtime knows it,
    // and the pixels of the window outside the client area.
    virtual Rect client_in_window(Form& form) const;
    virtual Surface window_frame(Form& form) const;

    // The desktop's clipboard.
    virtual ErrorOr<void> clipboard_clear();
    virtual ErrorOr<void> clipboard_set_image(Surface const& pixels);
    // A copy of the bitmap on the clipboard; null when it holds none.
    virtual ErrorOr<std::shared_ptr<Surface>> clipboard_image();

    // A modal file dialog for saving; the chosen name, or empty on Cancel.
    virtual ErrorOr<std::string> show_save_dialog(Form& owner, FileDialogRequest const& request);

    // The default printer; an error when the desktop has none.
    virtual ErrorOr<PrinterDevice*> printer();
};

}

namespace forms {

// A host with no desktop: windows exist only as surfaces. Tests derive from it.
class HeadlessHost : public Host {
public:
    void create_window(Form&) override { }
    void destroy_window(Form&) override { }
    void show_window(Form&, bool) override { }
    void present(Form&, Rect) override { }
    void message_box(std::string_view, std::string_view) override { }
    void quit(int) override { }
};

}
