// Composing the whole client area of the main window from its controls, as a
// full repaint does: the background, 448 sockets, the palette and the labels.

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace {

void BM_ComposeClientArea(benchmark::State& state)
{
    HeadlessMainWindow window;
    board::Tarvo1& form = window.form();
    forms::Rect const all = form.surface().rect();

    // The floor: the same bytes copied once, as from one finished image.
    std::vector<std::uint8_t> source(form.surface().size_in_bytes(), 0x5a), target(source.size());
    double const copy_ns = nanoseconds_per_call([&] {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    });

    auto const start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        form.compose(all);
        benchmark::DoNotOptimize(form.surface().data());
        benchmark::ClobberMemory();
    }
    double const compose_ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count()
        / double(state.iterations());

    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(form.surface().size_in_bytes()));
    state.counters["memcpy_us"] = copy_ns / 1e3;
    state.counters["memcpy_ratio"] = compose_ns / copy_ns;
    state.SetLabel("target: under 500 us");
}

}

BENCHMARK(BM_ComposeClientArea)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
