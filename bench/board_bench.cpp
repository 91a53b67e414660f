// Board events from the runtime's entry point to the recomposed surface: the
// dispatch composes the dirty area before it returns. Each is reported next to
// copying the pixels it changes with memcpy, row by row as they lie in the
// client surface.

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>

namespace {

constexpr int socket_pitch = 20;
constexpr int board_left = 20, board_top = 20;

// The pixels of `area` copied from one client-sized surface to another.
double memcpy_nanoseconds(forms::Rect area)
{
    forms::Surface source(600, 380, { 0x12, 0x34, 0x56 }), target(600, 380);
    return nanoseconds_per_call([&] {
        for (int y = area.y; y < area.bottom(); ++y)
            std::memcpy(target.row(y) + area.x * 3, source.row(y) + area.x * 3, std::size_t(area.width) * 3);
        benchmark::ClobberMemory();
    });
}

template<typename Loop>
double timed_loop_nanoseconds(benchmark::State& state, Loop&& loop)
{
    auto const start = std::chrono::steady_clock::now();
    loop();
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count()
        / double(state.iterations());
}

void BM_SocketClick(benchmark::State& state)
{
    HeadlessMainWindow window;
    board::Tarvo1& form = window.form();
    auto& runtime = forms::Runtime::the();
    double const copy_ns = memcpy_nanoseconds(HeadlessMainWindow::socket(0).rect());
    auto const blue = forms::must(form.control("blue2").Picture());

    int index = 0;
    double const click_ns = timed_loop_nanoseconds(state, [&] {
        for (auto _ : state) {
            // Round the board, so every click changes a socket it did not just change.
            int const x = board_left + socket_pitch * (index % board::board_columns) + socket_pitch / 2;
            int const y = board_top + socket_pitch * (index / board::board_columns) + socket_pitch / 2;
            index = (index + 1) % board::socket_count;
            runtime.mouse_click(form, x, y);
            benchmark::DoNotOptimize(form.surface().data());
            benchmark::ClobberMemory();
        }
    });

    // The first click of every run goes to socket 0.
    if (HeadlessMainWindow::socket(0).held_picture() != blue || !form.dirty().is_empty())
        state.SkipWithError("a click did not place the bulb and compose it");
    state.counters["memcpy_ns"] = copy_ns;
    state.counters["memcpy_ratio"] = click_ns / copy_ns;
    state.SetLabel("target: under 20 us");
}

void BM_ClearFullBoard(benchmark::State& state)
{
    HeadlessMainWindow window;
    board::Tarvo1& form = window.form();
    auto& runtime = forms::Runtime::the();
    auto const blue = forms::must(form.control("blue2").Picture());
    forms::Rect board_area = HeadlessMainWindow::socket(0).rect();
    for (int i = 1; i < board::socket_count; ++i)
        board_area = board_area.united(HeadlessMainWindow::socket(i).rect());
    double const copy_ns = memcpy_nanoseconds(board_area);

    // The refill between clears is left out of the benchmark's time and of this one.
    double clear_ns = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < board::socket_count; ++i)
            forms::must(HeadlessMainWindow::socket(i).set_Picture(blue));
        form.compose_dirty();
        state.ResumeTiming();

        auto const start = std::chrono::steady_clock::now();
        runtime.menu_click(form, "cleanup1");
        benchmark::DoNotOptimize(form.surface().data());
        benchmark::ClobberMemory();
        clear_ns += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    }
    clear_ns /= double(state.iterations());
    auto const empty = forms::must(form.control("none2").Picture());
    for (int i = 0; i < board::socket_count; ++i) {
        if (HeadlessMainWindow::socket(i).held_picture() != empty || !form.dirty().is_empty()) {
            state.SkipWithError("the clear did not empty the board and compose it");
            return;
        }
    }

    state.counters["memcpy_us"] = copy_ns / 1e3;
    state.counters["memcpy_ratio"] = clear_ns / copy_ns;
    state.counters["board_px"] = double(board_area.width) * double(board_area.height);
    state.SetLabel("target: under 1000 us");
}

}

BENCHMARK(BM_SocketClick)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClearFullBoard)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
