#include "tarvo1.h"

#include "capture/commands.h"
#include "help/help_windows.h"

#include <array>

namespace board {

forms::Instance<Tarvo1> tarvo1;

namespace {

// The image whose picture a clicked socket takes, by colour code.
constexpr std::array<char const*, 9> source_images {
    "clear2", "blue2", "cyan2", "green2", "yellow2", "orange2", "red2", "purple2", "none2",
};

struct Choice {
    char const* control;
    std::int16_t code;
};

// Every control whose click chooses a colour, with the code it stores.
constexpr std::array<Choice, 19> colour_choices { {
    { "clear1", colour_codes::white },
    { "blue1", colour_codes::blue },
    { "cyan1", colour_codes::cyan },
    { "green1", colour_codes::green },
    { "yellow1", colour_codes::yellow },
    { "orange1", colour_codes::orange },
    { "red1", colour_codes::red },
    { "purple1", colour_codes::purple },
    { "none1", colour_codes::none },
    { "clear2", colour_codes::white },
    { "blue2", colour_codes::blue },
    { "cyan2", colour_codes::cyan },
    { "green2", colour_codes::green },
    { "yellow2", colour_codes::yellow },
    { "orange2", colour_codes::orange },
    { "red2", colour_codes::red },
    { "purple2", colour_codes::purple },
    { "Image3", colour_codes::none },
    { "Label2", colour_codes::none },
} };

}

Tarvo1::Tarvo1()
    : forms::Form(tarvo1_description())
{
    bind_colour_handlers();
    on_array_click("Image2", [this](std::int16_t index) { Image2_Click(index); });
    on_click("cleanup1", [this] { cleanup1_Click(); });
    on_click("Image4", [this] { Image4_Click(); });
    on_click("Label3", [this] { Label3_Click(); });
    on_click("exit1", [this] { exit1_Click(); });
    on_click("save1", [this] { save1_Click(); });
    on_click("print1", [this] { print1_Click(); });
    on_click("how1", [this] { how1_Click(); });
    on_click("about1", [this] { about1_Click(); });
}

void Tarvo1::bind_colour_handlers()
{
    for (auto const& choice : colour_choices)
        on_click(choice.control, [this, code = choice.code] { ColorIt = code; });
}

void Tarvo1::Form_Load()
{
    ColorIt = colour_codes::blue;
}

void Tarvo1::Form_Unload(std::int16_t& Cancel)
{
    (void)Cancel;
    shut_down();
}

void Tarvo1::exit1_Click()
{
    shut_down();
}

// Help windows first, then this one; the main window's own unload, when it is
// already under way, changes nothing.
void Tarvo1::shut_down()
{
    forms::must(help::Form1->Unload());
    forms::must(help::Form2->Unload());
    forms::must(Unload());
}

void Tarvo1::Image2_Click(std::int16_t Index)
{
    std::int16_t code = ColorIt;
    char const* source = nullptr;
    for (std::int16_t candidate = 0; candidate <= colour_codes::none; ++candidate) {
        if (code == candidate) {
            source = source_images[std::size_t(candidate)];
            break;
        }
    }
    if (!source)
        return;
    auto* socket = forms::must(element("Image2", Index));
    auto picture = forms::must(control(source).Picture());
    forms::must(socket->set_Picture(std::move(picture)));
}

void Tarvo1::clear_board()
{
    for (std::int16_t i = 0; i <= socket_count - 1; ++i) {
        auto* socket = forms::must(element("Image2", i));
        auto picture = forms::must(control("none2").Picture());
        forms::must(socket->set_Picture(std::move(picture)));
    }
}

void Tarvo1::cleanup1_Click() { clear_board(); }
void Tarvo1::Image4_Click() { clear_board(); }
void Tarvo1::Label3_Click() { clear_board(); }

void Tarvo1::save1_Click() { capture::save_command(*this); }
void Tarvo1::print1_Click() { capture::print_command(*this); }

void Tarvo1::how1_Click() { forms::must(help::Form1->set_Visible(true)); }
void Tarvo1::about1_Click() { forms::must(help::Form2->set_Visible(true)); }

}
