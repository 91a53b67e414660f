// File > Save without the dialog: capturing the client area into a picture and
// writing it as a bitmap file, against putting the same bytes down with plain
// write calls, with and without a sync (the save syncs, so that is the fair
// bound). Each iteration does all three, so a slow moment of the disk falls on
// all of them alike. The folder is made under TMPDIR, or /tmp.

#include "bench_support.h"

#include "capture/capture.h"
#include "forms/bmp.h"
#include "forms/save_picture.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zorvane-save-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TemporaryFolder()
    {
        if (!m_path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    TemporaryFolder(TemporaryFolder const&) = delete;
    TemporaryFolder& operator=(TemporaryFolder const&) = delete;

    bool exists() const { return !m_path.empty(); }
    std::string file(char const* name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

bool write_plainly(std::string const& path, std::vector<std::uint8_t> const& bytes, bool sync)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written <= 0) {
            ::close(fd);
            return false;
        }
        done += std::size_t(written);
    }
    bool ok = !sync || ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

double milliseconds_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void BM_CaptureAndSave(benchmark::State& state)
{
    TemporaryFolder folder;
    if (!folder.exists()) {
        state.SkipWithError("can't make a temporary folder");
        return;
    }
    HeadlessMainWindow window;
    board::Tarvo1& form = window.form();
    std::string const saved = folder.file("board.bmp"), plain = folder.file("plain.bmp");

    // The very bytes the save writes.
    auto const picture = capture::CaptureClient(form);
    if (!picture || !picture->pixels()) {
        state.SkipWithError("the capture made no picture");
        return;
    }
    auto const bytes = forms::encode_bmp(*picture->pixels());

    double save_ms = 0, write_ms = 0, fsync_ms = 0;
    for (auto _ : state) {
        auto const start = Clock::now();
        auto captured = capture::CaptureClient(form);
        auto result = forms::SavePicture(captured, saved);
        save_ms += milliseconds_since(start);
        if (result.is_error()) {
            state.SkipWithError(result.error().description.c_str());
            return;
        }

        state.PauseTiming();
        auto const plain_start = Clock::now();
        bool ok = write_plainly(plain, bytes, false);
        write_ms += milliseconds_since(plain_start);
        auto const synced_start = Clock::now();
        ok = write_plainly(plain, bytes, true) && ok;
        fsync_ms += milliseconds_since(synced_start);
        if (!ok) {
            state.SkipWithError("a plain write failed");
            return;
        }
        state.ResumeTiming();
    }
    if (std::filesystem::file_size(saved) != bytes.size())
        state.SkipWithError("the saved file is not the size of the bitmap");

    double const n = double(state.iterations());
    save_ms /= n;
    write_ms /= n;
    fsync_ms /= n;
    state.counters["file_bytes"] = double(bytes.size());
    state.counters["save_ms"] = save_ms;
    state.counters["write_ms"] = write_ms;
    state.counters["write_fsync_ms"] = fsync_ms;
    state.counters["ratio_write"] = save_ms / write_ms;
    state.counters["ratio_write_fsync"] = save_ms / fsync_ms;
    state.SetLabel("target: ratio_write_fsync <= 3");
}

// The two halves on their own, to see where the time of a save goes.
void BM_CaptureClient(benchmark::State& state)
{
    HeadlessMainWindow window;
    board::Tarvo1& form = window.form();
    for (auto _ : state) {
        auto captured = capture::CaptureClient(form);
        benchmark::DoNotOptimize(captured.get());
    }
}

void BM_EncodeBitmap(benchmark::State& state)
{
    HeadlessMainWindow window;
    auto const picture = capture::CaptureClient(window.form());
    if (!picture || !picture->pixels()) {
        state.SkipWithError("the capture made no picture");
        return;
    }
    forms::Surface const& pixels = *picture->pixels();

    // The floor: as many bytes as the file has, copied once.
    std::vector<std::uint8_t> const source(forms::encode_bmp(pixels).size(), 0x5a);
    std::vector<std::uint8_t> target(source.size());
    double const copy_ns = nanoseconds_per_call([&] {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    });

    auto const start = Clock::now();
    for (auto _ : state) {
        auto bytes = forms::encode_bmp(pixels);
        benchmark::DoNotOptimize(bytes.data());
        benchmark::ClobberMemory();
    }
    double const encode_ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count()
        / double(state.iterations());

    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(source.size()));
    state.counters["memcpy_us"] = copy_ns / 1e3;
    state.counters["memcpy_ratio"] = encode_ns / copy_ns;
    state.SetLabel("target: memcpy_ratio <= 3");
}

}

BENCHMARK(BM_CaptureAndSave)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CaptureClient)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncodeBitmap)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
