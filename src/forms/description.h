#pragma once

#include "colour.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace forms {

// Stored bytes of a picture: a 24-bit Windows bitmap file, or an icon file.
using StoredBytes = std::span<std::uint8_t const>;

enum class ControlKind {
    Image,
    Label,
    CommandButton,
    CommonDialog,
};

enum class Alignment {
    Left,
    Right,
    Centre,
};

// One control of a window description. Places and sizes are in twips from the
// top-left corner of the client area.
struct ControlDesc {
    ControlKind kind { ControlKind::Image };
    std::string name;
    std::int16_t index { -1 }; // an element of a control array when >= 0
    int left { 0 };
    int top { 0 };
    int width { 0 };
    int height { 0 };
    std::string caption;
    StoredBytes picture {};
    Colour fore { Colour::system(system_colours::button_text) };
    Colour back { Colour::system(system_colours::button_face) };
    Alignment alignment { Alignment::Left };
    bool visible { true };
    bool graphical { false }; // a button drawn in its back colour
};

struct MenuDesc {
    std::string name;
    std::string caption; // "&" marks the access letter
    std::string shortcut; // "Ctrl+S", "F1", or empty
    bool checked { false };
    std::vector<MenuDesc> children;
};

enum class StartPosition {
    Manual,
    WindowsDefault,
};

// The stored layout of one window. Controls are in stacking order, topmost first.
struct WindowDesc {
    std::string name;
    std::string caption;
    int client_width { 0 };
    int client_height { 0 };
    Colour back { Colour::rgb(0, 0, 0) };
    StoredBytes icon {};
    StartPosition start { StartPosition::WindowsDefault };
    int left { 0 };
    int top { 0 };
    std::vector<ControlDesc> controls;
    std::vector<MenuDesc> menu;
};

// Builders for the two kinds of control that every window description is made of.
inline ControlDesc image_desc(std::string name, int left, int top, int width, int height, StoredBytes picture)
{
    ControlDesc desc;
    desc.kind = ControlKind::Image;
    desc.name = std::move(name);
    desc.left = left;
    desc.top = top;
    desc.width = width;
    desc.height = height;
    desc.picture = picture;
    return desc;
}

inline ControlDesc label_desc(std::string name, int left, int top, int width, int height, std::string caption,
    Colour fore, Colour back, Alignment alignment = Alignment::Left)
{
    ControlDesc desc;
    desc.kind = ControlKind::Label;
    desc.name = std::move(name);
    desc.left = left;
    desc.top = top;
    desc.width = width;
    desc.height = height;
    desc.caption = std::move(caption);
    desc.fore = fore;
    desc.back = back;
    desc.alignment = alignment;
    return desc;
}

}
