#include "qt_windows.h"

#include "forms/bmp.h"
#include "forms/form.h"
#include "forms/runtime.h"
#include "qt_convert.h"
#include "qt_host_window.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

namespace forms::qt {

namespace {

QIcon icon_from(StoredBytes bytes)
{
    if (bytes.empty())
        return {};
    QImage image;
    auto decoded = decode_ico(bytes);
    if (!decoded.is_error())
        image = copy_surface(decoded.value());
    else
        image = QImage::fromData(bytes.data(), int(bytes.size()), "ICO");
    if (image.isNull())
        return {};
    return QIcon(QPixmap::fromImage(image));
}

}

QtWindows::~QtWindows()
{
    for (auto& [form, window] : m_windows) {
        if (window) {
            window->detach();
            delete window.data();
        }
    }
}

HostWindow* QtWindows::find(Form const& form) const
{
    auto it = m_windows.find(&form);
    return it == m_windows.end() ? nullptr : it->second.data();
}

QWidget* QtWindows::window_of(Form const& form) const
{
    return find(form);
}

QWidget* QtWindows::canvas_of(Form const& form) const
{
    auto* window = find(form);
    return window ? window->canvas() : nullptr;
}

QMenuBar* QtWindows::menu_bar_of(Form const& form) const
{
    auto* window = find(form);
    return window ? window->menu_bar() : nullptr;
}

void QtWindows::create_window(Form& form)
{
    if (find(form))
        return;
    auto* window = new HostWindow(*this, form);
    QIcon icon = icon_from(form.description().icon);
    if (!icon.isNull()) {
        window->setWindowIcon(icon);
        QApplication::setWindowIcon(icon);
    }
    m_windows[&form] = window;
}

void QtWindows::destroy_window(Form& form)
{
    auto it = m_windows.find(&form);
    if (it == m_windows.end())
        return;
    QPointer<HostWindow> window = it->second;
    m_windows.erase(it);
    if (!window)
        return;
    window->detach();
    window->hide();
    // Later: this may run inside one of the window's own signals.
    window->deleteLater();
}

void QtWindows::show_window(Form& form, bool visible)
{
    auto* window = find(form);
    if (!window)
        return;
    if (!visible) {
        window->hide();
        return;
    }
    if (!window->placed()) {
        window->set_placed();
        WindowDesc const& desc = form.description();
        if (desc.start == StartPosition::Manual)
            window->move(twips_to_pixels(desc.left), twips_to_pixels(desc.top));
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void QtWindows::present(Form& form, Rect area)
{
    auto* window = find(form);
    if (!window || area.is_empty())
        return;
    window->canvas()->update(to_qrect(area));
}

Rect QtWindows::client_in_window(Form& form) const
{
    auto* window = find(form);
    if (!window)
        return WindowPort::client_in_window(form);
    QRect const r = window->canvas()->geometry();
    return { r.x(), r.y(), r.width(), r.height() };
}

Surface QtWindows::window_frame(Form& form) const
{
    auto* window = find(form);
    if (!window)
        return WindowPort::window_frame(form);
    return surface_from_image(window->grab().toImage());
}

void QtWindows::deliver_mouse_click(Form& form, int x, int y)
{
    Runtime::the().mouse_click(form, x, y);
}

void QtWindows::deliver_menu_click(Form& form, std::string const& entry)
{
    Runtime::the().menu_click(form, entry);
}

void QtWindows::deliver_close(Form& form)
{
    Runtime::the().close_requested(form);
}

void QtWindows::deliver_button(Form& form, std::string const& control)
{
    Runtime::the().button_activated(form, control);
}

}
