#pragma once

#include "board/tarvo1.h"
#include "forms/form.h"
#include "forms/gdi.h"
#include "forms/host.h"
#include "forms/runtime.h"
#include "help/help_windows.h"

#include <chrono>
#include <cstdint>

// The main window loaded and shown on a host with no desktop, as at launch;
// everything forgotten again when it goes, so each benchmark starts fresh.
class HeadlessMainWindow {
public:
    HeadlessMainWindow()
    {
        forget_everything();
        forms::Runtime::the().set_host(&m_host);
        forms::Runtime::the().dispatch([] { forms::must(board::tarvo1->set_Visible(true)); });
    }
    ~HeadlessMainWindow()
    {
        forget_everything();
        forms::Runtime::the().set_host(nullptr);
    }
    HeadlessMainWindow(HeadlessMainWindow const&) = delete;
    HeadlessMainWindow& operator=(HeadlessMainWindow const&) = delete;

    board::Tarvo1& form() { return board::tarvo1.get(); }

    static forms::Control& socket(int index)
    {
        return *forms::must(board::tarvo1->element("Image2", std::int16_t(index)));
    }

private:
    static void forget_everything()
    {
        forms::Runtime::the().reset();
    }

    forms::Host m_host;
};

// Nanoseconds a call of `work` takes, from enough calls to fill `span`: the
// bound that a benchmark reports its own time against.
template<typename Work>
double nanoseconds_per_call(Work&& work, std::chrono::milliseconds span = std::chrono::milliseconds(200))
{
    using Clock = std::chrono::steady_clock;
    for (int i = 0; i < 100; ++i)
        work();
    std::int64_t calls = 0;
    auto const start = Clock::now();
    auto now = start;
    do {
        for (int i = 0; i < 100; ++i)
            work();
        calls += 100;
        now = Clock::now();
    } while (now - start < span);
    return std::chrono::duration<double, std::nano>(now - start).count() / double(calls);
}
