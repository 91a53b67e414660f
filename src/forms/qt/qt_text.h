#pragma once

// The text port on Qt: label and button captions in one fixed font, drawn
// into the runtime's surfaces, and the system colours from the application's
// palette. Nothing here touches a window.

#include "forms/host.h"

#include <QFont>

#include <optional>

namespace forms::qt {

class QtText : public TextPort {
public:
    Rgb system_colour(std::uint32_t index) const override;
    void draw_text(Surface& target, Rect box, std::string_view text, Rgb colour, Alignment alignment) override;
    int text_line_height() const override;

    // The one font every text is drawn in.
    QFont const& text_font() const;

private:
    mutable std::optional<QFont> m_font;
};

}
