#pragma once

#include "board/tarvo1.h"
#include "forms/form.h"
#include "forms/gdi.h"
#include "forms/host.h"
#include "forms/runtime.h"
#include "help/help_windows.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

// One stand-in a port, each remembering what the runtime asked of it.
struct RecordingWindows : forms::WindowPort {
    struct Presented {
        std::string window;
        forms::Rect area;
    };
    void create_window(forms::Form& form) override { created.push_back(form.name()); }
    void destroy_window(forms::Form& form) override { destroyed.push_back(form.name()); }
    void show_window(forms::Form& form, bool visible) override { shown.push_back(form.name() + (visible ? "+" : "-")); }
    void present(forms::Form& form, forms::Rect area) override { presented.push_back({ form.name(), area }); }

    std::vector<std::string> created, destroyed, shown;
    std::vector<Presented> presented;
};

struct RecordingApplication : forms::ApplicationPort {
    void message_box(std::string_view caption, std::string_view text) override
    {
        messages.push_back(std::string(caption) + "|" + std::string(text));
    }
    void quit(int status) override { quits.push_back(status); }

    std::vector<std::string> messages;
    std::vector<int> quits;
};

// The fixed colour scheme with the colours of `scheme` in place of its own.
struct SchemeText : forms::TextPort {
    forms::Rgb system_colour(std::uint32_t index) const override
    {
        if (auto it = scheme.find(index); it != scheme.end())
            return it->second;
        return forms::TextPort::system_colour(index);
    }

    std::map<std::uint32_t, forms::Rgb> scheme;
};

struct MemoryClipboard : forms::ClipboardPort {
    forms::ErrorOr<void> clipboard_clear() override
    {
        ++clipboard_clears;
        clipboard.reset();
        return {};
    }
    forms::ErrorOr<void> clipboard_set_image(forms::Surface const& pixels) override
    {
        clipboard = std::make_shared<forms::Surface>(pixels);
        return {};
    }
    forms::ErrorOr<std::shared_ptr<forms::Surface>> clipboard_image() override
    {
        if (!clipboard)
            return std::shared_ptr<forms::Surface> {};
        return std::make_shared<forms::Surface>(*clipboard);
    }

    std::shared_ptr<forms::Surface> clipboard;
    int clipboard_clears { 0 };
};

// Each showing of the file dialog takes the next answer; "" is Cancel.
struct ScriptedSaveDialog : forms::SaveDialogPort {
    forms::ErrorOr<std::string> show_save_dialog(forms::Form&, forms::FileDialogRequest const& request) override
    {
        dialog_requests.push_back(request);
        if (dialog_answers.empty())
            return std::string {};
        auto answer = dialog_answers.front();
        dialog_answers.pop_front();
        return answer;
    }

    std::deque<std::string> dialog_answers;
    std::vector<forms::FileDialogRequest> dialog_requests;
};

// A host with no desktop made of those stand-ins; no printer.
class RecordingHost : public forms::Host
    , public RecordingWindows
    , public RecordingApplication
    , public SchemeText
    , public MemoryClipboard
    , public ScriptedSaveDialog {
public:
    RecordingHost()
    {
        set_windows(this);
        set_application(this);
        set_text(this);
        set_clipboard(this);
        set_save_dialog(this);
    }
    using MemoryClipboard::clipboard;
    RecordingHost(RecordingHost const&) = delete;
    RecordingHost& operator=(RecordingHost const&) = delete;
};

// Every test starts as a new run of the program would: no window, no handle.
class FreshRuntime : public ::testing::Test {
protected:
    void SetUp() override
    {
        forget_everything();
        forms::Runtime::the().set_host(&host);
    }
    void TearDown() override
    {
        forget_everything();
        forms::Runtime::the().set_host(nullptr);
    }
    static void forget_everything()
    {
        forms::Runtime::the().reset();
    }

    // Starts the program: the main window loaded and shown, as at launch.
    board::Tarvo1& start()
    {
        forms::Runtime::the().dispatch([] { forms::must(board::tarvo1->set_Visible(true)); });
        host.presented.clear();
        return board::tarvo1.get();
    }

    static forms::Control& socket(int index)
    {
        return *forms::must(board::tarvo1->element("Image2", std::int16_t(index)));
    }

    // The centre pixel of a socket's own 20 x 20 square.
    static void click_socket(int index)
    {
        int x = 20 + 20 * (index % 28) + 10, y = 20 + 20 * (index / 28) + 10;
        forms::Runtime::the().mouse_click(board::tarvo1.get(), x, y);
    }

    static void click_control(std::string_view name)
    {
        auto& control = board::tarvo1->control(name);
        auto r = control.rect();
        forms::Runtime::the().mouse_click(board::tarvo1.get(), r.x + 5, r.y + 5);
    }

    static void menu(std::string_view entry) { forms::Runtime::the().menu_click(board::tarvo1.get(), entry); }

    RecordingHost host;
};
