#include "form.h"
#include "bmp.h"
#include "file_dialog.h"
#include "host.h"
#include "runtime.h"
#include "scale.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace forms {

namespace {

// Stored pictures are checked once; every control that shows one gets a bitmap
// of its own over the same picture, and so the same pixels once made.
ErrorOr<std::shared_ptr<StoredPicture>> stored_picture(StoredBytes bytes)
{
    static std::map<std::uint8_t const*, std::shared_ptr<StoredPicture>> cache;
    if (bytes.empty())
        return std::shared_ptr<StoredPicture>();
    auto& slot = cache[bytes.data()];
    if (!slot) {
        TRY_ASSIGN(auto rows, open_bmp(bytes));
        slot = std::make_shared<StoredPicture>(rows);
    }
    return slot;
}

Rgb resolve(Colour colour)
{
    if (colour.is_system())
        return Runtime::the().host().text().system_colour(colour.system_index());
    return colour.as_rgb();
}

Rect pixel_rect(ControlDesc const& desc)
{
    return { twips_to_pixels(desc.left), twips_to_pixels(desc.top), twips_to_pixels(desc.width),
        twips_to_pixels(desc.height) };
}

// A button drawn in its face colour: a raised edge and the caption centred.
void render_button(Surface& face, ControlDesc const& desc)
{
    auto& text = Runtime::the().host().text();
    Rgb fill = resolve(desc.back);
    int w = face.width(), h = face.height();
    face.fill(face.rect(), fill);
    Rgb light { 255, 255, 255 }, shadow { 128, 128, 128 }, dark { 0, 0, 0 };
    face.fill({ 0, 0, w, 1 }, light);
    face.fill({ 0, 0, 1, h }, light);
    face.fill({ 0, h - 1, w, 1 }, dark);
    face.fill({ w - 1, 0, 1, h }, dark);
    face.fill({ 1, h - 2, w - 2, 1 }, shadow);
    face.fill({ w - 2, 1, 1, h - 2 }, shadow);
    // One line of caption, centred on the face inside its edges.
    int line = text.text_line_height();
    Rect box { 2, (h - line) / 2, w - 4, line };
    text.draw_text(face, box, desc.caption, resolve(desc.fore), Alignment::Centre);
}

RuntimeError no_such_element(std::string_view name, std::int16_t index)
{
    return { errors::no_such_array_element, "Control array element '" + std::to_string(index) + "' doesn't exist (" + std::string(name) + ")" };
}

}

ErrorOr<PictureRef> Control::Picture() const
{
    TRY(Runtime::the().check(FaultPoint::picture_get));
    return m_picture;
}

ErrorOr<void> Control::set_Picture(PictureRef picture)
{
    TRY(Runtime::the().check(FaultPoint::picture_set));
    m_picture = std::move(picture);
    m_form->invalidate(m_rect);
    return {};
}

Form::Form(WindowDesc description)
    : m_desc(std::move(description))
{
}

Form::~Form()
{
    if (m_loaded) {
        Runtime::the().host().windows().destroy_window(*this);
        // Leaves the runtime's list without ending the program: this is the
        // instance going away, not an unload.
        Runtime::the().forget(*this);
        Runtime::the().handles().remove(m_hwnd);
    }
}

int Form::client_pixel_width() const { return twips_to_pixels(m_desc.client_width); }
int Form::client_pixel_height() const { return twips_to_pixels(m_desc.client_height); }

void Form::build()
{
    m_hwnd = Runtime::the().handles().add(WindowObject { this });
    m_back = resolve(m_desc.back);
    m_surface = Surface(client_pixel_width(), client_pixel_height(), m_back);
    m_controls.clear();
    m_controls.reserve(m_desc.controls.size());
    for (auto const& desc : m_desc.controls) {
        auto control = std::make_unique<Control>();
        control->m_form = this;
        control->m_desc = &desc;
        control->m_rect = pixel_rect(desc);
        switch (desc.kind) {
        case ControlKind::Image:
            // Load has checked every stored picture already.
            if (auto stored = stored_picture(desc.picture).release_value())
                control->m_picture = make_picture(std::move(stored));
            break;
        case ControlKind::Label: {
            Surface text(control->m_rect.width, control->m_rect.height, resolve(desc.back));
            Runtime::the().host().text().draw_text(text, text.rect(), desc.caption, resolve(desc.fore), desc.alignment);
            control->m_rendered = std::move(text);
            break;
        }
        case ControlKind::CommandButton: {
            Surface face(control->m_rect.width, control->m_rect.height);
            render_button(face, desc);
            control->m_rendered = std::move(face);
            break;
        }
        case ControlKind::CommonDialog:
            control->m_dialog = std::make_shared<FileDialog>(*this);
            break;
        }
        m_controls.push_back(std::move(control));
    }
    m_by_name.clear();
    for (auto& control : m_controls) {
        auto& slots = m_by_name[control->name()];
        std::size_t slot = control->index() >= 0 ? std::size_t(control->index()) : 0;
        if (slots.size() <= slot)
            slots.resize(slot + 1, nullptr);
        slots[slot] = control.get();
    }
    compose(m_surface.rect());
}

ErrorOr<void> Form::Load()
{
    if (m_loaded)
        return {};
    TRY(Runtime::the().check(FaultPoint::load));
    // A stored picture that cannot be decoded fails the load rather than
    // leaving its control blank.
    for (auto const& desc : m_desc.controls) {
        if (desc.kind == ControlKind::Image)
            TRY(stored_picture(desc.picture));
    }
    build();
    m_loaded = true;
    ++m_load_count;
    Runtime::the().window_loaded(*this);
    Runtime::the().host().windows().create_window(*this);
    Form_Load();
    return {};
}

void Form::destroy()
{
    Runtime::the().host().windows().destroy_window(*this);
    m_by_name.clear();
    m_controls.clear();
    m_surface = Surface();
    m_dirty = {};
    Runtime::the().handles().remove(m_hwnd);
    m_hwnd = 0;
    m_loaded = false;
    m_visible = false;
}

ErrorOr<void> Form::Unload()
{
    if (!m_loaded || m_unloading)
        return {};
    TRY(Runtime::the().check(FaultPoint::unload));
    m_unloading = true;
    std::int16_t cancel = 0;
    try {
        Form_Unload(cancel);
    } catch (...) {
        m_unloading = false;
        throw;
    }
    m_unloading = false;
    if (cancel != 0)
        return {};
    destroy();
    Runtime::the().window_unloaded(*this);
    return {};
}

ErrorOr<void> Form::set_Visible(bool visible)
{
    TRY(Runtime::the().check(FaultPoint::visible));
    if (!m_loaded) {
        if (auto loaded = Load(); loaded.is_error())
            return loaded;
        // The load event may have unloaded the window again.
        if (!m_loaded)
            return {};
    }
    if (m_visible == visible)
        return {};
    m_visible = visible;
    Runtime::the().host().windows().show_window(*this, visible);
    return {};
}

Control& Form::control(std::string_view name)
{
    if (!m_loaded)
        must(Load());
    if (auto it = m_by_name.find(name); it != m_by_name.end()) {
        for (auto* control : it->second) {
            if (control)
                return *control;
        }
    }
    std::fprintf(stderr, "zorvane: window %s has no control %.*s\n", m_desc.name.c_str(), int(name.size()), name.data());
    std::abort();
}

ErrorOr<Control*> Form::element(std::string_view array_name, std::int16_t index)
{
    TRY(Runtime::the().check(FaultPoint::element));
    if (!m_loaded) {
        if (auto loaded = Load(); loaded.is_error())
            return loaded.error();
    }
    if (index < 0)
        return no_such_element(array_name, index);
    auto it = m_by_name.find(array_name);
    if (it == m_by_name.end() || std::size_t(index) >= it->second.size() || !it->second[std::size_t(index)]
        || it->second[std::size_t(index)]->index() != index)
        return no_such_element(array_name, index);
    return it->second[std::size_t(index)];
}

ErrorOr<float> Form::ScaleWidth() const
{
    return convert_scale(float(m_desc.client_width), scale_modes::twips, m_scale_mode, Axis::Horizontal, display_dpi);
}

ErrorOr<float> Form::ScaleHeight() const
{
    return convert_scale(float(m_desc.client_height), scale_modes::twips, m_scale_mode, Axis::Vertical, display_dpi);
}

ErrorOr<std::int16_t> Form::ScaleMode() const
{
    TRY(Runtime::the().check(FaultPoint::scale_mode));
    return m_scale_mode;
}

ErrorOr<void> Form::set_ScaleMode(std::int16_t mode)
{
    if (mode < scale_modes::twips || mode > scale_modes::himetric)
        return RuntimeError { errors::invalid_procedure_call, "Invalid property value" };
    m_scale_mode = mode;
    return {};
}

ErrorOr<float> Form::ScaleX(float length, std::int16_t from, std::int16_t to) const
{
    TRY(Runtime::the().check(FaultPoint::scale_x));
    return convert_scale(length, from, to, Axis::Horizontal, display_dpi);
}

ErrorOr<float> Form::ScaleY(float length, std::int16_t from, std::int16_t to) const
{
    TRY(Runtime::the().check(FaultPoint::scale_y));
    return convert_scale(length, from, to, Axis::Vertical, display_dpi);
}

Control* Form::hit_test(int x, int y) const
{
    if (!m_surface.rect().contains(x, y))
        return nullptr;
    for (auto const& control : m_controls) {
        if (!control->visible() || control->kind() == ControlKind::CommonDialog)
            continue;
        if (control->m_rect.contains(x, y))
            return control.get();
    }
    return nullptr;
}

void Form::invalidate(Rect area)
{
    m_dirty = m_dirty.united(area.intersected(m_surface.rect()));
}

Rect Form::compose_dirty()
{
    Rect area = m_dirty;
    m_dirty = {};
    compose(area);
    return area;
}

void Form::compose(Rect area)
{
    area = area.intersected(m_surface.rect());
    if (area.is_empty())
        return;
    m_surface.fill(area, m_back);
    for (auto it = m_controls.rbegin(); it != m_controls.rend(); ++it) {
        auto const& control = **it;
        if (!control.visible())
            continue;
        Rect clip = control.m_rect.intersected(area);
        if (clip.is_empty())
            continue;
        if (control.kind() == ControlKind::Image) {
            if (control.m_picture)
                control.m_picture->draw(m_surface, control.m_rect.x, control.m_rect.y, clip);
        } else if (auto const* pixels = control.rendered()) {
            m_surface.blit(*pixels, control.m_rect.x, control.m_rect.y, clip);
        }
    }
}

void Form::on_click(std::string name, std::function<void()> handler)
{
    m_handlers[std::move(name)] = [handler = std::move(handler)](std::int16_t) { handler(); };
}

void Form::on_array_click(std::string name, std::function<void(std::int16_t)> handler)
{
    m_handlers[std::move(name)] = std::move(handler);
}

void Form::raise_click(Control& control)
{
    raise_click(control.name(), control.index());
}

void Form::raise_click(std::string_view name, std::int16_t index)
{
    auto it = m_handlers.find(name);
    if (it != m_handlers.end())
        it->second(index);
}

}
