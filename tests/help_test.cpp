#include "test_support.h"

#include "forms/bmp.h"
#include "forms/qt/qt_host.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <tuple>

using forms::Control;
using forms::Form;
using forms::Rect;
using forms::Rgb;
using forms::Runtime;
using forms::Surface;

namespace {

constexpr Rgb black { 0, 0, 0 };
constexpr Rgb white { 255, 255, 255 };

// The recording host, with labels and captions drawn as the desktop draws them,
// so that their pixels can be looked at.
class TextHost : public RecordingHost {
public:
    void draw_text(Surface& target, Rect box, std::string_view text, Rgb colour, forms::Alignment alignment) override
    {
        m_desktop.draw_text(target, box, text, colour, alignment);
    }

private:
    forms::qt::QtText m_desktop;
};

class HelpWindows : public FreshRuntime {
protected:
    void SetUp() override
    {
        FreshRuntime::SetUp();
        Runtime::the().set_host(&screen);
    }

    // Starts the program and forgets what the start did to the host.
    board::Tarvo1& begin()
    {
        auto& main = start();
        screen.created.clear();
        screen.shown.clear();
        return main;
    }

    static Form& help_form(std::string_view entry)
    {
        if (entry == "how1")
            return help::Form1.get();
        return help::Form2.get();
    }

    static bool exists(std::string_view entry) { return entry == "how1" ? help::Form1.exists() : help::Form2.exists(); }

    // A click in the middle of a control of a help window.
    static void click(Form& form, std::string_view control)
    {
        Rect r = form.control(control).rect();
        Runtime::the().mouse_click(form, r.x + r.width / 2, r.y + r.height / 2);
    }

    int count(std::vector<std::string> const& record, std::string const& what) const
    {
        return int(std::count(record.begin(), record.end(), what));
    }

    TextHost screen;
};

Surface read_bmp(char const* name)
{
    std::ifstream in(std::string(ZORVANE_SOURCE_DIR) + "/pictures/" + name, std::ios::binary);
    std::vector<std::uint8_t> bytes { std::istreambuf_iterator<char>(in), {} };
    auto decoded = forms::decode_bmp(bytes);
    EXPECT_FALSE(decoded.is_error()) << name;
    return decoded.is_error() ? Surface() : decoded.release_value();
}

// The colours inside an area of a surface.
std::set<std::tuple<int, int, int>> colours_in(Surface const& surface, Rect area)
{
    std::set<std::tuple<int, int, int>> found;
    for (int y = area.y; y < area.bottom(); ++y)
        for (int x = area.x; x < area.right(); ++x) {
            Rgb c = surface.pixel(x, y);
            found.insert({ c.r, c.g, c.b });
        }
    return found;
}

std::tuple<int, int, int> t(Rgb c) { return { c.r, c.g, c.b }; }

// The bounding box of the pixels in `area` that are not `ground`.
std::optional<Rect> ink(Surface const& surface, Rect area, Rgb ground)
{
    int left = area.right(), top = area.bottom(), right = area.x - 1, bottom = area.y - 1;
    for (int y = area.y; y < area.bottom(); ++y)
        for (int x = area.x; x < area.right(); ++x) {
            if (surface.pixel(x, y) == ground)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    if (right < left)
        return std::nullopt;
    return Rect { left, top, right - left + 1, bottom - top + 1 };
}

}

// The four states of a help window, walked through every transition, for both windows.
class HelpWindowLifecycle : public HelpWindows, public ::testing::WithParamInterface<char const*> { };

TEST_P(HelpWindowLifecycle, HelpOkHelpCloseHelp)
{
    std::string const entry = GetParam();
    auto& main = begin();
    ASSERT_FALSE(exists(entry)) << "not yet used";

    menu(entry);
    ASSERT_TRUE(exists(entry));
    Form& form = help_form(entry);
    std::string const name = form.name();
    EXPECT_TRUE(form.is_loaded());
    EXPECT_TRUE(form.Visible());
    EXPECT_EQ(form.load_count(), 1);
    EXPECT_EQ(screen.shown, (std::vector<std::string> { name + "+" }));

    // Shown, and its Help command again: still the one window.
    menu(entry);
    EXPECT_EQ(&help_form(entry), &form);
    EXPECT_TRUE(form.Visible());
    EXPECT_EQ(form.load_count(), 1);
    EXPECT_EQ(count(screen.created, name), 1);
    EXPECT_EQ(count(screen.shown, name + "-"), 0);

    // Its OK button by the mouse: hidden, still loaded.
    click(form, "Command1");
    EXPECT_FALSE(form.Visible());
    EXPECT_TRUE(form.is_loaded());
    EXPECT_EQ(screen.shown.back(), name + "-");

    // Hidden, then Help: the same window again, not built afresh.
    menu(entry);
    EXPECT_EQ(&help_form(entry), &form);
    EXPECT_TRUE(form.Visible());
    EXPECT_EQ(form.load_count(), 1);
    EXPECT_EQ(count(screen.created, name), 1);

    // The OK button by the keyboard's activation of the focused button.
    Runtime::the().button_activated(form, "Command1");
    EXPECT_FALSE(form.Visible());
    EXPECT_TRUE(form.is_loaded());
    menu(entry);
    EXPECT_TRUE(form.Visible());

    // The close box: unloaded, the instance stays, the program goes on.
    Runtime::the().close_requested(form);
    EXPECT_TRUE(exists(entry));
    EXPECT_FALSE(form.is_loaded());
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(screen.destroyed, std::vector<std::string> { name });
    EXPECT_TRUE(main.is_loaded());
    EXPECT_FALSE(Runtime::the().finished());

    // Unloaded, then Help: built afresh from its description in the same instance.
    menu(entry);
    EXPECT_EQ(&help_form(entry), &form);
    EXPECT_TRUE(form.is_loaded());
    EXPECT_TRUE(form.Visible());
    EXPECT_EQ(form.load_count(), 2);
    EXPECT_EQ(count(screen.created, name), 2);
    EXPECT_EQ(form.surface().width(), form.client_pixel_width());
    EXPECT_TRUE(form.control("Command1").rendered() != nullptr);

    EXPECT_TRUE(screen.messages.empty());
    EXPECT_TRUE(screen.quits.empty());
    // Nothing happened to the other help window.
    EXPECT_FALSE(exists(entry == "how1" ? "about1" : "how1"));
}

INSTANTIATE_TEST_SUITE_P(BothWindows, HelpWindowLifecycle, ::testing::Values("how1", "about1"),
    [](auto const& info) { return std::string(info.param) == "how1" ? "HowToPlay" : "About"; });

TEST_F(HelpWindows, BothShownWhileTheMainWindowTakesClicksAndMenus)
{
    auto& main = begin();
    menu("how1");
    menu("about1");
    ASSERT_TRUE(help::Form1->Visible());
    ASSERT_TRUE(help::Form2->Visible());

    click_socket(0);
    EXPECT_EQ(socket(0).held_picture(), main.control("blue2").held_picture());
    menu("red1");
    click_socket(1);
    EXPECT_EQ(socket(1).held_picture(), main.control("red2").held_picture());
    click_control("yellow2");
    click_socket(2);
    EXPECT_EQ(socket(2).held_picture(), main.control("yellow2").held_picture());
    menu("cleanup1");
    for (int i : { 0, 1, 2 })
        EXPECT_EQ(socket(i).held_picture(), main.control("none2").held_picture());

    // Clicks on the help windows' texts and pictures do nothing.
    click(help::Form1.get(), "Label1");
    click(help::Form1.get(), "Image1");
    click(help::Form2.get(), "Image1");
    click(help::Form2.get(), "Label3");
    EXPECT_TRUE(help::Form1->Visible());
    EXPECT_TRUE(help::Form2->Visible());
    EXPECT_TRUE(main.Visible());
    EXPECT_TRUE(screen.messages.empty());

    // Each OK button puts away its own window only.
    click(help::Form2.get(), "Command1");
    EXPECT_TRUE(help::Form1->Visible());
    EXPECT_FALSE(help::Form2->Visible());
    click(help::Form1.get(), "Command1");
    EXPECT_FALSE(help::Form1->Visible());
}

TEST_F(HelpWindows, OwnSettings)
{
    auto& main = begin();
    menu("how1");
    menu("about1");
    Form& how = help::Form1.get();
    Form& about = help::Form2.get();

    EXPECT_EQ(how.description().caption, "How To Play");
    EXPECT_EQ(about.description().caption, "About Zorvane");
    EXPECT_EQ(how.surface().width(), 215);
    EXPECT_EQ(how.surface().height(), 292);
    EXPECT_EQ(about.surface().width(), 207);
    EXPECT_EQ(about.surface().height(), 150);
    // Grounds where no control lies.
    EXPECT_EQ(how.surface().pixel(200, 5), black);
    EXPECT_EQ(about.surface().pixel(2, 2), white);
    EXPECT_EQ(how.hit_test(200, 5), nullptr);
    EXPECT_EQ(about.hit_test(2, 2), nullptr);
    for (Form* form : { &how, &about }) {
        EXPECT_EQ(form->description().start, forms::StartPosition::WindowsDefault);
        auto icon = form->description().icon, main_icon = main.description().icon;
        ASSERT_FALSE(icon.empty());
        EXPECT_TRUE(std::equal(icon.begin(), icon.end(), main_icon.begin(), main_icon.end()));
    }
    // The How To Play pictures are the main window's own, byte for byte.
    std::pair<char const*, char const*> const same[] = {
        { "Image1", "green2" }, { "Image2", "blue2" }, { "Image3", "Image3" }, { "Image4", "Image4" }
    };
    for (auto [mine, theirs] : same) {
        auto a = how.control(mine).desc().picture, b = main.control(theirs).desc().picture;
        ASSERT_FALSE(a.empty()) << mine;
        EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << mine;
    }
    // The OK button is the only control that takes the focus.
    for (Form* form : { &how, &about }) {
        int buttons = 0;
        for (auto const& control : form->controls())
            buttons += control->kind() == forms::ControlKind::CommandButton;
        EXPECT_EQ(buttons, 1) << form->name();
        EXPECT_TRUE(form->control("Command1").desc().graphical);
    }
}

TEST_F(HelpWindows, TextsEndAsWritten)
{
    begin();
    menu("how1");
    menu("about1");
    auto caption = [](Form& form, char const* name) { return form.control(name).desc().caption; };
    for (char const* name : { "Label1", "Label2", "Label3", "Label6" })
        EXPECT_EQ(caption(help::Form1.get(), name).back(), '.') << name;
    for (char const* name : { "Label4", "Label5" })
        EXPECT_NE(caption(help::Form1.get(), name).back(), '.') << name;
    EXPECT_EQ(caption(help::Form2.get(), "Label1"), "This is version 1.0");
    std::string quotation = caption(help::Form2.get(), "Label3");
    EXPECT_EQ(quotation.size(), 35u);
    EXPECT_EQ(quotation.front(), '"');
    EXPECT_EQ(quotation.back(), '"');
    EXPECT_EQ(std::count(quotation.begin(), quotation.end(), '"'), 2);
    EXPECT_EQ(caption(help::Form2.get(), "Label2").rfind("Contact: ", 0), 0u);
}

// The About window's picture reaches past the client area and under Label3.
class AboutSurface : public HelpWindows {
protected:
    void SetUp() override
    {
        HelpWindows::SetUp();
        begin();
        menu("about1");
    }
    Surface const& surface() { return help::Form2->surface(); }
    Surface const picture = read_bmp("about.bmp");
    // Image1 at (139, 83); Label3 covers x 13 to 192 and y 59 to 84.
    static constexpr int left = 139, top = 83, label_right = 193, label_bottom = 85;
};

TEST_F(AboutSurface, PictureIsCutAtTheRightAndBottomEdges)
{
    ASSERT_EQ(picture.width(), 72);
    ASSERT_EQ(picture.height(), 72);
    ASSERT_EQ(surface().width(), 207);
    ASSERT_EQ(surface().height(), 150);
    int compared = 0;
    for (int y = top; y < 150; ++y)
        for (int x = left; x < 207; ++x) {
            if (x < label_right && y < label_bottom)
                continue;
            ASSERT_EQ(surface().pixel(x, y), picture.pixel(x - left, y - top)) << x << "," << y;
            ++compared;
        }
    // 68 x 67 of the picture show, less the band under the label.
    EXPECT_EQ(compared, 68 * 67 - (label_right - left) * (label_bottom - top));
    // The last column and row of the client area are the picture's 68th and 67th.
    EXPECT_EQ(surface().pixel(206, 149), picture.pixel(67, 66));
    // Nothing of it left or above its box.
    for (int y = top; y < 150; ++y)
        EXPECT_EQ(surface().pixel(left - 1, y), white);
    for (int x = label_right; x < 207; ++x)
        EXPECT_EQ(surface().pixel(x, top - 1), white);
}

TEST_F(AboutSurface, Label3LiesAboveThePictureInTheirTwoPixelBand)
{
    Control& label = help::Form2->control("Label3");
    ASSERT_EQ(label.rect(), (Rect { 13, 59, 180, 26 }));
    Surface const& shown = *label.rendered();
    // The ear tip reaches into the band, so the picture differs from the label there.
    int differing = 0;
    for (int y = top; y < label_bottom; ++y)
        for (int x = left; x < label_right; ++x) {
            EXPECT_EQ(surface().pixel(x, y), shown.pixel(x - 13, y - 59)) << x << "," << y;
            differing += picture.pixel(x - left, y - top) != shown.pixel(x - 13, y - 59);
        }
    ASSERT_GT(differing, 0) << "the test needs a picture that shows in the band";
    // Right of the label the band is the picture's.
    for (int y = top; y < label_bottom; ++y)
        for (int x = label_right; x < 207; ++x)
            EXPECT_EQ(surface().pixel(x, y), picture.pixel(x - left, y - top)) << x << "," << y;
}

TEST_F(AboutSurface, VersionAndContactAreCentredTheQuotationIsNot)
{
    auto text_box = [&](char const* name) {
        Rect box = help::Form2->control(name).rect();
        auto found = ink(surface(), box, white);
        EXPECT_TRUE(found) << name << " shows no text";
        return std::pair { box, found.value_or(box) };
    };
    for (char const* name : { "Label1", "Label2" }) {
        auto [box, text] = text_box(name);
        int left_margin = text.x - box.x, right_margin = box.right() - text.right();
        EXPECT_LE(std::abs(left_margin - right_margin), 2) << name;
        EXPECT_GT(left_margin, 5) << name;
    }
    auto [box, text] = text_box("Label3");
    EXPECT_LE(text.x - box.x, 2);
    // The labels' text is in the default label colour on their white ground.
    EXPECT_EQ(colours_in(surface(), help::Form2->control("Label1").rect()),
        (std::set { t(white), t(screen.system_colour(forms::system_colours::button_text)) }));
}

// Under a changed colour scheme the two system colours of How To Play follow it,
// and nothing else does.
class HowToPlayScheme : public HelpWindows, public ::testing::WithParamInterface<bool> { };

TEST_P(HowToPlayScheme, Label3GroundAndLabel6TextFollowTheScheme)
{
    if (GetParam()) {
        screen.scheme[forms::system_colours::button_text] = Rgb { 0, 0, 128 };
        screen.scheme[forms::system_colours::highlight_text] = Rgb { 255, 255, 0 };
    }
    Rgb const button_text = screen.system_colour(forms::system_colours::button_text);
    Rgb const selected_text = screen.system_colour(forms::system_colours::highlight_text);
    begin();
    menu("how1");
    Form& how = help::Form1.get();
    Surface const& surface = how.surface();
    auto colours = [&](char const* name) { return colours_in(surface, how.control(name).rect()); };

    for (char const* name : { "Label1", "Label2", "Label4", "Label5" })
        EXPECT_EQ(colours(name), (std::set { t(black), t(white) })) << name;
    EXPECT_EQ(colours("Label3"), (std::set { t(button_text), t(white) }));
    EXPECT_EQ(colours("Label6"), (std::set { t(black), t(selected_text) }));
    Rect l3 = how.control("Label3").rect();
    EXPECT_EQ(surface.pixel(l3.right() - 1, l3.bottom() - 1), button_text);
}

INSTANTIATE_TEST_SUITE_P(Schemes, HowToPlayScheme, ::testing::Bool(),
    [](auto const& info) { return info.param ? "Changed" : "Default"; });

TEST_F(HelpWindows, HowToPlayShowsTheMainWindowsPicturesOnBlack)
{
    begin();
    menu("how1");
    Form& how = help::Form1.get();
    Surface want(215, 292, black);
    std::pair<Rect, char const*> const pictures[] = {
        { { 6, 14, 20, 20 }, "bulb_green.bmp" },
        { { 6, 49, 20, 20 }, "bulb_blue.bmp" },
        { { 6, 86, 20, 20 }, "eraser.bmp" },
        { { 6, 128, 20, 20 }, "clear_screen.bmp" },
    };
    for (auto const& [at, file] : pictures)
        want.blit(read_bmp(file), at.x, at.y, want.rect());
    // Everything but the texts and the button is predictable.
    std::vector<Rect> texts;
    for (auto const& control : how.controls()) {
        if (control->kind() != forms::ControlKind::Image)
            texts.push_back(control->rect());
    }
    ASSERT_EQ(texts.size(), 7u);
    for (int y = 0; y < 292; ++y)
        for (int x = 0; x < 215; ++x) {
            if (std::any_of(texts.begin(), texts.end(), [&](Rect r) { return r.contains(x, y); }))
                continue;
            ASSERT_EQ(how.surface().pixel(x, y), want.pixel(x, y)) << x << "," << y;
        }
    for (auto const& control : how.controls()) {
        if (control->kind() == forms::ControlKind::Label) {
            EXPECT_TRUE(ink(how.surface(), control->rect(), black)) << control->name() << " shows no text";
        }
    }
}

// The OK buttons: face filled in their colour, caption centred in the button-text colour.
class OkButton : public HelpWindows, public ::testing::WithParamInterface<char const*> { };

TEST_P(OkButton, FaceColourAndCentredCaption)
{
    std::string const entry = GetParam();
    screen.scheme[forms::system_colours::button_text] = Rgb { 128, 0, 0 };
    Rgb const face = entry == "how1" ? Rgb { 0, 255, 0 } : Rgb { 255, 192, 255 };
    begin();
    menu(entry);
    Form& form = help_form(entry);
    Rect button = form.control("Command1").rect();
    EXPECT_EQ(button, entry == "how1" ? (Rect { 47, 259, 123, 26 }) : (Rect { 11, 109, 97, 34 }));
    Surface const& surface = form.surface();
    // Inside its edges the face is its colour and the caption its text colour.
    Rect inside { button.x + 2, button.y + 2, button.width - 4, button.height - 4 };
    EXPECT_EQ(colours_in(surface, inside), (std::set { t(face), t(Rgb { 128, 0, 0 }) }));
    auto caption = ink(surface, inside, face);
    ASSERT_TRUE(caption);
    int left = caption->x - button.x, right = button.right() - caption->right();
    int above = caption->y - button.y, below = button.bottom() - caption->bottom();
    EXPECT_LE(std::abs(left - right), 2) << left << " " << right;
    EXPECT_LE(std::abs(above - below), 3) << above << " " << below;
    // The face reaches the edges all round.
    for (int x = inside.x; x < inside.right(); ++x) {
        EXPECT_EQ(surface.pixel(x, inside.y), face);
        EXPECT_EQ(surface.pixel(x, inside.bottom() - 1), face);
    }
}

INSTANTIATE_TEST_SUITE_P(BothWindows, OkButton, ::testing::Values("how1", "about1"),
    [](auto const& info) { return std::string(info.param) == "how1" ? "HowToPlay" : "About"; });

// The shutdown, from each of its starts, with each help window in each state.
enum class HelpState { NeverUsed, Shown, Hidden, Closed };
enum class Start { FileExit, CtrlX, MainCloseBox };

void PrintTo(Start start, std::ostream* out)
{
    static char const* const names[] = { "File > Exit", "Ctrl+X", "the main window's close box" };
    *out << names[int(start)];
}

void PrintTo(HelpState state, std::ostream* out)
{
    static char const* const names[] = { "never used", "shown", "hidden", "closed" };
    *out << names[int(state)];
}

class ShutdownFrom : public HelpWindows, public ::testing::WithParamInterface<std::tuple<Start, HelpState, HelpState>> {
protected:
    void bring(char const* entry, HelpState state)
    {
        if (state == HelpState::NeverUsed)
            return;
        menu(entry);
        Form& form = help_form(entry);
        if (state == HelpState::Hidden)
            click(form, "Command1");
        if (state == HelpState::Closed)
            Runtime::the().close_requested(form);
    }

    static std::string shortcut_entry(std::vector<forms::MenuDesc> const& entries, std::string_view keys)
    {
        for (auto const& entry : entries) {
            if (entry.shortcut == keys)
                return entry.name;
            if (auto found = shortcut_entry(entry.children, keys); !found.empty())
                return found;
        }
        return {};
    }
};

std::string shutdown_case_name(::testing::TestParamInfo<ShutdownFrom::ParamType> const& info)
{
    static char const* const starts[] = { "FileExit", "CtrlX", "MainCloseBox" };
    static char const* const states[] = { "NeverUsed", "Shown", "Hidden", "Closed" };
    auto [from, how, about] = info.param;
    return std::string(starts[int(from)]) + "_HowToPlay" + states[int(how)] + "_About" + states[int(about)];
}

TEST_P(ShutdownFrom, EachWindowUnloadedOnceHelpWindowsFirst)
{
    auto [from, how_state, about_state] = GetParam();
    auto& main = begin();
    click_socket(3);
    bring("how1", how_state);
    bring("about1", about_state);
    ASSERT_FALSE(Runtime::the().finished());
    std::vector<std::string> const before = screen.destroyed;

    switch (from) {
    case Start::FileExit:
        menu("exit1");
        break;
    case Start::CtrlX: {
        std::string entry = shortcut_entry(main.description().menu, "Ctrl+X");
        ASSERT_EQ(entry, "exit1");
        menu(entry);
        break;
    }
    case Start::MainCloseBox:
        Runtime::the().close_requested(main);
        break;
    }

    std::vector<std::string> during(screen.destroyed.begin() + std::ptrdiff_t(before.size()), screen.destroyed.end());
    std::vector<std::string> want;
    if (how_state == HelpState::Shown || how_state == HelpState::Hidden)
        want.push_back("Form1");
    if (about_state == HelpState::Shown || about_state == HelpState::Hidden)
        want.push_back("Form2");
    want.push_back("tarvo1");
    EXPECT_EQ(during, want);
    for (auto [name, state] : { std::pair { "Form1", how_state }, std::pair { "Form2", about_state } })
        EXPECT_EQ(count(screen.destroyed, name), state == HelpState::NeverUsed ? 0 : 1) << name;

    // Every instance exists; one never used was made only to be unloaded.
    ASSERT_TRUE(help::Form1.exists());
    ASSERT_TRUE(help::Form2.exists());
    EXPECT_EQ(help::Form1->load_count(), how_state == HelpState::NeverUsed ? 0 : 1);
    EXPECT_EQ(help::Form2->load_count(), about_state == HelpState::NeverUsed ? 0 : 1);
    EXPECT_FALSE(help::Form1->is_loaded());
    EXPECT_FALSE(help::Form2->is_loaded());
    EXPECT_FALSE(main.is_loaded());
    EXPECT_TRUE(Runtime::the().loaded_forms().empty());

    EXPECT_TRUE(screen.messages.empty());
    EXPECT_EQ(screen.quits, std::vector<int> { 0 });
    EXPECT_TRUE(Runtime::the().finished());
    EXPECT_EQ(Runtime::the().exit_status(), 0);
}

INSTANTIATE_TEST_SUITE_P(AllStarts, ShutdownFrom,
    ::testing::Combine(::testing::Values(Start::FileExit, Start::CtrlX, Start::MainCloseBox),
        ::testing::Values(HelpState::NeverUsed, HelpState::Shown, HelpState::Hidden, HelpState::Closed),
        ::testing::Values(HelpState::NeverUsed, HelpState::Shown, HelpState::Hidden, HelpState::Closed)),
    shutdown_case_name);

// On the desktop host: the OK button has the keyboard focus of its active window.
class HelpWindowsOnTheDesktop : public HelpWindows {
protected:
    void SetUp() override
    {
        HelpWindows::SetUp();
        Runtime::the().set_host(&desktop);
    }
    void TearDown() override
    {
        HelpWindows::TearDown();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Waits for a window to become the active one, as far as the platform lets it.
    static bool activated(QWidget* window)
    {
        for (int i = 0; i < 100 && !window->isActiveWindow(); ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        return window->isActiveWindow();
    }

    static void key(QWidget* target, QEvent::Type type, int which, QString text)
    {
        QKeyEvent event(type, which, Qt::NoModifier, text);
        QCoreApplication::sendEvent(target, &event);
    }

    forms::qt::QtHost desktop;
};

TEST_F(HelpWindowsOnTheDesktop, KeysReachTheOkButtonOfTheActiveWindow)
{
    begin();
    for (char const* entry : { "how1", "about1" }) {
        menu(entry);
        Form& form = help_form(entry);
        QWidget* window = desktop.qt_windows().window_of(form);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(window->isVisible());
        if (!activated(window))
            GTEST_SKIP() << "this platform does not activate windows";
        QWidget* focused = QApplication::focusWidget();
        ASSERT_EQ(focused, desktop.qt_windows().canvas_of(form)) << entry;

        bool const space = std::string(entry) == "how1";
        if (space) {
            key(focused, QEvent::KeyPress, Qt::Key_Space, " ");
            EXPECT_TRUE(form.Visible()) << "Space acts on its release";
            key(focused, QEvent::KeyRelease, Qt::Key_Space, " ");
        } else {
            key(focused, QEvent::KeyPress, Qt::Key_Return, "\r");
        }
        EXPECT_FALSE(form.Visible()) << entry;
        EXPECT_FALSE(window->isVisible()) << entry;
        EXPECT_TRUE(form.is_loaded()) << entry;
    }
    EXPECT_FALSE(Runtime::the().finished());
}
