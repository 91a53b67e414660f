#include "test_support.h"

#include <array>
#include <functional>

using namespace board::colour_codes;

namespace {

forms::PictureRef picture_of(std::string_view control)
{
    return forms::must(board::tarvo1->control(control).Picture());
}

struct Code {
    std::int16_t code;
    char const* menu_entry;
    char const* palette; // the image or label that chooses it too
    char const* source;  // whose picture a clicked socket takes
};

constexpr std::array<Code, 9> codes { {
    { white, "clear1", "clear2", "clear2" },
    { blue, "blue1", "blue2", "blue2" },
    { cyan, "cyan1", "cyan2", "cyan2" },
    { green, "green1", "green2", "green2" },
    { yellow, "yellow1", "yellow2", "yellow2" },
    { orange, "orange1", "orange2", "orange2" },
    { red, "red1", "red2", "red2" },
    { purple, "purple1", "purple2", "purple2" },
    { none, "none1", "Image3", "none2" },
} };

}

class ColourChoice : public FreshRuntime { };

TEST_F(ColourChoice, EveryWayOfChoosingACodeLeadsToTheSamePlacement)
{
    auto& window = start();
    for (auto const& code : codes) {
        std::vector<std::pair<std::string, std::function<void()>>> ways {
            { code.menu_entry, [&] { menu(code.menu_entry); } },
            { code.palette, [&] { click_control(code.palette); } },
        };
        if (code.code == none)
            ways.push_back({ "Label2", [] { forms::Runtime::the().mouse_click(board::tarvo1.get(), 290, 375); } });
        for (auto& [way, choose] : ways) {
            // Start from another colour so that a way that does nothing shows.
            window.ColorIt = code.code == red ? green : red;
            choose();
            EXPECT_EQ(window.ColorIt, code.code) << way;
            click_socket(100);
            EXPECT_EQ(socket(100).held_picture(), picture_of(code.source)) << way;
        }
    }
}

TEST_F(ColourChoice, ChoosingChangesNothingVisible)
{
    auto& window = start();
    click_socket(3);
    forms::Surface before = window.surface();
    host.presented.clear();
    for (auto const& code : codes) {
        menu(code.menu_entry);
        click_control(code.palette);
    }
    forms::Runtime::the().mouse_click(window, 290, 375);
    EXPECT_EQ(window.surface(), before);
    EXPECT_TRUE(host.presented.empty());
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ColourChoice, BlueBeforeAnyChoiceAndWhiteIsTheCreamBulbNotTheEmptySocket)
{
    auto& window = start();
    click_socket(0);
    EXPECT_EQ(socket(0).held_picture(), picture_of("blue2"));
    menu("clear1");
    click_socket(0);
    EXPECT_EQ(socket(0).held_picture(), picture_of("clear2"));
    EXPECT_NE(socket(0).held_picture(), picture_of("none2"));
    EXPECT_EQ(window.ColorIt, white);
}

TEST_F(ColourChoice, ClicksWhereNothingChoosesLeaveTheColour)
{
    auto& window = start();
    menu("orange1");
    forms::Runtime::the().mouse_click(window, 20, 365); // "Choose a color:"
    forms::Runtime::the().mouse_click(window, 555, 365); // where none2 lies
    menu("orange1");
    EXPECT_EQ(window.ColorIt, orange);
}

class Placing : public FreshRuntime { };

TEST_F(Placing, CodesOutsideTheTableChangeNothing)
{
    auto& window = start();
    for (std::int16_t code : { std::int16_t(9), std::int16_t(-1), std::int16_t(32767), std::int16_t(-32768) }) {
        auto held = socket(7).held_picture();
        forms::Surface before = window.surface();
        window.ColorIt = code;
        click_socket(7);
        EXPECT_EQ(socket(7).held_picture(), held);
        EXPECT_EQ(window.surface(), before);
        EXPECT_EQ(window.ColorIt, code);
    }
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.presented.empty());
}

TEST_F(Placing, CornersAndSharedPixelsReachTheirSockets)
{
    auto& window = start();
    menu("red1");
    for (int index : { 0, 27, 28, 447 }) {
        click_socket(index);
        EXPECT_EQ(socket(index).held_picture(), picture_of("red2")) << index;
    }
    menu("green1");
    forms::Runtime::the().mouse_click(window, 40, 25); // shared by 0 and 1
    forms::Runtime::the().mouse_click(window, 25, 60); // shared by 28 and 56
    EXPECT_EQ(socket(1).held_picture(), picture_of("green2"));
    EXPECT_EQ(socket(56).held_picture(), picture_of("green2"));
    EXPECT_EQ(socket(0).held_picture(), picture_of("red2"));
    EXPECT_EQ(socket(28).held_picture(), picture_of("red2"));
}

TEST_F(Placing, SocketsOfOneColourHoldTheVeryObjectOfThePalette)
{
    start();
    menu("purple1");
    for (int index : { 10, 11, 200 })
        click_socket(index);
    auto palette = picture_of("purple2");
    EXPECT_EQ(socket(10).held_picture().get(), palette.get());
    EXPECT_EQ(socket(200).held_picture().get(), palette.get());
    // The palette's own reference and the three sockets' (and ours).
    EXPECT_EQ(palette.use_count(), 5);
}

TEST_F(Placing, APlacementPresentsOnlyTheSocket)
{
    start();
    click_socket(30);
    ASSERT_EQ(host.presented.size(), 1u);
    EXPECT_EQ(host.presented[0].area, (forms::Rect { 60, 40, 21, 21 }));
    host.presented.clear();
    // Again with the same bulb: the picture is assigned again; the board looks the same.
    auto const before = board::tarvo1->surface();
    click_socket(30);
    EXPECT_EQ(board::tarvo1->surface(), before);
}

TEST_F(Placing, AFailingAssignmentIsARunTimeErrorThatEndsTheProgram)
{
    start();
    auto held = socket(4).held_picture();
    forms::Runtime::the().fail_operation(forms::FaultPoint::element);
    click_socket(4);
    EXPECT_EQ(socket(4).held_picture(), held);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.quits, std::vector<int> { 1 });
}

class Clearing : public FreshRuntime { };

TEST_F(Clearing, AllThreeWaysEmptyEverySocketAndKeepTheColour)
{
    auto& window = start();
    std::vector<std::function<void()>> ways { [] { menu("cleanup1"); }, [] { click_control("Image4"); },
        [] { forms::Runtime::the().mouse_click(board::tarvo1.get(), 380, 368); } };
    for (auto& clear : ways) {
        menu("yellow1");
        for (int i = 0; i < board::socket_count; i += 3)
            click_socket(i);
        click_socket(447);
        host.presented.clear();
        clear();
        for (int i = 0; i < board::socket_count; ++i)
            ASSERT_EQ(socket(i).held_picture(), picture_of("none2")) << i;
        EXPECT_EQ(window.ColorIt, yellow);
        // One presentation after the handler, not one a socket.
        EXPECT_EQ(host.presented.size(), 1u);
        click_socket(9);
        EXPECT_EQ(socket(9).held_picture(), picture_of("yellow2"));
    }
}

TEST_F(Clearing, AClearOfAnEmptyBoardStillSetsEverySocket)
{
    auto& window = start();
    forms::Surface before = window.surface();
    menu("cleanup1");
    EXPECT_EQ(window.surface(), before);
    EXPECT_EQ(socket(0).held_picture(), picture_of("none2"));
    EXPECT_EQ(socket(447).held_picture(), picture_of("none2"));
}

TEST_F(Clearing, EraserAfterAClearAndAfterColours)
{
    auto& window = start();
    menu("red1");
    click_socket(50);
    menu("none1");
    click_socket(50);
    EXPECT_EQ(socket(50).held_picture(), picture_of("none2"));
    menu("cleanup1");
    EXPECT_EQ(window.ColorIt, none);
    // The colour chosen before the eraser is not remembered.
    click_control("cyan2");
    click_socket(50);
    EXPECT_EQ(socket(50).held_picture(), picture_of("cyan2"));
}

TEST_F(Clearing, AFailureMidwayLeavesTheEarlierSocketsEmptiedAndEndsTheProgram)
{
    start();
    menu("red1");
    for (int i = 0; i < 20; ++i)
        click_socket(i);
    forms::Runtime::the().fail_operation(forms::FaultPoint::picture_set, 10);
    menu("cleanup1");
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(socket(i).held_picture(), picture_of("none2")) << i;
    for (int i = 10; i < 20; ++i)
        EXPECT_EQ(socket(i).held_picture(), picture_of("red2")) << i;
    EXPECT_EQ(host.quits, std::vector<int> { 1 });
}

TEST_F(Clearing, NoBitmapIsMadeOrCopiedByClicksOrClears)
{
    start();
    auto& table = forms::Runtime::the().handles();
    auto bitmaps = table.count<forms::BitmapObject>();
    auto created = table.created();
    for (auto const& code : codes) {
        menu(code.menu_entry);
        for (int i = 0; i < board::socket_count; i += 7)
            click_socket(i);
    }
    menu("cleanup1");
    EXPECT_EQ(table.created(), created);
    // The sockets' own start pictures are gone; every socket shares none2's.
    EXPECT_EQ(table.count<forms::BitmapObject>(), bitmaps - board::socket_count);
}
