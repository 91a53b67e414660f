#include "qt_host_window.h"

#include "forms/form.h"
#include "qt_windows.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

namespace forms::qt {

Canvas::Canvas(HostWindow& window, int width, int height)
    : QWidget(&window)
    , m_window(window)
{
    setObjectName(QStringLiteral("client"));
    setAttribute(Qt::WA_NativeWindow);
    // Every pixel comes from the surface: no background to clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFixedSize(width, height);
    setFocusPolicy(Qt::StrongFocus);
}

bool Canvas::event(QEvent* event)
{
    // The native window carries the name too, for tools that look at the X tree.
    if (event->type() == QEvent::WinIdChange && windowHandle())
        windowHandle()->setTitle(objectName());
    return QWidget::event(event);
}

void Canvas::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    Form* form = m_window.form();
    Surface const* surface = form ? &form->surface() : nullptr;
    QRect const drawn = surface ? QRect(0, 0, surface->width(), surface->height()) : QRect();
    QImage const image = surface ? QImage(surface->data(), surface->width(), surface->height(), surface->stride(), QImage::Format_RGB888) : QImage();
    for (QRect const& exposed : event->region()) {
        QRect const from_surface = exposed.intersected(drawn);
        if (!from_surface.isEmpty())
            painter.drawImage(from_surface.topLeft(), image, from_surface);
        // Anything the surface does not cover (before the first composition).
        QRegion rest = QRegion(exposed).subtracted(QRegion(from_surface));
        for (QRect const& part : rest)
            painter.fillRect(part, Qt::black);
    }
}

void Canvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    Form* form = m_window.form();
    QPoint const at = event->position().toPoint();
    m_left_down = true;
    m_pressed_on = form ? form->hit_test(at.x(), at.y()) : nullptr;
}

void Canvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_left_down) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_left_down = false;
    Control* const pressed_on = std::exchange(m_pressed_on, nullptr);
    Form* form = m_window.form();
    QPoint const at = event->position().toPoint();
    if (!form || !rect().contains(at))
        return;
    // A click is a press and a release on the same control.
    if (form->hit_test(at.x(), at.y()) != pressed_on)
        return;
    m_window.windows().deliver_mouse_click(*form, at.x(), at.y());
}

void Canvas::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!event->isAutoRepeat())
            activate_button();
        return;
    case Qt::Key_Space:
        if (!event->isAutoRepeat())
            m_space_down = true;
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void Canvas::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        // As a push button does: Space acts on release, and only after its own press.
        if (m_space_down) {
            m_space_down = false;
            activate_button();
        }
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void Canvas::focusOutEvent(QFocusEvent* event)
{
    m_space_down = false;
    QWidget::focusOutEvent(event);
}

void Canvas::activate_button()
{
    Form* form = m_window.form();
    if (!form)
        return;
    // The button is the only control that takes the focus, so the first one has it.
    for (auto const& control : form->controls()) {
        if (control->kind() == ControlKind::CommandButton && control->visible()) {
            m_window.windows().deliver_button(*form, control->name());
            return;
        }
    }
}

HostWindow::HostWindow(QtWindows& windows, Form& form)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_windows(windows)
    , m_form(&form)
{
    WindowDesc const& desc = form.description();
    setObjectName(QString::fromStdString(desc.name));
    setWindowTitle(QString::fromStdString(desc.caption));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The window is exactly its menu bar over the client area, and stays so.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    if (!desc.menu.empty()) {
        m_menu_bar = new QMenuBar(this);
        // In the window on every desktop, so the client area is always below it.
        m_menu_bar->setNativeMenuBar(false);
        add_entries(m_menu_bar, desc.menu);
        layout->setMenuBar(m_menu_bar);
    }

    m_canvas = new Canvas(*this, form.client_pixel_width(), form.client_pixel_height());
    layout->addWidget(m_canvas, 0, Qt::AlignLeft | Qt::AlignTop);
    setFocusProxy(m_canvas);
    m_canvas->setFocus();
    layout->activate();
}

template<typename Menu>
void HostWindow::add_entries(Menu* menu, std::vector<MenuDesc> const& entries)
{
    for (auto const& entry : entries) {
        QString const caption = QString::fromStdString(entry.caption);
        if (!entry.children.empty()) {
            QMenu* submenu = menu->addMenu(caption);
            submenu->setObjectName(QString::fromStdString(entry.name));
            add_entries(submenu, entry.children);
        } else {
            // On the bar itself, a command with no menu of its own.
            bind(menu->addAction(caption), entry);
        }
    }
}

void HostWindow::bind(QAction* action, MenuDesc const& entry)
{
    action->setObjectName(QString::fromStdString(entry.name));
    if (!entry.shortcut.empty()) {
        action->setShortcut(QKeySequence::fromString(QString::fromStdString(entry.shortcut), QKeySequence::PortableText));
        action->setShortcutContext(Qt::WindowShortcut);
    }
    if (entry.checked) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    QObject::connect(action, &QAction::triggered, this, [this, action, name = entry.name] {
        // A checkable action has just toggled itself; the mark is fixed.
        if (action->isCheckable())
            action->setChecked(true);
        if (m_form)
            m_windows.deliver_menu_click(*m_form, name);
    });
}

void HostWindow::closeEvent(QCloseEvent* event)
{
    // The runtime unloads the form and then lets the window go itself.
    event->ignore();
    if (m_form)
        m_windows.deliver_close(*m_form);
}

}
