#pragma once

// The text port on Qt: label and button captions in one fixed font, drawn
// into the runtime's surfaces, and the system colours from the application's
// palette. Nothing here touches a window.

#include "forms/host.h"

#include <QFont>

#include <optional>

namespace forms::qt {

// The face every text is drawn in, shipped by fonts-dejavu-core, so that text
// looks the same on every machine.
inline constexpr char const* text_font_file = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class QtText : public TextPort {
public:
    Rgb system_colour(std::uint32_t index) const override;
    void draw_text(Surface& target, Rect box, std::string_view text, Rgb colour, Alignment alignment) override;
    int text_line_height() const override;

    // The one font every text is drawn in.
    QFont const& text_font() const;
    // Whether that font came from its file; text falls back to the desktop's
    // face otherwise, whose lines no longer fit the label boxes.
    bool font_loaded() const;
    // Whether the file was found among the desktop's fonts rather than added.
    bool font_from_desktop() const;

private:
    mutable std::optional<QFont> m_font;
    mutable bool m_font_loaded { false };
    mutable bool m_font_from_desktop { false };
};

}
