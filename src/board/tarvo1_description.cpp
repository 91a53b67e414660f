#include "tarvo1.h"

#include "pictures/stored.h"

namespace board {

using forms::Colour;
using forms::ControlDesc;
using forms::ControlKind;

namespace {

ControlDesc image(std::string name, int left, int top, int width, int height, char const* picture)
{
    return forms::image_desc(std::move(name), left, top, width, height, pictures::stored(picture));
}

ControlDesc label(std::string name, int left, int top, int width, int height, std::string caption, Colour fore)
{
    return forms::label_desc(std::move(name), left, top, width, height, std::move(caption), fore, Colour::rgb(0, 0, 0));
}

forms::MenuDesc entry(std::string name, std::string caption, std::string shortcut = {})
{
    return { std::move(name), std::move(caption), std::move(shortcut), false, {} };
}

}

forms::WindowDesc tarvo1_description()
{
    forms::WindowDesc window;
    window.name = "tarvo1";
    window.caption = "Zorvane";
    window.client_width = 9000;
    window.client_height = 5700;
    window.back = Colour::rgb(0, 0, 0);
    window.icon = pictures::stored("icon.ico");
    window.start = forms::StartPosition::WindowsDefault;
    window.left = 1530;
    window.top = 1920;

    auto selected_text = Colour::system(forms::system_colours::highlight_text);
    auto& controls = window.controls;
    // Fifteen controls around the board, its sockets and the background: sized
    // once, as the hundreds of descriptions are built at every start.
    controls.reserve(15 + std::size_t(socket_count) + 1);

    ControlDesc dialog;
    dialog.kind = ControlKind::CommonDialog;
    dialog.name = "CommonDialog1";
    dialog.left = 7470;
    dialog.top = 5310;
    dialog.visible = false;
    controls.push_back(dialog);

    controls.push_back(image("Image4", 6500, 5400, 300, 300, "clear_screen.bmp"));
    controls.push_back(label("Label3", 5400, 5430, 1215, 315, "Clear Screen:", selected_text));
    auto none2 = image("none2", 8250, 5400, 315, 315, "empty_socket.bmp");
    none2.visible = false; // holds the empty-socket picture; never seen, never clicked
    controls.push_back(none2);
    controls.push_back(image("Image3", 4800, 5400, 300, 300, "eraser.bmp"));
    controls.push_back(label("Label2", 4230, 5433, 615, 315, "Erase:", selected_text));
    controls.push_back(label("Label1", 270, 5433, 1215, 225, "Choose a color:", Colour::rgb(255, 255, 255)));
    controls.push_back(image("clear2", 3600, 5400, 300, 300, "bulb_white.bmp"));
    controls.push_back(image("purple2", 3300, 5400, 300, 300, "bulb_purple.bmp"));
    controls.push_back(image("red2", 3000, 5400, 300, 300, "bulb_red.bmp"));
    controls.push_back(image("orange2", 2700, 5400, 300, 300, "bulb_orange.bmp"));
    controls.push_back(image("yellow2", 2400, 5400, 300, 300, "bulb_yellow.bmp"));
    controls.push_back(image("green2", 2100, 5400, 300, 300, "bulb_green.bmp"));
    controls.push_back(image("cyan2", 1800, 5400, 300, 300, "bulb_cyan.bmp"));
    controls.push_back(image("blue2", 1500, 5400, 300, 300, "bulb_blue.bmp"));

    // The board: a higher index lies above its lower neighbours, so the array is
    // stored from the last socket to the first.
    for (int i = socket_count - 1; i >= 0; --i) {
        int column = i % board_columns, row = i / board_columns;
        auto socket = image("Image2", 300 + 300 * column, 300 + 300 * row, 315, 315, "empty_socket.bmp");
        socket.index = std::int16_t(i);
        controls.push_back(socket);
    }

    controls.push_back(image("Image1", 0, 0, 9000, 5400, "background.bmp"));

    forms::MenuDesc file = entry("file1", "&File");
    file.children = { entry("save1", "&Save", "Ctrl+S"), entry("print1", "&Print", "Ctrl+P"),
        entry("exit1", "&Exit", "Ctrl+X") };

    forms::MenuDesc colours = entry("bulbcolor1", "&Bulb Color");
    colours.children = { entry("clear1", "&White", "F1"), entry("blue1", "&Blue", "F2"),
        entry("cyan1", "&Cyan", "F3"), entry("green1", "&Green", "F4"), entry("yellow1", "&Yellow", "F5"),
        entry("orange1", "&Orange", "F6"), entry("red1", "&Red", "F7"), entry("purple1", "&Purple", "F8"),
        entry("none1", "&None", "F9") };
    colours.children[1].checked = true;

    forms::MenuDesc help = entry("help1", "&Help");
    help.children = { entry("how1", "&How To Play", "Ctrl+H"), entry("about1", "&About Quindle", "Ctrl+A") };

    window.menu = { file, colours, entry("cleanup1", "&Clear Screen"), help };
    return window;
}

}
