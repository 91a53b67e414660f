#include "qt_startup.h"

#include "forms/file_descriptor.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace forms::qt {

namespace {

std::string setting(EnvironmentLookup const& environment, char const* name)
{
    char const* value = environment(name);
    return value ? value : "";
}

// The value after `-option` (or `--option`), as the toolkit reads it; empty when absent.
std::string option_value(std::vector<std::string> const& arguments, std::string_view option)
{
    std::string found;
    for (std::size_t i = 1; i + 1 < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        if (argument.starts_with("--"))
            argument.remove_prefix(1);
        if (argument.size() == option.size() + 1 && argument[0] == '-' && argument.substr(1) == option)
            found = arguments[++i];
    }
    return found;
}

struct XConnection;
using XDisconnect = void (*)(XConnection*);

// The connection that found the display open, held until the toolkit has its
// own: a server left with no client resets itself (Xvfb does unless told
// not to), and the toolkit would wait for that.
struct HeldX {
    void* library { nullptr };
    XConnection* connection { nullptr };
    XDisconnect disconnect { nullptr };
} held_x;

// What `connect` writes on stderr, kept instead: libxcb writes there the
// reason a server gives for refusing a connection ("Authorization required").
template<typename Connect>
std::string quietly(Connect const& connect)
{
    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        connect();
        return {};
    }
    FileDescriptor const reading(pipe_ends[0]);
    FileDescriptor writing(pipe_ends[1]);
    std::fflush(stderr);
    FileDescriptor const saved(dup(STDERR_FILENO));
    if (!saved.is_open()) {
        connect();
        return {};
    }
    dup2(writing.get(), STDERR_FILENO);
    connect();
    dup2(saved.get(), STDERR_FILENO);
    writing.reset();
    char buffer[256];
    ssize_t const length = read(reading.get(), buffer, sizeof(buffer));
    std::string said(buffer, std::size_t(std::max<ssize_t>(length, 0)));
    return said.substr(0, said.find('\n'));
}

// Connects as the toolkit will, authorisation included. libxcb is loaded
// here rather than linked: the toolkit's X plugin loads it anyway, and the
// program itself never talks X. Nothing when the library is missing: the
// toolkit then says so itself.
std::optional<bool> x_display_opens(std::string const& name, std::string& refusal)
{
    using Connect = XConnection* (*)(char const*, int*);
    using HasError = int (*)(XConnection*);
    void* library = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return std::nullopt;
    auto connect = reinterpret_cast<Connect>(dlsym(library, "xcb_connect"));
    auto has_error = reinterpret_cast<HasError>(dlsym(library, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<XDisconnect>(dlsym(library, "xcb_disconnect"));
    if (!connect || !has_error || !disconnect) {
        dlclose(library);
        return std::nullopt;
    }
    release_display_check();
    held_x = { library, nullptr, disconnect };
    // Never null: a failed connection is an error object to free all the same.
    refusal = quietly([&] { held_x.connection = connect(name.c_str(), nullptr); });
    bool const opens = has_error(held_x.connection) == 0;
    if (!opens)
        release_display_check();
    return opens;
}

bool wayland_display_answers(EnvironmentLookup const& environment)
{
    if (environment("WAYLAND_SOCKET"))
        return true;
    std::string name = setting(environment, "WAYLAND_DISPLAY");
    if (name.empty())
        name = "wayland-0";
    std::string path = name;
    if (!name.starts_with('/')) {
        std::string const runtime_dir = setting(environment, "XDG_RUNTIME_DIR");
        if (runtime_dir.empty())
            return false;
        path = runtime_dir + "/" + name;
    }
    sockaddr_un address {};
    if (path.size() >= sizeof(address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    FileDescriptor const socket_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return socket_fd.is_open()
        && connect(socket_fd.get(), reinterpret_cast<sockaddr const*>(&address), sizeof(address)) == 0;
}

std::vector<std::string> split(std::string const& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t const end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// The quoted name after `prefix` in a message, when it has one.
std::optional<std::string> quoted_after(std::string const& message, std::string_view prefix)
{
    std::size_t at = message.find(prefix);
    if (at == std::string::npos)
        return std::nullopt;
    at += prefix.size();
    std::size_t const end = message.find('"', at);
    if (end == std::string::npos)
        return std::nullopt;
    return message.substr(at, end - at);
}

}

void release_display_check()
{
    if (held_x.connection)
        held_x.disconnect(held_x.connection);
    if (held_x.library)
        dlclose(held_x.library);
    held_x = {};
}

std::string x_display_name(std::vector<std::string> const& arguments, EnvironmentLookup const& environment)
{
    std::string name = option_value(arguments, "display");
    return name.empty() ? setting(environment, "DISPLAY") : name;
}

std::optional<std::string> unreachable_display(std::vector<std::string> const& arguments, EnvironmentLookup const& environment)
{
    // The toolkit's own order: the argument, the variable, then the session.
    std::string platforms = option_value(arguments, "platform");
    if (platforms.empty())
        platforms = setting(environment, "QT_QPA_PLATFORM");
    if (platforms.empty()) {
        bool const wayland_session = environment("WAYLAND_DISPLAY") || setting(environment, "XDG_SESSION_TYPE") == "wayland";
        platforms = wayland_session ? "wayland;xcb" : "xcb";
    }

    std::optional<std::string> x_problem, wayland_problem;
    for (auto const& entry : split(platforms, ';')) {
        std::string const name = entry.substr(0, entry.find(':'));
        if (name == "xcb") {
            std::string const display = x_display_name(arguments, environment);
            if (display.empty()) {
                x_problem = "no display is set (DISPLAY is empty)";
                continue;
            }
            std::string refusal;
            auto const opens = x_display_opens(display, refusal);
            if (opens.value_or(true))
                return std::nullopt;
            x_problem = "the X display " + display + " cannot be opened" + (refusal.empty() ? "" : " (" + refusal + ")");
        } else if (name.starts_with("wayland")) {
            if (wayland_display_answers(environment))
                return std::nullopt;
            wayland_problem = "no Wayland display answers";
        } else if (!name.empty()) {
            // A platform without a display (offscreen, vnc, ...): the user chose it.
            return std::nullopt;
        }
    }
    if (x_problem)
        return *x_problem + "; run it from a desktop session, or under xvfb-run";
    return wayland_problem.value_or("no platform is chosen") + "; run it from a desktop session";
}

std::string platform_failure(std::vector<std::string> const& messages, std::string const& fatal)
{
    std::string available;
    constexpr std::string_view list_prefix = "Available platform plugins are: ";
    if (auto at = fatal.find(list_prefix); at != std::string::npos) {
        available = fatal.substr(at + list_prefix.size());
        while (!available.empty() && (available.back() == '.' || available.back() == '\n' || available.back() == ' '))
            available.pop_back();
    }
    // The last platform tried decides: it is the one the user is left with.
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        if (auto name = quoted_after(*it, "Could not find the Qt platform plugin \"")) {
            std::string reason = "there is no platform plugin \"" + *name + "\"";
            if (!available.empty())
                reason += " (there are: " + available + ")";
            return reason + "; choose one with QT_QPA_PLATFORM, or unset it";
        }
        if (auto name = quoted_after(*it, "Could not load the Qt platform plugin \""))
            return "the platform plugin \"" + *name + "\" is there but cannot be loaded (QT_DEBUG_PLUGINS=1 shows why)";
    }
    // A plugin that loaded and then gave up says why itself.
    std::string const first_line = fatal.substr(0, fatal.find('\n'));
    return "the platform could not start (" + (first_line.empty() ? std::string("no reason given") : first_line) + ")";
}

std::string startup_line(std::string const& reason)
{
    return "zorvane: cannot start: " + reason + "\n";
}

}
