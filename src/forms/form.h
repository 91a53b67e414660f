#pragma once

#include "description.h"
#include "error.h"
#include "geometry.h"
#include "objects.h"
#include "picture.h"
#include "runtime.h"
#include "surface.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace forms {

class Form;
class FileDialog;

// A control of a loaded window, built from its description.
class Control {
public:
    ControlDesc const& desc() const { return *m_desc; }
    std::string const& name() const { return m_desc->name; }
    std::int16_t index() const { return m_desc->index; }
    ControlKind kind() const { return m_desc->kind; }
    Form& form() const { return *m_form; }

    // Its box in pixels on the client area.
    Rect rect() const { return m_rect; }
    bool visible() const { return m_desc->visible; }

    // Reading gives the very object the image holds; setting makes it hold and
    // show that object, no copy.
    ErrorOr<PictureRef> Picture() const;
    ErrorOr<void> set_Picture(PictureRef picture);
    // The same object without the runtime's check, for composing and tests.
    PictureRef const& held_picture() const { return m_picture; }

    // A label's or a button's caption drawn once at load; composition copies it.
    Surface const* rendered() const { return m_rendered.is_empty() ? nullptr : &m_rendered; }

    FileDialog* file_dialog() const { return m_dialog.get(); }

private:
    friend class Form;
    Form* m_form { nullptr };
    ControlDesc const* m_desc { nullptr };
    Rect m_rect;
    PictureRef m_picture;
    Surface m_rendered;
    std::shared_ptr<FileDialog> m_dialog;
};

// A window: its description, and once loaded its controls and its composed
// client surface. The system's windows derive from it and bind their handlers.
class Form {
public:
    explicit Form(WindowDesc description);
    virtual ~Form();
    Form(Form const&) = delete;
    Form& operator=(Form const&) = delete;

    WindowDesc const& description() const { return m_desc; }
    std::string const& name() const { return m_desc.name; }

    bool is_loaded() const { return m_loaded; }
    bool Visible() const { return m_visible; }
    int load_count() const { return m_load_count; }

    // Builds the window from its description and raises its load event; nothing
    // when loaded already.
    ErrorOr<void> Load();
    // Raises the unload event and destroys the window; nothing when the window is
    // not loaded or is unloading already.
    ErrorOr<void> Unload();
    // True loads the window if needed and shows it modeless; false hides it.
    ErrorOr<void> set_Visible(bool visible);

    // A control by name; referring to a control loads its window, as it does on
    // the platform. For a control array, its element with the lowest index.
    Control& control(std::string_view name);
    // An element of a control array.
    ErrorOr<Control*> element(std::string_view array_name, std::int16_t index);
    std::vector<std::unique_ptr<Control>> const& controls() const { return m_controls; }

    HWND hWnd() const { return m_hwnd; }
    ErrorOr<float> ScaleWidth() const;
    ErrorOr<float> ScaleHeight() const;
    ErrorOr<std::int16_t> ScaleMode() const;
    ErrorOr<void> set_ScaleMode(std::int16_t mode);
    ErrorOr<float> ScaleX(float length, std::int16_t from, std::int16_t to) const;
    ErrorOr<float> ScaleY(float length, std::int16_t from, std::int16_t to) const;

    // The client area in pixels and its composed pixels.
    int client_pixel_width() const;
    int client_pixel_height() const;
    Surface const& surface() const { return m_surface; }

    // The topmost visible control under a pixel of the client area, or null.
    Control* hit_test(int x, int y) const;

    // Marks an area to be composed again and presented after the current event.
    void invalidate(Rect area);
    Rect dirty() const { return m_dirty; }
    // Composes the dirty area and returns it, clearing it.
    Rect compose_dirty();
    // Composes an area of the client surface from the controls, bottom first.
    void compose(Rect area);

    // Event entry points, used by the runtime's dispatch.
    void raise_click(Control& control);
    void raise_click(std::string_view name, std::int16_t index = -1);

protected:
    virtual void Form_Load() { }
    virtual void Form_Unload(std::int16_t& cancel) { (void)cancel; }

    void on_click(std::string name, std::function<void()> handler);
    void on_array_click(std::string name, std::function<void(std::int16_t)> handler);

private:
    void build();
    void destroy();

    WindowDesc m_desc;
    bool m_loaded { false };
    bool m_unloading { false };
    bool m_visible { false };
    int m_load_count { 0 };
    HWND m_hwnd { 0 };
    std::int16_t m_scale_mode { 1 };
    std::vector<std::unique_ptr<Control>> m_controls;
    std::map<std::string, std::function<void(std::int16_t)>, std::less<>> m_handlers;
    // Controls by name; for an array, its elements by index (gaps are null).
    std::map<std::string, std::vector<Control*>, std::less<>> m_by_name;
    Surface m_surface;
    Rgb m_back;
    Rect m_dirty;
};

// The single global instance of a window, created on first use without
// loading it; a reset of the runtime forgets it, as a new run would.
template<typename F>
class Instance final : public InstanceSlot {
public:
    Instance() { Runtime::the().add_instance(*this); }
    ~Instance() { Runtime::the().remove_instance(*this); }
    Instance(Instance const&) = delete;
    Instance& operator=(Instance const&) = delete;

    F& get()
    {
        if (!m_form)
            m_form = std::make_unique<F>();
        return *m_form;
    }
    F* operator->() { return &get(); }
    bool exists() const { return m_form != nullptr; }
    void reset() override { m_form.reset(); }

private:
    std::unique_ptr<F> m_form;
};

}
