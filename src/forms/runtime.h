#pragma once

#include "error.h"
#include "objects.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace forms {

class Form;
class Host;
class PrinterObject;

// The operations that pass the runtime's failure check before they act, so
// that a test can make any of them fail.
enum class FaultPoint : std::uint8_t {
    load,
    unload,
    visible,
    element,
    picture_get,
    picture_set,
    scale_mode,
    scale_x,
    scale_y,
    clipboard,
    clipboard_clear,
    clipboard_set_data,
    clipboard_get_data,
    file_dialog_default_ext,
    file_dialog_filter,
    file_dialog_show,
    file_dialog_file_name,
    printer,
    printer_orientation,
    printer_scale_mode,
    printer_scale_width,
    printer_scale_height,
    printer_scale_x,
    printer_scale_y,
    printer_paint_picture,
    printer_end_doc,
    printer_kill_doc,
};

// A global window instance, which a reset of the runtime forgets.
class InstanceSlot {
public:
    virtual void reset() = 0;

protected:
    ~InstanceSlot() = default;
};

// The forms runtime: the loaded windows, the handle table and the host, and the
// dispatch of events, one at a time, each handler to its end.
class Runtime {
public:
    static Runtime& the();
    ~Runtime();

    void set_host(Host* host) { m_host = host; }
    Host& host() const;
    bool has_host() const { return m_host != nullptr; }
    HandleTable& handles() { return m_handles; }

    // Events from the host.
    void mouse_click(Form& form, int x, int y);
    void menu_click(Form& form, std::string_view entry);
    void close_requested(Form& form);
    void button_activated(Form& form, std::string_view control);

    // Runs one event's handler: an unhandled run-time error is reported and ends
    // the program; afterwards every changed area is composed and presented.
    void dispatch(std::function<void()> const& handler);
    void flush();

    // Shows a run-time error in the message box and goes on.
    void report(RuntimeError const& error);

    std::vector<Form*> const& loaded_forms() const { return m_loaded; }
    void window_loaded(Form& form);
    void window_unloaded(Form& form);
    // A window instance destroyed while loaded leaves without ending the program.
    void forget(Form& form);

    bool finished() const { return m_finished; }
    int exit_status() const { return m_exit_status; }

    // Failure injection for tests: the operation fails once it has succeeded
    // `after` more times.
    void fail_operation(FaultPoint operation, int after = 0);
    ErrorOr<void> check(FaultPoint operation);

    // The platform printer, the same object on every fetch until a reset.
    PrinterObject& printer();

    void add_instance(InstanceSlot& slot);
    void remove_instance(InstanceSlot& slot);

    // Back to a fresh start, as a new run of the program: no instance, window,
    // handle or fault, a new printer object and a true-colour display.
    void reset();

private:
    void end(int status);

    Host* m_host { nullptr };
    HandleTable m_handles;
    std::vector<Form*> m_loaded;
    bool m_finished { false };
    int m_exit_status { 0 };
    int m_dispatch_depth { 0 };
    struct Fault {
        FaultPoint operation;
        int after { 0 };
    };
    std::vector<Fault> m_faults;
    std::vector<InstanceSlot*> m_instances;
    std::unique_ptr<PrinterObject> m_printer;
};

// The text of the message box for an unhandled run-time error.
std::string describe(RuntimeError const& error);

}
