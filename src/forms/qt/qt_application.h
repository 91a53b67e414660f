#pragma once

// The application port on Qt: the message box and the end of the event loop,
// and the start of it all. This header names no Qt type, so that `main` can
// start the program without seeing the toolkit.

#include "forms/host.h"

#include <functional>
#include <optional>
#include <string>

namespace forms::qt {

class QtApplication : public ApplicationPort {
public:
    void message_box(std::string_view caption, std::string_view text) override;
    void quit(int status) override;

    // The status quit() was given, once it has been called.
    std::optional<int> quit_status() const { return m_quit_status; }

private:
    std::optional<int> m_quit_status;
};

// Sets up the application (or uses the one that exists), installs the Qt host
// on the runtime, calls `start` to load and show the first window, then runs
// the event loop. Returns the status the program ends with. When there is no
// display to show the window on, or the toolkit cannot start or draw on it, or
// `start` refuses, it shows nothing and returns 1 after one line on stderr.
int run_application(int argc, char** argv, std::function<void()> start);

// For `start`: the program ends before its first window, with `reason` on
// one line and status 1.
void refuse_start(std::string reason);

}
