// Launch to first frame: the program against a bare Qt window of the same shape,
// started alternately, each built to exit right after its first paint (the
// program as shipped plus one object that does that, bench/first_frame). Wall time
// runs from the spawn to the reaped exit; memory is the child's peak resident
// set as the kernel reports it on reaping.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int launches = 40;
constexpr int timeout_ms = 20'000;

struct Launch {
    double seconds { 0 };
    double maxrss_mib { 0 };
    std::string error;
};

// The environment of every child: ours, plus, unless the caller chose a
// platform, the offscreen one so no display is needed.
class ChildEnvironment {
public:
    ChildEnvironment()
    {
        bool has_platform = false;
        for (char** entry = environ; *entry; ++entry) {
            std::string text = *entry;
            if (text.starts_with("QT_QPA_PLATFORM="))
                has_platform = true;
            m_strings.push_back(std::move(text));
        }
        if (!has_platform)
            m_strings.push_back("QT_QPA_PLATFORM=offscreen");
        for (auto& text : m_strings)
            m_pointers.push_back(text.data());
        m_pointers.push_back(nullptr);
    }
    char** get() { return m_pointers.data(); }

private:
    std::vector<std::string> m_strings;
    std::vector<char*> m_pointers;
};

Launch launch(char const* path)
{
    static ChildEnvironment environment;
    Launch result;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = { const_cast<char*>(path), nullptr };

    auto const start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, path, &actions, nullptr, argv, environment.get());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result.error = std::string("can't start ") + path + ": " + std::strerror(spawned);
        return result;
    }

    // A program that shows no frame would never end; don't wait for it forever.
    int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd ready { pidfd, POLLIN, 0 };
        int polled = ::poll(&ready, 1, timeout_ms);
        ::close(pidfd);
        if (polled == 0) {
            ::kill(pid, SIGKILL);
            result.error = std::string(path) + " showed no frame in time";
        }
    }
    int status = 0;
    rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) { }
    auto const end = std::chrono::steady_clock::now();

    if (result.error.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        result.error = std::string(path) + " did not exit cleanly (status " + std::to_string(status) + ")";
    result.seconds = std::chrono::duration<double>(end - start).count();
    result.maxrss_mib = double(usage.ru_maxrss) / 1024.0;
    return result;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    auto const n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void BM_LaunchToFirstFrame(benchmark::State& state)
{
    // Once each before measuring: the page cache and the font cache warm up.
    for (char const* path : { BARE_WINDOW_EXECUTABLE, ZORVANE_EXECUTABLE }) {
        if (auto warm = launch(path); !warm.error.empty()) {
            state.SkipWithError(warm.error.c_str());
            return;
        }
    }

    std::vector<double> bare_ms, zorvane_ms, bare_mib, zorvane_mib;
    int round = 0;
    for (auto _ : state) {
        // Alternate which goes first, so neither always follows the other.
        bool const zorvane_first = round++ % 2 == 1;
        Launch runs[2];
        runs[zorvane_first ? 0 : 1] = launch(ZORVANE_EXECUTABLE);
        runs[zorvane_first ? 1 : 0] = launch(BARE_WINDOW_EXECUTABLE);
        Launch const& zorvane = runs[zorvane_first ? 0 : 1];
        Launch const& bare = runs[zorvane_first ? 1 : 0];
        for (auto const* run : { &zorvane, &bare }) {
            if (!run->error.empty()) {
                state.SkipWithError(run->error.c_str());
                return;
            }
        }
        state.SetIterationTime(zorvane.seconds);
        zorvane_ms.push_back(zorvane.seconds * 1e3);
        bare_ms.push_back(bare.seconds * 1e3);
        zorvane_mib.push_back(zorvane.maxrss_mib);
        bare_mib.push_back(bare.maxrss_mib);
    }

    // Medians: a launch now and then stalls on something outside either program.
    double const bare_time = median(bare_ms), zorvane_time = median(zorvane_ms);
    double const bare_rss = median(bare_mib), zorvane_rss = median(zorvane_mib);
    state.counters["bare_ms"] = bare_time;
    state.counters["zorvane_ms"] = zorvane_time;
    state.counters["time_ratio"] = zorvane_time / bare_time;
    state.counters["bare_maxrss_MiB"] = bare_rss;
    state.counters["zorvane_maxrss_MiB"] = zorvane_rss;
    state.counters["maxrss_extra_MiB"] = zorvane_rss - bare_rss;
    // A spawned child's peak includes this process's at the spawn, so this
    // must stay well below both figures above for them to mean anything.
    rusage self {};
    ::getrusage(RUSAGE_SELF, &self);
    state.counters["bench_maxrss_MiB"] = double(self.ru_maxrss) / 1024.0;
    state.SetLabel("targets: time_ratio <= 1.10, maxrss_extra_MiB <= 3");
}

}

BENCHMARK(BM_LaunchToFirstFrame)->UseManualTime()->Iterations(launches)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
