#include "test_support.h"

#include "forms/bmp.h"
#include "pictures/stored.h"

using board::colour_codes::none;
using forms::Rgb;

namespace {

forms::Surface stored_pixels(char const* name)
{
    return forms::must(forms::decode_bmp(pictures::stored(name)));
}

forms::PictureRef picture_of(std::string_view control)
{
    return forms::must(board::tarvo1->control(control).Picture());
}

}

// The layout as it is composed on the client surface.
class MainWindowLayout : public FreshRuntime { };

TEST_F(MainWindowLayout, OpensEmptyWithBlueCurrentAndNoHelpWindow)
{
    auto& window = start();
    EXPECT_TRUE(window.is_loaded());
    EXPECT_TRUE(window.Visible());
    EXPECT_EQ(window.ColorIt, board::colour_codes::blue);
    EXPECT_EQ(window.surface().width(), 600);
    EXPECT_EQ(window.surface().height(), 380);
    EXPECT_FALSE(help::Form1.exists());
    EXPECT_FALSE(help::Form2.exists());
    auto empty = stored_pixels("empty_socket.bmp");
    for (int i = 0; i < board::socket_count; ++i) {
        ASSERT_NE(socket(i).held_picture(), nullptr);
        EXPECT_EQ(*socket(i).held_picture()->pixels(), empty) << "socket " << i;
    }
    // Each socket has its own picture object at the start.
    EXPECT_NE(socket(0).held_picture(), socket(1).held_picture());
    EXPECT_NE(socket(0).held_picture(), picture_of("none2"));
}

TEST_F(MainWindowLayout, SocketsFollowTheBoardRule)
{
    start();
    struct Expected {
        int index, x, y;
    };
    for (auto [index, x, y] : { Expected { 0, 20, 20 }, { 27, 560, 20 }, { 28, 20, 40 }, { 420, 20, 320 }, { 447, 560, 320 } }) {
        EXPECT_EQ(socket(index).rect(), (forms::Rect { x, y, 21, 21 })) << "socket " << index;
    }
}

TEST_F(MainWindowLayout, OverlappingSocketsShowSingleGreyLinesAndTheHigherIndexOnTop)
{
    auto& window = start();
    Rgb grey { 32, 32, 32 };
    auto const& surface = window.surface();
    for (int line = 20; line < 580; line += 20) {
        EXPECT_EQ(surface.pixel(line, 30), grey) << "column " << line;
        EXPECT_NE(surface.pixel(line + 1, 30), grey) << "column " << line + 1;
    }
    for (int line = 20; line <= 340; line += 20)
        EXPECT_EQ(surface.pixel(30, line), grey) << "row " << line;

    // A bulb in socket 1 covers the last column of socket 0; one in socket 28
    // covers the last row of socket 0. A bulb's top row and left column are black.
    window.ColorIt = board::colour_codes::red;
    click_socket(1);
    click_socket(28);
    EXPECT_EQ(surface.pixel(40, 30), (Rgb { 0, 0, 0 }));
    EXPECT_EQ(surface.pixel(30, 40), (Rgb { 0, 0, 0 }));
    // A socket that shows a 20 x 20 bulb keeps its place: its uncovered last
    // column shows what lies beneath, here socket 2's grey border.
    EXPECT_EQ(surface.pixel(60, 30), grey);
}

TEST_F(MainWindowLayout, FrameFieldAndStrip)
{
    auto& window = start();
    auto const& surface = window.surface();
    auto background = stored_pixels("background.bmp");
    for (auto [x, y] : { std::pair { 5, 5 }, { 300, 10 }, { 590, 200 }, { 10, 350 }, { 599, 359 } })
        EXPECT_EQ(surface.pixel(x, y), background.pixel(x, y)) << x << "," << y;
    EXPECT_NE(background.pixel(5, 5), (Rgb { 0, 0, 0 }));

    auto blue = stored_pixels("bulb_blue.bmp");
    auto white = stored_pixels("bulb_white.bmp");
    auto eraser = stored_pixels("eraser.bmp");
    auto clear = stored_pixels("clear_screen.bmp");
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            ASSERT_EQ(surface.pixel(100 + x, 360 + y), blue.pixel(x, y));
            ASSERT_EQ(surface.pixel(240 + x, 360 + y), white.pixel(x, y));
            ASSERT_EQ(surface.pixel(320 + x, 360 + y), eraser.pixel(x, y));
            ASSERT_EQ(surface.pixel(433 + x, 360 + y), clear.pixel(x, y));
        }
    }
    // none2 is not shown: the strip is black where it lies.
    for (int x = 550; x < 571; ++x)
        EXPECT_EQ(surface.pixel(x, 370), (Rgb { 0, 0, 0 }));
    // The background is drawn from the stored file's rows; no copy was decoded.
    auto const* bitmap = forms::handles().get<forms::BitmapObject>(picture_of("Image1")->Handle());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->pixels, nullptr);
}

TEST_F(MainWindowLayout, LabelsAreCutAtTheBottomEdge)
{
    auto& window = start();
    EXPECT_EQ(window.control("Label2").rect().bottom(), 383);
    EXPECT_EQ(window.control("Label3").rect().bottom(), 383);
    EXPECT_EQ(window.control("none2").rect().bottom(), 381);
    EXPECT_EQ(window.surface().height(), 380);
}

TEST_F(MainWindowLayout, ClicksReachTheTopmostControl)
{
    auto& window = start();
    auto hit = [&](int x, int y) -> std::string {
        auto* control = window.hit_test(x, y);
        if (!control)
            return "nothing";
        return control->index() >= 0 ? control->name() + "(" + std::to_string(control->index()) + ")" : control->name();
    };
    EXPECT_EQ(hit(20, 20), "Image2(0)");
    EXPECT_EQ(hit(40, 30), "Image2(1)");
    EXPECT_EQ(hit(30, 40), "Image2(28)");
    EXPECT_EQ(hit(40, 40), "Image2(29)");
    EXPECT_EQ(hit(580, 340), "Image2(447)");
    EXPECT_EQ(hit(5, 5), "Image1");
    EXPECT_EQ(hit(590, 350), "Image1");
    EXPECT_EQ(hit(20, 365), "Label1");
    EXPECT_EQ(hit(321, 365), "Image3");
    EXPECT_EQ(hit(290, 375), "Label2");
    EXPECT_EQ(hit(435, 365), "Image4");
    EXPECT_EQ(hit(380, 365), "Label3");
    EXPECT_EQ(hit(560, 370), "nothing");
    EXPECT_EQ(hit(270, 370), "nothing");
    EXPECT_EQ(hit(600, 10), "nothing");
}

TEST_F(MainWindowLayout, ClicksOnTheFrameTheFirstLabelAndTheStripChangeNothing)
{
    auto& window = start();
    forms::Surface before = window.surface();
    for (auto [x, y] : { std::pair { 5, 5 }, { 20, 365 }, { 270, 370 }, { 560, 370 } })
        forms::Runtime::the().mouse_click(window, x, y);
    EXPECT_EQ(window.surface(), before);
    EXPECT_EQ(window.ColorIt, board::colour_codes::blue);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(MainWindowLayout, MenuTreeAsStored)
{
    auto const desc = board::tarvo1_description();
    ASSERT_EQ(desc.menu.size(), 4u);
    EXPECT_EQ(desc.menu[0].caption, "&File");
    EXPECT_EQ(desc.menu[1].caption, "&Bulb Color");
    EXPECT_EQ(desc.menu[2].caption, "&Clear Screen");
    EXPECT_TRUE(desc.menu[2].children.empty());
    EXPECT_EQ(desc.menu[3].caption, "&Help");
    int checked = 0;
    for (auto const& top : desc.menu) {
        for (auto const& entry : top.children) {
            if (entry.checked) {
                ++checked;
                EXPECT_EQ(entry.caption, "&Blue");
            }
        }
    }
    EXPECT_EQ(checked, 1);
    std::vector<std::string> keys;
    for (auto const& entry : desc.menu[1].children)
        keys.push_back(entry.shortcut);
    EXPECT_EQ(keys, (std::vector<std::string> { "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9" }));
}

class Shutdown : public FreshRuntime { };

TEST_F(Shutdown, ExitUnloadsHelpWindowsThenTheMainWindowOnce)
{
    start();
    menu("how1");
    menu("about1");
    host.destroyed.clear();
    menu("exit1");
    EXPECT_EQ(host.destroyed, (std::vector<std::string> { "Form1", "Form2", "tarvo1" }));
    EXPECT_EQ(host.quits, std::vector<int> { 0 });
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(forms::Runtime::the().finished());
    EXPECT_EQ(forms::Runtime::the().exit_status(), 0);
}

TEST_F(Shutdown, NeverUsedHelpWindowsAreCreatedOnlyToBeUnloaded)
{
    start();
    menu("exit1");
    EXPECT_TRUE(help::Form1.exists());
    EXPECT_TRUE(help::Form2.exists());
    EXPECT_EQ(help::Form1->load_count(), 0);
    EXPECT_EQ(help::Form2->load_count(), 0);
    EXPECT_EQ(host.destroyed, std::vector<std::string> { "tarvo1" });
    EXPECT_EQ(host.quits, std::vector<int> { 0 });
}

TEST_F(Shutdown, CloseBoxDoesWhatExitDoesWithBulbsOnTheBoard)
{
    start();
    click_socket(5);
    menu("how1");
    host.destroyed.clear();
    forms::Runtime::the().close_requested(board::tarvo1.get());
    EXPECT_EQ(host.destroyed, (std::vector<std::string> { "Form1", "tarvo1" }));
    EXPECT_FALSE(board::tarvo1->is_loaded());
    EXPECT_EQ(host.quits, std::vector<int> { 0 });
}

TEST_F(Shutdown, AFailingUnloadStepIsARunTimeErrorAndTheLaterStepsDoNotRun)
{
    start();
    menu("how1");
    forms::Runtime::the().fail_operation(forms::FaultPoint::unload);
    menu("exit1");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].substr(0, 8), "Zorvane|");
    EXPECT_NE(host.messages[0].find("Run-time error '7'"), std::string::npos);
    EXPECT_EQ(host.quits, std::vector<int> { 1 });
    EXPECT_TRUE(help::Form1->is_loaded());
    EXPECT_TRUE(board::tarvo1->is_loaded());
}
