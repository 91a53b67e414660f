#include "qt_text.h"

#include "qt_convert.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include <cstring>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

namespace forms::qt {

namespace {

// A little under 8 points at 96 dpi: the stored label boxes were sized for a
// narrower face, and at 11 pixels "Choose a color:" no longer fits its 81.
constexpr int text_pixel_size = 10;

constexpr char const* text_font_family = "DejaVu Sans";

// Whether the desktop's fonts hold the file as the one regular upright face
// of its family. The font is then taken from there, as the desktop's own fonts
// are: adding the file again has fontconfig read the whole face, at every
// start. Either way the toolkit draws from the same file with the same
// settings; when another file could stand in for it, the file is added, and
// that always wins.
bool desktop_has_font_file()
{
    if (::access(text_font_file, R_OK) != 0)
        return false;
    FcPattern* pattern = FcPatternBuild(nullptr, FC_FAMILY, FcTypeString, text_font_family, FC_WEIGHT, FcTypeInteger,
        FC_WEIGHT_REGULAR, FC_SLANT, FcTypeInteger, FC_SLANT_ROMAN, FC_WIDTH, FcTypeInteger, FC_WIDTH_NORMAL, nullptr);
    FcObjectSet* wanted = FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr);
    FcFontSet* fonts = pattern && wanted ? FcFontList(nullptr, pattern, wanted) : nullptr;
    bool only_the_file = fonts && fonts->nfont > 0;
    for (int i = 0; only_the_file && i < fonts->nfont; ++i) {
        FcChar8* file = nullptr;
        int index = 0;
        only_the_file = FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file) == FcResultMatch
            && std::strcmp(reinterpret_cast<char const*>(file), text_font_file) == 0
            && FcPatternGetInteger(fonts->fonts[i], FC_INDEX, 0, &index) == FcResultMatch && index == 0;
    }
    if (fonts)
        FcFontSetDestroy(fonts);
    if (wanted)
        FcObjectSetDestroy(wanted);
    if (pattern)
        FcPatternDestroy(pattern);
    return only_the_file;
}

}

Rgb QtText::system_colour(std::uint32_t index) const
{
    QPalette const palette = QApplication::palette();
    auto role = [&](QPalette::ColorRole r) { return rgb_from(palette.color(QPalette::Active, r)); };
    switch (index) {
    case 0: // scroll bar
    case 15: // button face
    case 10: // active border
    case 11: // inactive border
        return role(QPalette::Button);
    case 1: // desktop
    case 12: // application workspace
    case 16: // button shadow
        return role(QPalette::Mid);
    case 2: // active caption
    case 13: // highlight
    case 27: // gradient active caption
    case 29: // menu highlight
        return role(QPalette::Highlight);
    case 3: // inactive caption
    case 28: // gradient inactive caption
        return role(QPalette::Midlight);
    case 4: // menu
    case 30: // menu bar
        return role(QPalette::Window);
    case 5: // window
        return role(QPalette::Base);
    case 6: // window frame
    case 21: // 3D dark shadow
        return role(QPalette::Shadow);
    case 7: // menu text
    case 8: // window text
        return role(QPalette::WindowText);
    case 9: // caption text
    case 14: // highlighted text
        return role(QPalette::HighlightedText);
    case 17: // grey text
        return rgb_from(palette.color(QPalette::Disabled, QPalette::Text));
    case 18: // button text
        return role(QPalette::ButtonText);
    case 19: // inactive caption text
        return role(QPalette::Text);
    case 20: // button highlight
        return role(QPalette::Light);
    case 22: // 3D light
        return role(QPalette::Midlight);
    case 23: // tooltip text
        return role(QPalette::ToolTipText);
    case 24: // tooltip ground
        return role(QPalette::ToolTipBase);
    case 26: // hot-tracked item
        return role(QPalette::Link);
    default:
        return role(QPalette::Window);
    }
}

int QtText::text_line_height() const
{
    return QFontMetrics(text_font()).height();
}

QFont const& QtText::text_font() const
{
    if (!m_font) {
        QString family;
        if (desktop_has_font_file()) {
            family = QString::fromLatin1(text_font_family);
            m_font_from_desktop = true;
        } else if (int const id = QFontDatabase::addApplicationFont(QString::fromLatin1(text_font_file)); id >= 0) {
            QStringList const families = QFontDatabase::applicationFontFamilies(id);
            if (!families.isEmpty())
                family = families.first();
        }
        m_font_loaded = !family.isEmpty();
        QFont font = family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont) : QFont(family);
        font.setPixelSize(text_pixel_size);
        font.setWeight(QFont::Normal);
        font.setStyle(QFont::StyleNormal);
        // Fixed rather than taken from the desktop's font settings, so that the
        // same text gives the same pixels everywhere.
        font.setHintingPreference(QFont::PreferFullHinting);
        font.setStyleStrategy(QFont::NoAntialias);
        font.setKerning(false);
        m_font = font;
    }
    return *m_font;
}

bool QtText::font_loaded() const
{
    text_font();
    return m_font_loaded;
}

bool QtText::font_from_desktop() const
{
    text_font();
    return m_font_from_desktop;
}

void QtText::draw_text(Surface& target, Rect box, std::string_view text, Rgb colour, Alignment alignment)
{
    Rect const clip = box.intersected(target.rect());
    if (clip.is_empty() || text.empty())
        return;
    QImage image = wrap_surface(target);
    QPainter painter(&image);
    painter.setClipRect(to_qrect(clip));
    painter.setFont(text_font());
    painter.setPen(QColor(colour.r, colour.g, colour.b));
    int flags = Qt::AlignTop | Qt::TextWordWrap;
    switch (alignment) {
    case Alignment::Left:
        flags |= Qt::AlignLeft;
        break;
    case Alignment::Right:
        flags |= Qt::AlignRight;
        break;
    case Alignment::Centre:
        flags |= Qt::AlignHCenter;
        break;
    }
    painter.drawText(to_qrect(box), flags, to_qstring(text));
}

}
