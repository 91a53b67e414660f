#include "runtime.h"
#include "form.h"
#include "gdi.h"
#include "host.h"
#include "printer.h"

#include <algorithm>

namespace forms {

Runtime& Runtime::the()
{
    static Runtime runtime;
    return runtime;
}

Runtime::~Runtime() = default;

Host& Runtime::host() const
{
    static Host headless;
    return m_host ? *m_host : headless;
}

std::string describe(RuntimeError const& error)
{
    return "Run-time error '" + std::to_string(error.number) + "':\n\n" + error.description;
}

void Runtime::dispatch(std::function<void()> const& handler)
{
    if (m_finished)
        return;
    ++m_dispatch_depth;
    try {
        handler();
    } catch (RaisedError const& raised) {
        // Nothing in the system handles a run-time error: report it and end.
        host().application().message_box("Zorvane", describe(raised.error()));
        end(1);
    }
    --m_dispatch_depth;
    if (m_dispatch_depth == 0 && !m_finished)
        flush();
}

void Runtime::flush()
{
    for (auto* form : m_loaded) {
        if (form->dirty().is_empty())
            continue;
        Rect area = form->compose_dirty();
        host().windows().present(*form, area);
    }
}

void Runtime::mouse_click(Form& form, int x, int y)
{
    dispatch([&] {
        if (!form.is_loaded())
            return;
        if (auto* control = form.hit_test(x, y))
            form.raise_click(*control);
    });
}

void Runtime::menu_click(Form& form, std::string_view entry)
{
    dispatch([&] {
        if (form.is_loaded())
            form.raise_click(entry);
    });
}

void Runtime::button_activated(Form& form, std::string_view control)
{
    menu_click(form, control);
}

void Runtime::close_requested(Form& form)
{
    dispatch([&] { must(form.Unload()); });
}

void Runtime::report(RuntimeError const& error)
{
    host().application().message_box("Zorvane", describe(error));
}

void Runtime::window_loaded(Form& form)
{
    if (std::find(m_loaded.begin(), m_loaded.end(), &form) == m_loaded.end())
        m_loaded.push_back(&form);
}

void Runtime::window_unloaded(Form& form)
{
    auto it = std::find(m_loaded.begin(), m_loaded.end(), &form);
    if (it == m_loaded.end())
        return;
    m_loaded.erase(it);
    if (m_loaded.empty() && !m_finished)
        end(0);
}

void Runtime::forget(Form& form)
{
    std::erase(m_loaded, &form);
}

void Runtime::end(int status)
{
    m_finished = true;
    m_exit_status = status;
    host().application().quit(status);
}

void Runtime::fail_operation(FaultPoint operation, int after)
{
    m_faults.push_back({ operation, after });
}

ErrorOr<void> Runtime::check(FaultPoint operation)
{
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->operation != operation)
            continue;
        if (it->after > 0) {
            --it->after;
            return {};
        }
        m_faults.erase(it);
        return RuntimeError { errors::out_of_memory, "Out of memory" };
    }
    return {};
}

PrinterObject& Runtime::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<PrinterObject>();
    return *m_printer;
}

void Runtime::add_instance(InstanceSlot& slot)
{
    m_instances.push_back(&slot);
}

void Runtime::remove_instance(InstanceSlot& slot)
{
    std::erase(m_instances, &slot);
}

void Runtime::reset()
{
    for (auto* slot : m_instances)
        slot->reset();
    m_loaded.clear();
    m_handles.clear();
    m_faults.clear();
    m_finished = false;
    m_exit_status = 0;
    m_dispatch_depth = 0;
    m_printer.reset();
    set_display_palette(std::nullopt);
}

}
