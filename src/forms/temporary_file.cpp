#include "temporary_file.h"

#include "file_descriptor.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <signal.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace forms {

namespace {

constexpr std::string_view prefix = ".zorvane-";
constexpr std::string_view suffix = ".tmp";

std::string format_name(unsigned long long pid, unsigned long long started, unsigned long long system,
    unsigned long long counter, unsigned long long clock)
{
    char name[128];
    std::snprintf(name, sizeof name, ".zorvane-%llu-%llu-%016llx-%llu-%06llx.tmp", pid, started, system, counter, clock);
    return name;
}

std::optional<std::string> read_small_file(char const* path)
{
    FileDescriptor fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (!fd.is_open())
        return std::nullopt;
    char buffer[4096];
    ssize_t length;
    do
        length = ::read(fd.get(), buffer, sizeof buffer);
    while (length < 0 && errno == EINTR);
    if (length <= 0)
        return std::nullopt;
    return std::string(buffer, std::size_t(length));
}

// In clock ticks since boot; with the pid it names one process for good.
std::optional<unsigned long long> start_time()
{
    auto stat = read_small_file("/proc/self/stat");
    if (!stat)
        return std::nullopt;
    // The command name in parentheses may hold anything; the fields after it
    // start at the third.
    auto at = stat->rfind(')');
    if (at == std::string::npos)
        return std::nullopt;
    std::string_view rest = std::string_view(*stat).substr(at + 1);
    std::string_view field;
    for (int number = 3; number <= 22; ++number) {
        auto start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos)
            return std::nullopt;
        rest.remove_prefix(start);
        auto end = std::min(rest.find(' '), rest.size());
        field = rest.substr(0, end);
        rest.remove_prefix(end);
    }
    unsigned long long value = 0;
    auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc {} || end != field.data() + field.size())
        return std::nullopt;
    return value;
}

// The boot and pid namespace this process lives in, where a pid means the
// same process; never 0.
std::optional<std::uint64_t> system_tag()
{
    auto boot = read_small_file("/proc/sys/kernel/random/boot_id");
    struct stat space {};
    if (!boot || ::stat("/proc/self/ns/pid", &space) != 0)
        return std::nullopt;
    std::uint64_t hash = 1469598103934665603ULL;
    auto mix = [&](void const* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            hash = (hash ^ static_cast<unsigned char const*>(data)[i]) * 1099511628211ULL;
    };
    mix(boot->data(), boot->size());
    mix(&space.st_dev, sizeof space.st_dev);
    mix(&space.st_ino, sizeof space.st_ino);
    return hash | 1;
}

struct Maker {
    unsigned long long pid;
    std::uint64_t system;
};

// Only a name exactly as format_name writes it.
std::optional<Maker> maker_of(std::string_view name)
{
    if (!name.starts_with(prefix) || !name.ends_with(suffix))
        return std::nullopt;
    std::string_view rest = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    unsigned long long fields[5] {};
    int const bases[5] { 10, 10, 16, 10, 16 };
    for (int i = 0; i < 5; ++i) {
        auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), fields[i], bases[i]);
        if (error != std::errc {})
            return std::nullopt;
        rest.remove_prefix(std::size_t(end - rest.data()));
        if (i < 4) {
            if (!rest.starts_with('-'))
                return std::nullopt;
            rest.remove_prefix(1);
        }
    }
    if (!rest.empty() || format_name(fields[0], fields[1], fields[2], fields[3], fields[4]) != name)
        return std::nullopt;
    // kill() takes 0 and negative pids for whole groups.
    if (fields[0] == 0 || fields[0] > INT_MAX)
        return std::nullopt;
    return Maker { fields[0], fields[2] };
}

}

TemporaryNames::TemporaryNames()
    : m_pid(::getpid())
{
    auto started = start_time();
    auto system = system_tag();
    if (started && system) {
        m_started = *started;
        m_system = *system;
    }
}

std::string TemporaryNames::next()
{
    static std::atomic<unsigned> counter { 0 };
    auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return format_name(static_cast<unsigned long long>(m_pid), m_started, m_system, counter.fetch_add(1),
        static_cast<unsigned long long>(now) & 0xffffffULL);
}

void TemporaryNames::remove_stale(std::string const& folder) const
{
    if (m_system == 0)
        return;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return;
    while (auto const* entry = ::readdir(dir.get())) {
        auto maker = maker_of(entry->d_name);
        if (!maker || maker->system != m_system || maker->pid == static_cast<unsigned long long>(m_pid))
            continue;
        if (::kill(pid_t(maker->pid), 0) == 0 || errno != ESRCH)
            continue;
        struct stat status {};
        if (::fstatat(::dirfd(dir.get()), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode)
            || status.st_uid != ::geteuid())
            continue;
        (void)::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
    }
}

}
