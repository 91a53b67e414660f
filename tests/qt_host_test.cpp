#include "forms/bmp.h"
#include "forms/form.h"
#include "forms/qt/qt_save_dialog.h"
#include "forms/qt/qt_host.h"
#include "forms/runtime.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPalette>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using forms::Alignment;
using forms::ControlDesc;
using forms::ControlKind;
using forms::MenuDesc;
using forms::Rect;
using forms::Rgb;
using forms::Runtime;
using forms::Surface;
using forms::WindowDesc;
using forms::qt::QtHost;

namespace {

MenuDesc entry(std::string name, std::string caption, std::string shortcut = {}, bool checked = false)
{
    return { std::move(name), std::move(caption), std::move(shortcut), checked, {} };
}

MenuDesc submenu(std::string name, std::string caption, std::vector<MenuDesc> children)
{
    return { std::move(name), std::move(caption), {}, false, std::move(children) };
}

ControlDesc label(std::string name, Rect twips, std::string caption)
{
    ControlDesc desc;
    desc.kind = ControlKind::Label;
    desc.name = std::move(name);
    desc.left = twips.x;
    desc.top = twips.y;
    desc.width = twips.width;
    desc.height = twips.height;
    desc.caption = std::move(caption);
    desc.fore = forms::Colour::rgb(255, 255, 255);
    desc.back = forms::Colour::rgb(0, 0, 128);
    return desc;
}

ControlDesc button(std::string name, Rect twips, std::string caption)
{
    ControlDesc desc = label(std::move(name), twips, std::move(caption));
    desc.kind = ControlKind::CommandButton;
    desc.fore = forms::Colour::rgb(0, 0, 0);
    desc.back = forms::Colour::rgb(0, 255, 0);
    desc.graphical = true;
    return desc;
}

// A window of 200 x 100 pixels: a label at the top left, a button below right
// of it, and the main window's kind of menu tree.
WindowDesc test_window(bool with_menu = true)
{
    WindowDesc desc;
    desc.name = "Probe";
    desc.caption = "Probe Window";
    desc.client_width = 3000;
    desc.client_height = 1500;
    desc.back = forms::Colour::rgb(40, 40, 40);
    desc.controls.push_back(button("Command1", { 1500, 750, 1500, 450 }, "OK"));
    desc.controls.push_back(label("Label1", { 0, 0, 1500, 750 }, "Hello there"));
    if (with_menu) {
        desc.menu = {
            submenu("file1", "&File", { entry("save1", "&Save", "Ctrl+S"), entry("print1", "&Print", "Ctrl+P"), entry("exit1", "&Exit", "Ctrl+X") }),
            submenu("bulbcolor1", "&Bulb Color", { entry("clear1", "&White", "F1"), entry("blue1", "&Blue", "F2", true), entry("red1", "&Red", "F7") }),
            entry("cleanup1", "&Clear Screen"),
            submenu("help1", "&Help", { entry("how1", "&How To Play", "Ctrl+H"), entry("about1", "&About", "Ctrl+A") }),
        };
    }
    return desc;
}

class ProbeForm : public forms::Form {
public:
    explicit ProbeForm(WindowDesc desc)
        : Form(std::move(desc))
    {
        for (char const* name : { "save1", "blue1", "red1", "cleanup1", "Label1", "Command1" })
            on_click(name, [this, name = std::string(name)] { clicks.push_back(name); });
    }
    std::vector<std::string> clicks;
};

// Remembers what the windows hand to the runtime, and passes it on when asked to.
class WatchingWindows : public forms::qt::QtWindows {
public:
    void deliver_mouse_click(forms::Form& form, int x, int y) override
    {
        events.push_back("click " + std::to_string(x) + "," + std::to_string(y));
        if (forward)
            QtWindows::deliver_mouse_click(form, x, y);
    }
    void deliver_menu_click(forms::Form& form, std::string const& name) override
    {
        events.push_back("menu " + name);
        if (forward)
            QtWindows::deliver_menu_click(form, name);
    }
    void deliver_close(forms::Form& form) override
    {
        events.push_back("close");
        if (forward)
            QtWindows::deliver_close(form);
    }
    void deliver_button(forms::Form& form, std::string const& control) override
    {
        events.push_back("button " + control);
        if (forward)
            QtWindows::deliver_button(form, control);
    }

    bool forward { false };
    std::vector<std::string> events;
};

// The Qt host with its windows watched.
class WatchingHost : public QtHost {
public:
    WatchingHost() { set_windows(&watched); }
    WatchingWindows watched;
};

// Once QCoreApplication::exit has been called, every event loop started later
// returns at once, until the application's own loop has run again.
void settle_after_quit()
{
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QApplication::exec();
}

class QtHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Runtime::the().reset();
        Runtime::the().set_host(&host);
    }
    void TearDown() override
    {
        form.reset();
        Runtime::the().reset();
        Runtime::the().set_host(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (host.qt_application().quit_status())
            settle_after_quit();
    }

    ProbeForm& load(WindowDesc desc = test_window())
    {
        form = std::make_unique<ProbeForm>(std::move(desc));
        Runtime::the().dispatch([this] { forms::must(form->Load()); });
        EXPECT_NE(host.watched.window_of(*form), nullptr);
        return *form;
    }

    QAction* action(char const* name) const { return host.watched.window_of(*form)->findChild<QAction*>(QString::fromLatin1(name)); }

    void press(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton which = Qt::LeftButton)
    {
        Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(which) : Qt::NoButton;
        QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), which, held, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }

    void key(QWidget* target, QEvent::Type type, int which, QString text = {})
    {
        QKeyEvent event(type, which, Qt::NoModifier, text);
        QCoreApplication::sendEvent(target, &event);
    }

    WatchingHost host;
    std::unique_ptr<ProbeForm> form;
};

QStringList texts(QList<QAction*> const& actions)
{
    QStringList list;
    for (auto* action : actions)
        list << action->text();
    return list;
}

// The rows and columns of `surface` inside `area` holding a pixel other than `ground`.
struct Ink {
    std::vector<int> rows;
    int left { -1 };
    int right { -1 };
    bool any() const { return !rows.empty(); }
    // Runs of consecutive inked rows: one per line of text.
    int bands() const
    {
        int count = 0;
        for (std::size_t i = 0; i < rows.size(); ++i)
            count += (i == 0 || rows[i] != rows[i - 1] + 1) ? 1 : 0;
        return count;
    }
};

Ink ink(Surface const& surface, Rect area, Rgb ground)
{
    Ink found;
    for (int y = area.y; y < area.bottom(); ++y) {
        bool row = false;
        for (int x = area.x; x < area.right(); ++x) {
            if (surface.pixel(x, y) == ground)
                continue;
            row = true;
            found.left = found.left < 0 ? x : std::min(found.left, x);
            found.right = std::max(found.right, x);
        }
        if (row)
            found.rows.push_back(y);
    }
    return found;
}

}

// The window around a form: its menu bar, its client area and its input.
using QtHostWindow = QtHostTest;

TEST_F(QtHostWindow, MenuBarFollowsTheDescription)
{
    load();
    QMenuBar* bar = host.watched.menu_bar_of(*form);
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isNativeMenuBar());
    EXPECT_EQ(texts(bar->actions()), (QStringList { "&File", "&Bulb Color", "&Clear Screen", "&Help" }));

    QMenu* file = bar->actions()[0]->menu();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(texts(file->actions()), (QStringList { "&Save", "&Print", "&Exit" }));
    EXPECT_EQ(file->actions()[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(file->actions()[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    EXPECT_EQ(file->actions()[0]->shortcutContext(), Qt::WindowShortcut);

    QMenu* colours = bar->actions()[1]->menu();
    ASSERT_NE(colours, nullptr);
    EXPECT_EQ(texts(colours->actions()), (QStringList { "&White", "&Blue", "&Red" }));
    EXPECT_EQ(colours->actions()[0]->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(colours->actions()[2]->shortcut(), QKeySequence(Qt::Key_F7));

    // A command on the bar itself, not a menu.
    EXPECT_EQ(bar->actions()[2]->menu(), nullptr);
    EXPECT_TRUE(bar->actions()[2]->shortcut().isEmpty());

    QMenu* help = bar->actions()[3]->menu();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->actions()[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
}

TEST_F(QtHostWindow, CheckMarkNeverMoves)
{
    load();
    QAction* blue = action("blue1");
    QAction* red = action("red1");
    ASSERT_NE(blue, nullptr);
    ASSERT_NE(red, nullptr);
    EXPECT_TRUE(blue->isChecked());
    EXPECT_FALSE(red->isCheckable());

    blue->trigger();
    EXPECT_TRUE(blue->isChecked());
    red->trigger();
    EXPECT_TRUE(blue->isChecked());
    EXPECT_FALSE(red->isChecked());
    blue->trigger();
    blue->trigger();
    EXPECT_TRUE(blue->isChecked());
    EXPECT_EQ(host.watched.events, (std::vector<std::string> { "menu blue1", "menu red1", "menu blue1", "menu blue1" }));
}

TEST_F(QtHostWindow, MenuEntriesRunTheirHandlers)
{
    host.watched.forward = true;
    load();
    action("save1")->trigger();
    action("cleanup1")->trigger();
    action("blue1")->trigger();
    // An entry without a handler does nothing.
    action("print1")->trigger();
    EXPECT_EQ(form->clicks, (std::vector<std::string> { "save1", "cleanup1", "blue1" }));
}

TEST_F(QtHostWindow, ClientAreaIsExactlyTheFormsSizeBelowTheMenuBar)
{
    load();
    QWidget* window = host.watched.window_of(*form);
    QWidget* canvas = host.watched.canvas_of(*form);
    QMenuBar* bar = host.watched.menu_bar_of(*form);
    ASSERT_NE(canvas, nullptr);
    EXPECT_EQ(window->windowTitle(), "Probe Window");
    EXPECT_EQ(canvas->objectName(), "client");
    EXPECT_TRUE(canvas->testAttribute(Qt::WA_NativeWindow));
    EXPECT_EQ(canvas->size(), QSize(200, 100));
    EXPECT_GT(bar->height(), 0);

    Rect client = host.watched.client_in_window(*form);
    EXPECT_EQ(client, (Rect { 0, bar->height(), 200, 100 }));
    // Not resizable.
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->size(), QSize(200, 100 + bar->height()));

    Surface frame = host.watched.window_frame(*form);
    EXPECT_EQ(frame.width(), 200);
    EXPECT_EQ(frame.height(), 100 + bar->height());
}

TEST_F(QtHostWindow, WindowWithoutMenuIsAllClientArea)
{
    load(test_window(false));
    EXPECT_EQ(host.watched.menu_bar_of(*form), nullptr);
    EXPECT_EQ(host.watched.client_in_window(*form), (Rect { 0, 0, 200, 100 }));
    EXPECT_EQ(host.watched.window_of(*form)->size(), QSize(200, 100));
}

TEST_F(QtHostWindow, CanvasShowsTheSurfacePixelForPixel)
{
    load();
    ASSERT_EQ(form->surface().width(), 200);
    QImage shown = host.watched.canvas_of(*form)->grab().toImage();
    EXPECT_EQ(shown.size(), QSize(200, 100));
    Surface pixels = forms::Surface(shown.width(), shown.height());
    QImage rgb = shown.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y)
        std::copy_n(rgb.constScanLine(y), pixels.stride(), pixels.row(y));
    EXPECT_TRUE(pixels == form->surface());
}

TEST_F(QtHostWindow, ShowingAndPlacing)
{
    WindowDesc desc = test_window();
    desc.start = forms::StartPosition::Manual;
    desc.left = 1530;
    desc.top = 1920;
    load(desc);
    QWidget* window = host.watched.window_of(*form);
    EXPECT_FALSE(window->isVisible());
    host.watched.show_window(*form, true);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->pos(), QPoint(102, 128));
    host.watched.show_window(*form, false);
    EXPECT_FALSE(window->isVisible());
    host.watched.show_window(*form, true);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(QtHostWindow, IconComesFromTheDescription)
{
    auto icon = forms::encode_ico(Surface(32, 32, Rgb { 42, 0, 0 }));
    WindowDesc desc = test_window();
    desc.icon = icon;
    load(desc);
    QImage shown = host.watched.window_of(*form)->windowIcon().pixmap(32, 32).toImage();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.pixelColor(16, 16), QColor(42, 0, 0));
    EXPECT_FALSE(QApplication::windowIcon().isNull());
}

TEST_F(QtHostWindow, ClickIsPressAndReleaseOnTheSameControl)
{
    load();
    QWidget* canvas = host.watched.canvas_of(*form);
    // On the label.
    press(canvas, QEvent::MouseButtonPress, { 10, 10 });
    press(canvas, QEvent::MouseButtonRelease, { 30, 20 });
    // From the label to the ground of the window: no click.
    press(canvas, QEvent::MouseButtonPress, { 10, 10 });
    press(canvas, QEvent::MouseButtonRelease, { 150, 20 });
    // Released outside the client area.
    press(canvas, QEvent::MouseButtonPress, { 150, 20 });
    press(canvas, QEvent::MouseButtonRelease, { 150, 120 });
    // The right button clicks nothing.
    press(canvas, QEvent::MouseButtonPress, { 10, 10 }, Qt::RightButton);
    press(canvas, QEvent::MouseButtonRelease, { 10, 10 }, Qt::RightButton);
    // On the ground: harmless, but it goes through.
    press(canvas, QEvent::MouseButtonPress, { 150, 20 });
    press(canvas, QEvent::MouseButtonRelease, { 160, 30 });
    EXPECT_EQ(host.watched.events, (std::vector<std::string> { "click 30,20", "click 160,30" }));
}

TEST_F(QtHostWindow, ClicksReachTheControlsHandlers)
{
    host.watched.forward = true;
    load();
    QWidget* canvas = host.watched.canvas_of(*form);
    press(canvas, QEvent::MouseButtonPress, { 10, 10 });
    press(canvas, QEvent::MouseButtonRelease, { 10, 10 });
    press(canvas, QEvent::MouseButtonPress, { 120, 60 });
    press(canvas, QEvent::MouseButtonRelease, { 120, 60 });
    EXPECT_EQ(form->clicks, (std::vector<std::string> { "Label1", "Command1" }));
}

TEST_F(QtHostWindow, SpaceAndReturnActivateTheButton)
{
    load();
    QWidget* canvas = host.watched.canvas_of(*form);
    EXPECT_EQ(canvas->focusPolicy(), Qt::StrongFocus);
    key(canvas, QEvent::KeyPress, Qt::Key_Space, " ");
    EXPECT_TRUE(host.watched.events.empty()) << "Space acts on release";
    key(canvas, QEvent::KeyRelease, Qt::Key_Space, " ");
    key(canvas, QEvent::KeyPress, Qt::Key_Return, "\r");
    key(canvas, QEvent::KeyRelease, Qt::Key_Return, "\r");
    key(canvas, QEvent::KeyPress, Qt::Key_Enter, "\r");
    // A release without its press (the press went to another window).
    key(canvas, QEvent::KeyRelease, Qt::Key_Space, " ");
    key(canvas, QEvent::KeyPress, Qt::Key_A, "a");
    EXPECT_EQ(host.watched.events, (std::vector<std::string> { "button Command1", "button Command1", "button Command1" }));
}

TEST_F(QtHostWindow, KeysDoNothingWithoutAButton)
{
    WindowDesc desc = test_window();
    desc.controls.erase(desc.controls.begin());
    load(desc);
    QWidget* canvas = host.watched.canvas_of(*form);
    key(canvas, QEvent::KeyPress, Qt::Key_Return, "\r");
    key(canvas, QEvent::KeyPress, Qt::Key_Space, " ");
    key(canvas, QEvent::KeyRelease, Qt::Key_Space, " ");
    EXPECT_TRUE(host.watched.events.empty());
}

TEST_F(QtHostWindow, CloseBoxAsksTheRuntime)
{
    load();
    QWidget* window = host.watched.window_of(*form);
    QCloseEvent refused;
    QCoreApplication::sendEvent(window, &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_EQ(host.watched.events, (std::vector<std::string> { "close" }));
    EXPECT_EQ(host.watched.window_of(*form), window);
    EXPECT_TRUE(form->is_loaded());
}

TEST_F(QtHostWindow, CloseBoxUnloadsTheForm)
{
    host.watched.forward = true;
    load();
    host.watched.show_window(*form, true);
    QPointer<QWidget> window = host.watched.window_of(*form);
    QCloseEvent close;
    QCoreApplication::sendEvent(window, &close);
    EXPECT_FALSE(form->is_loaded());
    EXPECT_EQ(host.watched.window_of(*form), nullptr);
    ASSERT_FALSE(window.isNull());
    EXPECT_FALSE(window->isVisible()) << "gone from the screen at once";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    // The last window went: the program ends with status 0.
    EXPECT_EQ(host.qt_application().quit_status(), 0);
}

TEST_F(QtHostWindow, ReloadingMakesAFreshWindow)
{
    host.watched.forward = true;
    load();
    QPointer<QWidget> first = host.watched.window_of(*form);
    Runtime::the().dispatch([this] {
        forms::must(form->Unload());
    });
    Runtime::the().reset();
    Runtime::the().dispatch([this] { forms::must(form->Load()); });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    ASSERT_NE(host.watched.window_of(*form), nullptr);
    action("save1")->trigger();
    EXPECT_EQ(form->clicks, (std::vector<std::string> { "save1" }));
}

// Text in the one fixed font.
class QtHostText : public ::testing::Test {
protected:
    forms::qt::QtText host;
    Rgb ground { 0, 0, 0 };
    Rgb white { 255, 255, 255 };
};

TEST_F(QtHostText, FontIsFixed)
{
    QFont const& font = host.text_font();
    if (QFile::exists("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")) {
        EXPECT_EQ(font.family(), "DejaVu Sans");
    }
    EXPECT_EQ(font.pixelSize(), 10);
    EXPECT_EQ(font.hintingPreference(), QFont::PreferFullHinting);
    EXPECT_TRUE(font.styleStrategy() & QFont::NoAntialias);
}

TEST_F(QtHostText, MainWindowLabelsFitOnOneLine)
{
    int line = QFontMetrics(host.text_font()).lineSpacing();
    struct Case {
        char const* text;
        int width;
    };
    // The labels' boxes in pixels.
    for (auto [text, width] : { Case { "Choose a color:", 81 }, Case { "Clear Screen:", 81 }, Case { "Erase:", 41 } }) {
        Surface target(width, 40, ground);
        host.draw_text(target, { 0, 0, width, 40 }, text, white, Alignment::Left);
        Ink found = ink(target, target.rect(), ground);
        ASSERT_TRUE(found.any()) << text;
        EXPECT_LT(found.rows.back(), line) << text << " wrapped";
        EXPECT_LT(found.right, width - 1) << text;
    }
}

TEST_F(QtHostText, TextStaysInsideItsBox)
{
    Surface target(100, 60, ground);
    Rect box { 20, 10, 30, 12 };
    host.draw_text(target, box, "Unbreakablewordthatisfartoolong and more lines below", white, Alignment::Left);
    Ink inside = ink(target, box, ground);
    EXPECT_TRUE(inside.any());
    Surface outside = target;
    outside.fill(box, ground);
    EXPECT_FALSE(ink(outside, outside.rect(), ground).any());
}

TEST_F(QtHostText, WrapsAtWordBoundaries)
{
    QFontMetrics metrics(host.text_font());
    int line = metrics.lineSpacing();
    Surface wide(200, 60, ground);
    host.draw_text(wide, wide.rect(), "one two three", white, Alignment::Left);
    EXPECT_EQ(ink(wide, wide.rect(), ground).bands(), 1);

    // Room for "three" but never for two words.
    int width = metrics.horizontalAdvance("three") + 1;
    Surface narrow(width, 60, ground);
    host.draw_text(narrow, narrow.rect(), "one two three", white, Alignment::Left);
    Ink lines = ink(narrow, narrow.rect(), ground);
    ASSERT_EQ(lines.bands(), 3);
    EXPECT_LT(lines.rows.back(), 3 * (line + 1));
    // The middle line is the word "two", drawn as it is alone.
    Surface alone(width, line, ground);
    host.draw_text(alone, alone.rect(), "two", white, Alignment::Left);
    auto glyphs = [&](Surface const& surface, int from, int to) {
        std::vector<std::string> rows;
        for (int y = from; y <= to; ++y) {
            std::string row;
            for (int x = 0; x < surface.width(); ++x)
                row += surface.pixel(x, y) == ground ? '.' : '#';
            rows.push_back(row);
        }
        return rows;
    };
    std::vector<int> middle;
    for (std::size_t i = 1, band = 0; i <= lines.rows.size(); ++i) {
        band += (i == 1 || lines.rows[i - 1] != lines.rows[i - 2] + 1) ? 1 : 0;
        if (band == 2)
            middle.push_back(lines.rows[i - 1]);
    }
    Ink word = ink(alone, alone.rect(), ground);
    ASSERT_TRUE(word.any());
    EXPECT_EQ(glyphs(narrow, middle.front(), middle.back()), glyphs(alone, word.rows.front(), word.rows.back()));
}

TEST_F(QtHostText, AlignmentPlacesEachLine)
{
    Rect box { 10, 5, 120, 20 };
    auto drawn = [&](Alignment alignment) {
        Surface target(140, 30, ground);
        host.draw_text(target, box, "Centred", white, alignment);
        return ink(target, target.rect(), ground);
    };
    Ink left = drawn(Alignment::Left);
    Ink right = drawn(Alignment::Right);
    Ink centre = drawn(Alignment::Centre);
    int width = left.right - left.left;
    EXPECT_LE(left.left - box.x, 2);
    EXPECT_LE(box.right() - 1 - right.right, 2);
    EXPECT_EQ(right.right - right.left, width);
    int before = centre.left - box.x, after = box.right() - 1 - centre.right;
    EXPECT_LE(std::abs(before - after), 3) << before << " " << after;
    EXPECT_GT(before, 20);
    // Top-aligned.
    EXPECT_LT(left.rows.front(), box.y + 4);
}

// The desktop's own entry for the font file, when it has one, draws exactly
// what adding the file draws: the labels' pixels do not depend on the way.
TEST_F(QtHostText, DesktopEntryDrawsAsTheAddedFile)
{
    if (!host.font_from_desktop())
        GTEST_SKIP() << "the desktop's fonts do not hold the file alone";
    char const* texts[] = { "Choose a color:", "Clear Screen:", "Erase:", "How To Play", "OK" };
    auto drawn = [&](forms::qt::QtText& text) {
        std::vector<Surface> surfaces;
        for (char const* caption : texts) {
            Surface target(90, 30, ground);
            text.draw_text(target, target.rect(), caption, white, Alignment::Left);
            surfaces.push_back(std::move(target));
        }
        return surfaces;
    };
    auto const from_desktop = drawn(host);
    ASSERT_GE(QFontDatabase::addApplicationFont(QString::fromLatin1(forms::qt::text_font_file)), 0);
    forms::qt::QtText added;
    auto const from_file = drawn(added);
    for (std::size_t i = 0; i < from_file.size(); ++i) {
        EXPECT_TRUE(ink(from_file[i], from_file[i].rect(), ground).any()) << texts[i];
        EXPECT_TRUE(from_desktop[i] == from_file[i]) << texts[i];
    }
}

TEST(QtHostColours, SystemColoursFollowThePalette)
{
    QPalette const saved = QApplication::palette();
    QPalette scheme = saved;
    scheme.setColor(QPalette::HighlightedText, QColor(1, 2, 3));
    scheme.setColor(QPalette::ButtonText, QColor(4, 5, 6));
    scheme.setColor(QPalette::WindowText, QColor(7, 8, 9));
    scheme.setColor(QPalette::Button, QColor(10, 11, 12));
    scheme.setColor(QPalette::Window, QColor(13, 14, 15));
    scheme.setColor(QPalette::Base, QColor(16, 17, 18));
    QApplication::setPalette(scheme);
    forms::qt::QtText host;
    EXPECT_EQ(host.system_colour(forms::system_colours::highlight_text), (Rgb { 1, 2, 3 }));
    EXPECT_EQ(host.system_colour(forms::system_colours::button_text), (Rgb { 4, 5, 6 }));
    EXPECT_EQ(host.system_colour(forms::system_colours::window_text), (Rgb { 7, 8, 9 }));
    EXPECT_EQ(host.system_colour(forms::system_colours::button_face), (Rgb { 10, 11, 12 }));
    EXPECT_EQ(host.system_colour(forms::system_colours::menu), (Rgb { 13, 14, 15 }));
    EXPECT_EQ(host.system_colour(5), (Rgb { 16, 17, 18 }));
    EXPECT_EQ(host.system_colour(200), (Rgb { 13, 14, 15 }));
    QApplication::setPalette(saved);
}

TEST(QtHostClipboard, ImageRoundTrip)
{
    forms::qt::QtClipboard host;
    // An odd width: rows of a surface are not padded, a QImage's are.
    Surface pixels(3, 2);
    pixels.set_pixel(0, 0, { 255, 0, 0 });
    pixels.set_pixel(1, 0, { 0, 255, 0 });
    pixels.set_pixel(2, 0, { 0, 0, 255 });
    pixels.set_pixel(0, 1, { 1, 2, 3 });
    pixels.set_pixel(2, 1, { 250, 251, 252 });
    ASSERT_FALSE(host.clipboard_set_image(pixels).is_error());
    auto back = host.clipboard_image();
    ASSERT_FALSE(back.is_error());
    ASSERT_NE(back.value(), nullptr);
    EXPECT_TRUE(*back.value() == pixels);

    // The clipboard keeps its own copy.
    pixels.set_pixel(0, 0, { 9, 9, 9 });
    EXPECT_EQ(host.clipboard_image().value()->pixel(0, 0), (Rgb { 255, 0, 0 }));

    ASSERT_FALSE(host.clipboard_clear().is_error());
    auto none = host.clipboard_image();
    ASSERT_FALSE(none.is_error());
    EXPECT_EQ(none.value(), nullptr);

    // Text is not a picture.
    QGuiApplication::clipboard()->setText("words");
    EXPECT_EQ(host.clipboard_image().value(), nullptr);
    QGuiApplication::clipboard()->clear();
}

TEST(QtHostFileDialog, FilterBecomesNameFilters)
{
    using forms::qt::dialog_name_filters;
    using List = std::vector<std::string>;
    EXPECT_EQ(dialog_name_filters("Bitmap Image (*.bmp)|*.bmp"), (List { "Bitmap Image (*.bmp)" }));
    EXPECT_EQ(dialog_name_filters("Bitmap Image|*.bmp"), (List { "Bitmap Image (*.bmp)" }));
    EXPECT_EQ(dialog_name_filters("Pictures|*.bmp;*.dib|All Files (*.*)|*.*"), (List { "Pictures (*.bmp *.dib)", "All Files (*.*)" }));
    EXPECT_EQ(dialog_name_filters("Pictures (*.bmp;*.dib)|*.bmp;*.dib"), (List { "Pictures (*.bmp *.dib)" }));
    // Brackets that are not the pattern stay part of the description.
    EXPECT_EQ(dialog_name_filters("Old (Windows)|*.bmp"), (List { "Old (Windows) (*.bmp)" }));
    EXPECT_EQ(dialog_name_filters(""), List {});
    EXPECT_EQ(dialog_name_filters("Dangling"), List {});
    EXPECT_EQ(dialog_name_filters("Anything|"), (List { "Anything (*)" }));
    EXPECT_EQ(dialog_name_filters("|*.txt"), (List { "(*.txt)" }));

    EXPECT_EQ(forms::qt::dialog_default_suffix(".BMP"), "BMP");
    EXPECT_EQ(forms::qt::dialog_default_suffix("txt"), "txt");
    EXPECT_EQ(forms::qt::dialog_default_suffix(""), "");
}

namespace {

// Answers the dialog in place of a user, after noting how it was set up.
class ScriptedDialog : public forms::qt::QtSaveDialog {
public:
    using QtSaveDialog::QtSaveDialog;

    QString type_name; // empty: Cancel
    QStringList filters;
    QString suffix;
    QString directory;
    QStringList preselected;
    bool save_mode { false };
    bool qt_dialog { false };
    QWidget* parent { nullptr };

protected:
    int run_dialog(QFileDialog& dialog) override
    {
        filters = dialog.nameFilters();
        suffix = dialog.defaultSuffix();
        directory = dialog.directory().absolutePath();
        preselected = dialog.selectedFiles();
        save_mode = dialog.acceptMode() == QFileDialog::AcceptSave;
        qt_dialog = dialog.testOption(QFileDialog::DontUseNativeDialog);
        parent = dialog.parentWidget();
        if (type_name.isEmpty())
            return QDialog::Rejected;
        dialog.selectFile(type_name);
        return QDialog::Accepted;
    }
};

class ScriptedDialogHost : public WatchingHost {
public:
    ScriptedDialogHost() { set_save_dialog(&dialog); }
    ScriptedDialog dialog { watched };
};

}

class QtHostSaveDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        Runtime::the().reset();
        Runtime::the().set_host(&host);
        form = std::make_unique<ProbeForm>(test_window());
        Runtime::the().dispatch([this] { forms::must(form->Load()); });
    }
    void TearDown() override
    {
        form.reset();
        Runtime::the().reset();
        Runtime::the().set_host(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    forms::FileDialogRequest request(std::string file_name = {})
    {
        return { ".BMP", "Bitmap Image (*.bmp)|*.bmp", std::move(file_name) };
    }

    QTemporaryDir folder;
    ScriptedDialogHost host;
    std::unique_ptr<ProbeForm> form;
};

TEST_F(QtHostSaveDialog, SetUpFromTheRequest)
{
    std::string earlier = folder.filePath("earlier.bmp").toStdString();
    host.dialog.type_name = folder.filePath("picture");
    auto chosen = host.dialog.show_save_dialog(*form, request(earlier));
    ASSERT_FALSE(chosen.is_error());
    EXPECT_EQ(host.dialog.filters, (QStringList { "Bitmap Image (*.bmp)" }));
    EXPECT_EQ(host.dialog.suffix, "BMP");
    EXPECT_TRUE(host.dialog.save_mode);
    EXPECT_TRUE(host.dialog.qt_dialog);
    EXPECT_EQ(host.dialog.parent, host.watched.window_of(*form));
    EXPECT_EQ(host.dialog.directory, QDir(folder.path()).absolutePath());
    EXPECT_EQ(host.dialog.preselected, (QStringList { QString::fromStdString(earlier) }));
    EXPECT_EQ(chosen.value(), folder.filePath("picture.BMP").toStdString());
}

TEST_F(QtHostSaveDialog, NameWithAnotherExtensionIsKept)
{
    host.dialog.type_name = folder.filePath("notes.txt");
    auto chosen = host.dialog.show_save_dialog(*form, request());
    ASSERT_FALSE(chosen.is_error());
    EXPECT_EQ(chosen.value(), folder.filePath("notes.txt").toStdString());
}

TEST_F(QtHostSaveDialog, NameWithDoubleQuotesIsTakenWhole)
{
    // Qt's dialog alone would read these as lists of quoted names.
    host.dialog.type_name = folder.filePath("it's \"quoted\".bmp");
    auto chosen = host.dialog.show_save_dialog(*form, request());
    ASSERT_FALSE(chosen.is_error());
    EXPECT_EQ(chosen.value(), folder.filePath("it's \"quoted\".bmp").toStdString());

    host.dialog.type_name = folder.filePath("\"a\" \"b\"");
    chosen = host.dialog.show_save_dialog(*form, request());
    ASSERT_FALSE(chosen.is_error());
    EXPECT_EQ(chosen.value(), folder.filePath("\"a\" \"b\".BMP").toStdString());
}

TEST_F(QtHostSaveDialog, CancelGivesAnEmptyName)
{
    auto chosen = host.dialog.show_save_dialog(*form, request(folder.filePath("earlier.bmp").toStdString()));
    ASSERT_FALSE(chosen.is_error());
    EXPECT_EQ(chosen.value(), "");
}

TEST_F(QtHostSaveDialog, RealDialogIsModalAndAnswersOnAccept)
{
    QtHost plain;
    Runtime::the().set_host(&plain);
    ProbeForm owner(test_window());
    Runtime::the().dispatch([&] { forms::must(owner.Load()); });
    // Answers the dialog once it is up, as a user would.
    std::function<void(QFileDialog&)> answer;
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            if (!dialog || !dialog->isVisible())
                continue;
            seen = true;
            EXPECT_EQ(QApplication::activeModalWidget(), dialog);
            answer(*dialog);
            return;
        }
    });
    poll.start(10);

    answer = [](QFileDialog& dialog) {
        if (auto* name = dialog.findChild<QLineEdit*>("fileNameEdit"))
            name->setText("drawing");
        static_cast<QDialog&>(dialog).accept();
    };
    auto chosen = plain.save_dialog().show_save_dialog(owner, request(folder.filePath("first.bmp").toStdString()));
    ASSERT_TRUE(seen);
    ASSERT_FALSE(chosen.is_error());
    EXPECT_EQ(chosen.value(), folder.filePath("drawing.BMP").toStdString());

    seen = false;
    answer = [](QFileDialog& dialog) { static_cast<QDialog&>(dialog).reject(); };
    auto cancelled = plain.save_dialog().show_save_dialog(owner, request(folder.filePath("drawing.BMP").toStdString()));
    ASSERT_TRUE(seen);
    ASSERT_FALSE(cancelled.is_error());
    EXPECT_EQ(cancelled.value(), "");
    Runtime::the().set_host(&host);
}

// The event loop and the end of the program.
class QtHostRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        Runtime::the().reset();
        // Never hang the suite: a loop that fails to end is ended with 99.
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        guard.setSingleShot(true);
        guard.start(10000);
    }
    void TearDown() override
    {
        Runtime::the().reset();
        Runtime::the().set_host(nullptr);
        settle_after_quit();
    }

    int run(std::function<void()> start)
    {
        return forms::qt::run_application(1, arguments, std::move(start));
    }

    char name[16] = "zorvane_tests";
    char* arguments[2] = { name, nullptr };
    QTimer guard;
};

TEST_F(QtHostRun, QuitLeavesNestedLoopsWithItsStatus)
{
    bool nested_returned = false;
    int status = run([&] {
        QTimer::singleShot(0, [&] {
            // As a modal dialog runs one.
            QEventLoop nested;
            QTimer::singleShot(0, [] { Runtime::the().host().application().quit(4); });
            nested.exec();
            nested_returned = true;
        });
    });
    EXPECT_EQ(status, 4);
    EXPECT_TRUE(nested_returned);
    EXPECT_FALSE(Runtime::the().has_host());
}

TEST_F(QtHostRun, EndDuringStartNeedsNoLoop)
{
    int status = run([] { Runtime::the().host().application().quit(3); });
    EXPECT_EQ(status, 3);
}

TEST_F(QtHostRun, LastFormUnloadedEndsWithStatusZero)
{
    ProbeForm probe(test_window());
    int status = run([&] {
        Runtime::the().dispatch([&] { forms::must(probe.set_Visible(true)); });
        QTimer::singleShot(0, [&] {
            Runtime::the().dispatch([&] { forms::must(probe.Unload()); });
        });
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(probe.is_loaded());
    EXPECT_TRUE(Runtime::the().finished());
}
