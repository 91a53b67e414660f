#pragma once

#include "error.h"
#include "objects.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace forms {

class Form;
class Host;

// The forms runtime: the loaded windows, the handle table and the host, and the
// dispatch of events, one at a time, each handler to its end.
class Runtime {
public:
    static Runtime& the();

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

    // Failure injection for tests: the named operation fails once it has
    // succeeded `after` more times.
    void fail_operation(std::string operation, int after = 0);
    ErrorOr<void> check(std::string_view operation);

    // For tests: back to a fresh start, no window, no handle, no fault.
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
        std::string operation;
        int after { 0 };
    };
    std::vector<Fault> m_faults;
};

// The text of the message box for an unhandled run-time error.
std::string describe(RuntimeError const& error);

}
