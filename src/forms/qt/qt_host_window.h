#pragma once

#include "forms/description.h"

#include <QWidget>

#include <string>
#include <vector>

class QMenu;
class QMenuBar;

namespace forms {
class Control;
class Form;
}

namespace forms::qt {

class HostWindow;
class QtWindows;

// The client area: paints the form's surface 1:1 and turns mouse and keys into
// the runtime's events. A native child window, so outside tools can find it.
class Canvas final : public QWidget {
public:
    Canvas(HostWindow& window, int width, int height);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void activate_button();

    HostWindow& m_window;
    bool m_left_down { false };
    Control* m_pressed_on { nullptr };
    bool m_space_down { false };
};

// The top-level window of one form: its menu bar over its canvas.
class HostWindow final : public QWidget {
public:
    HostWindow(QtWindows& windows, Form& form);

    QtWindows& windows() const { return m_windows; }
    // Null once the form has let the window go.
    Form* form() const { return m_form; }
    void detach() { m_form = nullptr; }

    Canvas* canvas() const { return m_canvas; }
    QMenuBar* menu_bar() const { return m_menu_bar; }

    // The window manager places it on its first showing unless the form says where.
    bool placed() const { return m_placed; }
    void set_placed() { m_placed = true; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Into the menu bar or a menu: both have addMenu and addAction.
    template<typename Menu>
    void add_entries(Menu* menu, std::vector<MenuDesc> const& entries);
    void bind(QAction* action, MenuDesc const& entry);

    QtWindows& m_windows;
    Form* m_form;
    Canvas* m_canvas { nullptr };
    QMenuBar* m_menu_bar { nullptr };
    bool m_placed { false };
};

}
