#include "help_windows.h"

#include "pictures/stored.h"

namespace help {

using forms::Colour;
using forms::ControlDesc;
using forms::ControlKind;

forms::Instance<HowToPlay> Form1;
forms::Instance<About> Form2;

namespace {

ControlDesc image(std::string name, int left, int top, int size, char const* picture)
{
    return forms::image_desc(std::move(name), left, top, size, size, pictures::stored(picture));
}

ControlDesc label(std::string name, int left, int top, int width, int height, std::string caption, Colour fore,
    Colour back, forms::Alignment alignment = forms::Alignment::Left)
{
    return forms::label_desc(std::move(name), left, top, width, height, std::move(caption), fore, back, alignment);
}

ControlDesc button(int left, int top, int width, int height, std::string caption, Colour face)
{
    ControlDesc desc;
    desc.kind = ControlKind::CommandButton;
    desc.name = "Command1";
    desc.left = left;
    desc.top = top;
    desc.width = width;
    desc.height = height;
    desc.caption = std::move(caption);
    desc.back = face;
    desc.fore = Colour::system(forms::system_colours::button_text);
    desc.graphical = true;
    return desc;
}

forms::WindowDesc window(std::string name, std::string caption, int width, int height, Colour back)
{
    forms::WindowDesc desc;
    desc.name = std::move(name);
    desc.caption = std::move(caption);
    desc.client_width = width;
    desc.client_height = height;
    desc.back = back;
    desc.icon = pictures::stored("icon.ico");
    desc.start = forms::StartPosition::WindowsDefault;
    return desc;
}

}

forms::WindowDesc form1_description()
{
    auto white = Colour::rgb(255, 255, 255), black = Colour::rgb(0, 0, 0);
    auto desc = window("Form1", "How To Play", 3225, 4380, black);
    desc.controls = {
        image("Image1", 90, 210, 300, "bulb_green.bmp"),
        label("Label1", 525, 165, 2535, 420, "Choose a color bulb from the set at the bottom of the screen.", white, black),
        image("Image2", 90, 735, 300, "bulb_blue.bmp"),
        label("Label2", 525, 705, 2670, 420, "Click on the main screen to place bulb.", white, black),
        image("Image3", 90, 1290, 300, "eraser.bmp"),
        label("Label3", 525, 1245, 2415, 450, "Click the eraser at the bottom of the screen to remove bulbs.", white,
            Colour::system(forms::system_colours::button_text)),
        image("Image4", 90, 1920, 300, "clear_screen.bmp"),
        label("Label4", 525, 1815, 2325, 630,
            "Click the clear screen icon at the bottom of the screen to clear the entire main screen", white, black),
        label("Label5", 525, 2565, 2355, 615,
            "Choose Save from the File menu to save a BMP picture of your creation", white, black),
        label("Label6", 525, 3300, 2385, 450, "Choose Print from the File menu to print a copy of your creation.",
            Colour::system(forms::system_colours::highlight_text), black),
        button(705, 3885, 1845, 390, "OK, I got it!", Colour::rgb(0, 255, 0)),
    };
    return desc;
}

forms::WindowDesc form2_description()
{
    auto white = Colour::rgb(255, 255, 255);
    auto text = Colour::system(forms::system_colours::button_text);
    auto desc = window("Form2", "About Zorvane", 3105, 2250, white);
    desc.controls = {
        button(165, 1635, 1455, 510, "OK, Bye Now!", Colour::rgb(255, 192, 255)),
        label("Label3", 195, 885, 2700, 390, "\"we have a dog that can read minds\"", text, white),
        label("Label2", 390, 390, 2310, 495, "Contact: zorvane@example.com", text, white, forms::Alignment::Centre),
        label("Label1", 540, 60, 2025, 300, "This is version 1.0", text, white, forms::Alignment::Centre),
        image("Image1", 2085, 1245, 1080, "about.bmp"),
    };
    return desc;
}

HowToPlay::HowToPlay()
    : forms::Form(form1_description())
{
    on_click("Command1", [this] { Command1_Click(); });
}

void HowToPlay::Command1_Click()
{
    forms::must(Form1->set_Visible(false));
}

About::About()
    : forms::Form(form2_description())
{
    on_click("Command1", [this] { Command1_Click(); });
}

void About::Command1_Click()
{
    forms::must(Form2->set_Visible(false));
}

}
