#pragma once

// The window port on Qt Widgets: each loaded form gets a top-level window, a
// menu bar built from its description over a canvas that shows the form's
// composed surface pixel for pixel. Mouse, keys, menu commands and the close
// box go to the runtime through the deliver_* methods, which tests may
// override to watch them. It leaves text, dialogs and the clipboard to their
// own ports; the window manager owns the frame and the title bar.

#include "forms/host.h"

#include <QPointer>

#include <string>
#include <unordered_map>

class QMenuBar;
class QWidget;

namespace forms::qt {

class HostWindow;

class QtWindows : public WindowPort {
public:
    QtWindows() = default;
    ~QtWindows() override;
    QtWindows(QtWindows const&) = delete;
    QtWindows& operator=(QtWindows const&) = delete;

    void create_window(Form& form) override;
    void destroy_window(Form& form) override;
    void show_window(Form& form, bool visible) override;
    void present(Form& form, Rect area) override;
    Rect client_in_window(Form& form) const override;
    Surface window_frame(Form& form) const override;

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

private:
    HostWindow* find(Form const& form) const;

    std::unordered_map<Form const*, QPointer<HostWindow>> m_windows;
};

}
