#pragma once

// What can stop the program before its first window shows, judged around the
// toolkit's start so that each ends in one line for the user rather than in
// the toolkit's abort. Names no Qt type.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace forms::qt {

// getenv, or a test's stand-in: null for a variable that is not set.
using EnvironmentLookup = std::function<char const*(char const*)>;

// Why none of the platforms the toolkit is about to try can be reached,
// judged as the toolkit chooses them (-platform, QT_QPA_PLATFORM, else the
// session's Wayland display before the X one); nothing when one can be, or
// when one is a platform with no display to reach (offscreen, say).
std::optional<std::string> unreachable_display(std::vector<std::string> const& arguments, EnvironmentLookup const& environment);

// Lets go of what unreachable_display() holds on to: the display it found,
// kept open until the toolkit has connected to it too.
void release_display_check();

// The X display the toolkit connects to: -display's argument, else DISPLAY.
std::string x_display_name(std::vector<std::string> const& arguments, EnvironmentLookup const& environment);

// The reason to give when the toolkit found no platform it could start,
// from the messages it wrote on the way and its last one.
std::string platform_failure(std::vector<std::string> const& messages, std::string const& fatal);

// The one line a refused start ends with.
std::string startup_line(std::string const& reason);

}
