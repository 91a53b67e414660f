#pragma once

#include "forms/host.h"

#include <QFont>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

class QFileDialog;
class QMenuBar;
class QWidget;

namespace forms::qt {

class HostWindow;

// The desktop host on Qt Widgets. Each loaded form gets a top-level window: a
// menu bar built from its description over a canvas that shows the form's
// composed surface pixel for pixel. Input on the window goes to the runtime
// through the deliver_* methods, which tests may override to watch it.
class QtHost : public Host {
public:
    QtHost();
    ~QtHost() override;

    void create_window(Form& form) override;
    void destroy_window(Form& form) override;
    void show_window(Form& form, bool visible) override;
    void present(Form& form, Rect area) override;

    Rgb system_colour(std::uint32_t index) const override;
    void draw_text(Surface& target, Rect box, std::string_view text, Rgb colour, Alignment alignment) override;
    int text_line_height() const override;

    void message_box(std::string_view caption, std::string_view text) override;
    void quit(int status) override;

    Rect client_in_window(Form& form) const override;
    Surface window_frame(Form& form) const override;

    ErrorOr<void> clipboard_clear() override;
    ErrorOr<void> clipboard_set_image(Surface const& pixels) override;
    ErrorOr<std::shared_ptr<Surface>> clipboard_image() override;

    ErrorOr<std::string> show_save_dialog(Form& owner, FileDialogRequest const& request) override;

    ErrorOr<PrinterDevice*> printer() override;

    // Events from the windows.
    virtual void deliver_mouse_click(Form& form, int x, int y);
    virtual void deliver_menu_click(Form& form, std::string const& entry);
    virtual void deliver_close(Form& form);
    virtual void deliver_button(Form& form, std::string const& control);

    // The top-level window of a form, its client canvas and its menu bar (null
    // when the form has none).
    QWidget* window_of(Form const& form) const;
    QWidget* canvas_of(Form const& form) const;
    QMenuBar* menu_bar_of(Form const& form) const;

    // The one font every text is drawn in.
    QFont const& text_font() const;

    // The status quit() was given, once it has been called.
    std::optional<int> quit_status() const { return m_quit_status; }

protected:
    // Runs the configured dialog and returns its QDialog::DialogCode; a test
    // can answer it instead of a user.
    virtual int run_dialog(QFileDialog& dialog);

private:
    HostWindow* find(Form const& form) const;

    std::unordered_map<Form const*, QPointer<HostWindow>> m_windows;
    mutable std::optional<QFont> m_font;
    std::optional<int> m_quit_status;
    std::unique_ptr<PrinterDevice> m_printer;
};

// Sets up the application (or uses the one that exists), installs a QtHost
// on the runtime, calls `start` to load and show the first window, then runs
// the event loop. Returns the status the program ends with.
int run_application(int argc, char** argv, std::function<void()> start);

}
