#include "forms/bmp.h"
#include "pictures/stored.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using forms::Rgb;
using forms::Surface;

struct StoredFile {
    char const* name;
    int width;
    int height;
};

StoredFile const stored_files[] = {
    { "icon.ico", 32, 32 },
    { "background.bmp", 600, 360 },
    { "empty_socket.bmp", 21, 21 },
    { "bulb_blue.bmp", 20, 20 },
    { "bulb_cyan.bmp", 20, 20 },
    { "bulb_green.bmp", 20, 20 },
    { "bulb_yellow.bmp", 20, 20 },
    { "bulb_orange.bmp", 20, 20 },
    { "bulb_red.bmp", 20, 20 },
    { "bulb_purple.bmp", 20, 20 },
    { "bulb_white.bmp", 20, 20 },
    { "eraser.bmp", 20, 20 },
    { "clear_screen.bmp", 20, 20 },
    { "about.bmp", 72, 72 },
};

struct Bulb {
    char const* name;
    Rgb body;
};

Bulb const bulbs[] = {
    { "bulb_blue.bmp", { 55, 31, 255 } },
    { "bulb_cyan.bmp", { 31, 230, 255 } },
    { "bulb_green.bmp", { 116, 255, 32 } },
    { "bulb_yellow.bmp", { 255, 255, 31 } },
    { "bulb_orange.bmp", { 255, 142, 31 } },
    { "bulb_red.bmp", { 255, 55, 31 } },
    { "bulb_purple.bmp", { 255, 31, 230 } },
    { "bulb_white.bmp", { 238, 238, 189 } },
};

constexpr Rgb black { 0, 0, 0 };
constexpr Rgb white { 255, 255, 255 };

bool ends_with(std::string const& s, std::string const& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

Surface load(std::string const& name)
{
    auto bytes = pictures::stored(name);
    EXPECT_FALSE(bytes.empty()) << name;
    auto decoded = ends_with(name, ".ico") ? forms::decode_ico(bytes) : forms::decode_bmp(bytes);
    EXPECT_FALSE(decoded.is_error()) << name;
    return decoded.is_error() ? Surface {} : decoded.release_value();
}

int max_channel(Rgb c) { return std::max({ c.r, c.g, c.b }); }
int min_channel(Rgb c) { return std::min({ c.r, c.g, c.b }); }

// Hue in degrees, or -1 for a grey.
int hue(Rgb c)
{
    int hi = max_channel(c), lo = min_channel(c);
    if (hi - lo < 40)
        return -1;
    double d = hi - lo, h;
    if (hi == c.r)
        h = 60 * ((c.g - c.b) / d);
    else if (hi == c.g)
        h = 60 * ((c.b - c.r) / d + 2);
    else
        h = 60 * ((c.r - c.g) / d + 4);
    return int(h + 360) % 360;
}

TEST(StoredPictures, AreCanonicalFilesOfTheirSizes)
{
    for (auto const& file : stored_files) {
        SCOPED_TRACE(file.name);
        Surface s = load(file.name);
        EXPECT_EQ(s.width(), file.width);
        EXPECT_EQ(s.height(), file.height);
        // Byte for byte what the codec writes: 24 bits, no palette, nothing trailing.
        auto bytes = pictures::stored(file.name);
        auto rewritten = ends_with(file.name, ".ico") ? forms::encode_ico(s) : forms::encode_bmp(s);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), rewritten.begin(), rewritten.end()));
    }
    EXPECT_TRUE(pictures::stored("no_such_picture.bmp").empty());
    EXPECT_TRUE(pictures::stored("").empty());
    EXPECT_TRUE(pictures::stored("ICON.ICO").empty());
}

TEST(StoredPictures, BackgroundFramesAPlainBlackField)
{
    Surface s = load("background.bmp");
    ASSERT_EQ(s.width(), 600);
    int field_faults = 0, black_frame = 0;
    std::set<std::string> hues;
    for (int y = 0; y < 360; ++y)
        for (int x = 0; x < 600; ++x) {
            bool field = x >= 20 && x <= 579 && y >= 20 && y <= 339;
            Rgb c = s.pixel(x, y);
            if (field) {
                field_faults += c != black;
                continue;
            }
            black_frame += c == black;
            int h = hue(c);
            if (max_channel(c) < 120 || h < 0)
                continue;
            if (h < 18 || h >= 345)
                hues.insert("red");
            else if (h < 45)
                hues.insert("orange");
            else if (h < 70)
                hues.insert("yellow");
            else if (h >= 300)
                hues.insert("magenta");
            else if (h >= 260)
                hues.insert("purple");
            else
                hues.insert("other");
        }
    EXPECT_EQ(field_faults, 0);
    EXPECT_EQ(black_frame, 0);
    EXPECT_EQ(hues, (std::set<std::string> { "magenta", "orange", "purple", "red", "yellow" }));

    // A thin pale line runs all the way round at one depth into the frame; only
    // the burst may cover a little of it.
    int best = 0, ring = 0;
    for (int depth = 1; depth < 19; ++depth) {
        int pale = 0;
        ring = 0;
        for (int y = depth; y < 360 - depth; ++y)
            for (int x = depth; x < 600 - depth; ++x) {
                if (std::min({ x, y, 599 - x, 359 - y }) != depth)
                    continue;
                ++ring;
                pale += min_channel(s.pixel(x, y)) >= 190;
            }
        best = std::max(best, pale * 1000 / ring);
    }
    EXPECT_GE(best, 990);

    // The burst: bright purple in the top-right corner square, nowhere else in a corner.
    auto purple_in = [&](int left, int top) {
        int n = 0;
        for (int y = top; y < top + 20; ++y)
            for (int x = left; x < left + 20; ++x) {
                int h = hue(s.pixel(x, y));
                n += h >= 255 && h < 300 && max_channel(s.pixel(x, y)) >= 180;
            }
        return n;
    };
    EXPECT_GE(purple_in(580, 0), 25);
    EXPECT_EQ(purple_in(0, 0), 0);
    EXPECT_EQ(purple_in(0, 340), 0);
    EXPECT_EQ(purple_in(580, 340), 0);
}

TEST(StoredPictures, EmptySocketHasAGreyBorderAndAGlowBelowRightOfCentre)
{
    Surface s = load("empty_socket.bmp");
    ASSERT_EQ(s.width(), 21);
    int peak = 0, peak_x = -1, peak_y = -1, peaks = 0;
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 21; ++x) {
            Rgb c = s.pixel(x, y);
            if (x == 0 || y == 0 || x == 20 || y == 20) {
                EXPECT_EQ(c, (Rgb { 32, 32, 32 })) << x << "," << y;
                continue;
            }
            ASSERT_TRUE(c.r == c.g && c.g == c.b) << x << "," << y;
            EXPECT_GE(c.r, 8);
            if (c.r > peak) {
                peak = c.r, peak_x = x, peak_y = y, peaks = 1;
            } else if (c.r == peak) {
                ++peaks;
            }
        }
    EXPECT_EQ(peak, 128);
    EXPECT_EQ(peaks, 1);
    EXPECT_GT(peak_x, 10);
    EXPECT_GT(peak_y, 10);
    EXPECT_LE(peak_x, 13);
    EXPECT_LE(peak_y, 13);
    // Near-black away from the glow, and soft: it falls off over several pixels.
    for (auto [x, y] : { std::pair { 1, 1 }, { 19, 1 }, { 1, 19 }, { 19, 19 } })
        EXPECT_LE(s.pixel(x, y).r, 10);
    EXPECT_EQ(s.pixel(1, 1).r, 8);
    EXPECT_GT(s.pixel(peak_x + 2, peak_y).r, 16);
    EXPECT_LT(s.pixel(peak_x + 1, peak_y).r, 128);
}

TEST(StoredPictures, BulbsGlowInTheirColoursOnBlack)
{
    std::vector<Surface> seen;
    for (auto const& bulb : bulbs) {
        SCOPED_TRACE(bulb.name);
        Surface s = load(bulb.name);
        ASSERT_EQ(s.width(), 20);
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(s.pixel(i, 0), black) << "top row " << i;
            EXPECT_EQ(s.pixel(0, i), black) << "left column " << i;
        }
        // Round: the corners stay dark.
        for (auto [x, y] : { std::pair { 1, 1 }, { 19, 1 }, { 1, 19 }, { 19, 19 } })
            EXPECT_LT(max_channel(s.pixel(x, y)), 16) << x << "," << y;
        // The body, below and right of the middle, away from the gleam.
        for (auto [x, y] : { std::pair { 12, 12 }, { 13, 11 }, { 11, 13 } }) {
            Rgb c = s.pixel(x, y);
            EXPECT_NEAR(c.r, bulb.body.r, 12) << x << "," << y;
            EXPECT_NEAR(c.g, bulb.body.g, 12) << x << "," << y;
            EXPECT_NEAR(c.b, bulb.body.b, 12) << x << "," << y;
        }
        // A white gleam at the upper left, and nothing as white at the lower right.
        int gleam = 0, lower_right = 0;
        for (int y = 1; y < 20; ++y)
            for (int x = 1; x < 20; ++x) {
                bool white_ish = min_channel(s.pixel(x, y)) >= 240;
                if (x < 10 && y < 10)
                    gleam += white_ish;
                else if (x > 10 && y > 10)
                    lower_right += white_ish;
            }
        EXPECT_GE(gleam, 2);
        EXPECT_EQ(lower_right, 0);
        for (auto const& other : seen)
            EXPECT_FALSE(other == s);
        seen.push_back(s);
    }
}

TEST(StoredPictures, EraserIsPinkOutlinedInRedOnBlack)
{
    Surface s = load("eraser.bmp");
    ASSERT_EQ(s.width(), 20);
    Rgb const pink { 255, 172, 172 }, red { 255, 0, 0 };
    int pinks = 0, reds = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            Rgb c = s.pixel(x, y);
            ASSERT_TRUE(c == black || c == pink || c == red) << x << "," << y;
            pinks += c == pink;
            reds += c == red;
            if (c != pink)
                continue;
            // The outline closes the pink in: no pink pixel meets black or the edge.
            for (auto [dx, dy] : { std::pair { 1, 0 }, { -1, 0 }, { 0, 1 }, { 0, -1 } }) {
                int nx = x + dx, ny = y + dy;
                ASSERT_TRUE(nx >= 0 && ny >= 0 && nx < 20 && ny < 20) << x << "," << y;
                EXPECT_NE(s.pixel(nx, ny), black) << x << "," << y;
            }
        }
    EXPECT_GT(pinks, 40);
    EXPECT_GT(reds, 20);
}

TEST(StoredPictures, ClearScreenIsAWhiteScreenWithASparkle)
{
    Surface s = load("clear_screen.bmp");
    ASSERT_EQ(s.width(), 20);
    int left = 20, top = 20, right = -1, bottom = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            Rgb c = s.pixel(x, y);
            ASSERT_TRUE(c == black || c == white) << x << "," << y;
            if (c == white) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
        }
    ASSERT_GT(right - left, 8);
    ASSERT_GT(bottom - top, 8);
    for (int x = left; x <= right; ++x) {
        EXPECT_EQ(s.pixel(x, top), white);
        EXPECT_EQ(s.pixel(x, bottom), white);
    }
    for (int y = top; y <= bottom; ++y) {
        EXPECT_EQ(s.pixel(left, y), white);
        EXPECT_EQ(s.pixel(right, y), white);
    }
    // Dots inside, clear of the outline, and mostly black between them.
    int dots = 0, inside = 0;
    for (int y = top + 2; y <= bottom - 2; ++y)
        for (int x = left + 2; x <= right - 2; ++x) {
            ++inside;
            dots += s.pixel(x, y) == white;
        }
    EXPECT_GE(dots, 5);
    EXPECT_LT(dots * 4, inside);
}

TEST(StoredPictures, IconHasFourRoundedSquaresOnDarkRed)
{
    Surface s = load("icon.ico");
    ASSERT_EQ(s.width(), 32);
    Rgb const ground { 42, 0, 0 };
    struct Square {
        char const* name;
        int left { 99 }, top { 99 }, right { -1 }, bottom { -1 };
    };
    Square squares[4] = { { "red" }, { "blue" }, { "green" }, { "magenta" } };
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            Rgb c = s.pixel(x, y);
            int r = c.r, g = c.g, b = c.b;
            int which = r > g + 60 && b > g + 60 && std::abs(r - b) < 60 ? 3
                : r > g + 60 && r > b + 60                                ? 0
                : b > r + 60 && b > g + 60                                ? 1
                : g > r + 60 && g > b + 60                                ? 2
                                                                          : -1;
            if (which < 0)
                continue;
            auto& sq = squares[which];
            sq.left = std::min(sq.left, x), sq.right = std::max(sq.right, x);
            sq.top = std::min(sq.top, y), sq.bottom = std::max(sq.bottom, y);
        }
    for (auto const& sq : squares) {
        SCOPED_TRACE(sq.name);
        EXPECT_EQ(sq.right - sq.left + 1, 9);
        EXPECT_EQ(sq.bottom - sq.top + 1, 9);
        // Rounded: a corner pixel is not the square's full colour.
        EXPECT_NE(s.pixel(sq.left, sq.top), s.pixel(sq.left + 4, sq.top + 4));
        // In the upper-left part of the icon.
        EXPECT_LT(sq.right, 24);
        EXPECT_LT(sq.bottom, 24);
    }
    // A 2 x 2 grid: red and blue above green and magenta.
    EXPECT_EQ(squares[0].top, squares[1].top);
    EXPECT_EQ(squares[2].top, squares[3].top);
    EXPECT_EQ(squares[0].left, squares[2].left);
    EXPECT_EQ(squares[1].left, squares[3].left);
    EXPECT_LT(squares[0].right, squares[1].left);
    EXPECT_LT(squares[0].bottom, squares[2].top);
    // The ground outside the squares is all dark red.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if (x > squares[3].right + 1 || y > squares[3].bottom + 1 || x < squares[0].left - 1 || y < squares[0].top - 1) {
                ASSERT_EQ(s.pixel(x, y), ground) << x << "," << y;
            }
}

TEST(StoredPictures, AboutShowsAPinkDogFacingLeftOnWhite)
{
    Surface s = load("about.bmp");
    ASSERT_EQ(s.width(), 72);
    // The ground is near white everywhere along the edges and white in the corners.
    for (int i = 0; i < 72; ++i)
        for (auto [x, y] : { std::pair { i, 0 }, { i, 71 }, { 0, i }, { 71, i } }) {
            // The neck fades out through the bottom edge.
            if (y < 52) {
                EXPECT_GE(min_channel(s.pixel(x, y)), 245) << x << "," << y;
            }
        }
    for (auto [x, y] : { std::pair { 0, 0 }, { 71, 0 }, { 0, 71 } })
        EXPECT_EQ(s.pixel(x, y), white);

    auto is_dog = [&](int x, int y) {
        Rgb c = s.pixel(x, y);
        return c.r > c.g + 50 && c.b > c.g + 30;
    };
    int dog = 0, pink = 0, magenta = 0, sum_x = 0, leftmost = 72;
    for (int y = 0; y < 72; ++y)
        for (int x = 0; x < 72; ++x)
            if (is_dog(x, y)) {
                ++dog, sum_x += x;
                leftmost = std::min(leftmost, x);
                pink += s.pixel(x, y).g >= 130;
                magenta += s.pixel(x, y).g <= 60;
            }
    EXPECT_GT(dog, 1200);
    EXPECT_GT(pink, 100);
    EXPECT_GT(magenta, 100);

    // Facing left: the snout reaches far to the left with the dark nose on its tip,
    // while the mass of the head lies to the right.
    EXPECT_LT(leftmost, 14);
    EXPECT_GT(sum_x / dog, 36);
    int nose_x = 72;
    for (int y = 0; y < 72; ++y)
        for (int x = 0; x < 72; ++x)
            if (max_channel(s.pixel(x, y)) < 90)
                nose_x = std::min(nose_x, x);
    EXPECT_LT(nose_x, 14);

    // Two upright pointed ears: a little below the top of the dog its rows are
    // two separate runs that narrow towards the top.
    auto row_has_dog = [&](int y) {
        for (int x = 0; x < 72; ++x)
            if (is_dog(x, y))
                return true;
        return false;
    };
    int top = 0;
    while (top < 72 && !row_has_dog(top))
        ++top;
    auto runs = [&](int y, int& width) {
        int n = 0;
        width = 0;
        for (int x = 0; x < 72; ++x) {
            width += is_dog(x, y);
            n += is_dog(x, y) && (x == 0 || !is_dog(x - 1, y));
        }
        return n;
    };
    int upper_width = 0, lower_width = 0;
    EXPECT_EQ(runs(top + 6, upper_width), 2);
    EXPECT_EQ(runs(top + 12, lower_width), 2);
    EXPECT_LT(upper_width, lower_width);
}

// The drawing tool's path, given by the build.
std::filesystem::path draw_pictures_tool()
{
#ifdef ZORVANE_DRAW_PICTURES
    return ZORVANE_DRAW_PICTURES;
#else
    return {};
#endif
}

std::vector<std::uint8_t> read_file(std::filesystem::path const& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

TEST(DrawPictures, RedrawsTheStoredFilesByteForByte)
{
    auto tool = draw_pictures_tool();
    if (tool.empty() || !std::filesystem::exists(tool))
        GTEST_SKIP() << "draw_pictures not built";
    std::string pattern = (std::filesystem::temp_directory_path() / "zorvane-pictures-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    std::filesystem::path dir = pattern;
    ASSERT_EQ(std::system(("'" + tool.string() + "' '" + dir.string() + "'").c_str()), 0);

    std::set<std::string> written;
    for (auto const& entry : std::filesystem::directory_iterator(dir))
        written.insert(entry.path().filename().string());
    std::set<std::string> expected;
    for (auto const& file : stored_files) {
        expected.insert(file.name);
        auto stored = pictures::stored(file.name);
        auto drawn = read_file(dir / file.name);
        EXPECT_TRUE(std::equal(stored.begin(), stored.end(), drawn.begin(), drawn.end())) << file.name;
    }
    // Besides the embedded pictures, the icon as a PNG for desktop launchers.
    auto png_drawn = read_file(dir / "icon.png");
    auto png_stored = read_file(std::filesystem::path(ZORVANE_SOURCE_DIR) / "pictures" / "icon.png");
    EXPECT_FALSE(png_drawn.empty());
    EXPECT_EQ(png_drawn, png_stored);
    written.erase("icon.png");
    EXPECT_EQ(written, expected);
    std::filesystem::remove_all(dir);

    // Every picture in the source tree is one the build embeds.
    std::set<std::string> in_tree;
    for (auto const& entry : std::filesystem::directory_iterator(std::filesystem::path(ZORVANE_SOURCE_DIR) / "pictures"))
        if (auto ext = entry.path().extension(); ext == ".bmp" || ext == ".ico")
            in_tree.insert(entry.path().filename().string());
    EXPECT_EQ(in_tree, expected);
}

}
