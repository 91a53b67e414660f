#include "forms/bmp.h"
#include "forms/objects.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using forms::Surface;
using Bytes = std::vector<std::uint8_t>;

// Every pixel different from its neighbours, and no channel the same as another.
Surface pattern(int width, int height)
{
    Surface s(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            s.set_pixel(x, y,
                { std::uint8_t(x * 37 + y * 11 + 1), std::uint8_t(x * 5 + y * 71 + 13), std::uint8_t((x ^ y) * 29 + 200) });
    return s;
}

std::uint32_t u32(Bytes const& b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 | std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t u16(Bytes const& b, std::size_t at) { return std::uint16_t(b[at] | b[at + 1] << 8); }
void put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}
void put16(Bytes& b, std::size_t at, std::uint16_t v)
{
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}

// Decodes from a buffer of exactly the given length, so that a read past its end
// is a heap overflow that the sanitizer build reports.
forms::ErrorOr<Surface> decode_exact(Bytes const& bytes, std::size_t length, bool icon = false)
{
    auto copy = std::make_unique<std::uint8_t[]>(length == 0 ? 1 : length);
    std::copy_n(bytes.begin(), std::min(length, bytes.size()), copy.get());
    forms::StoredBytes span(copy.get(), length);
    return icon ? forms::decode_ico(span) : forms::decode_bmp(span);
}

void expect_invalid(forms::ErrorOr<Surface> const& result, std::string const& what)
{
    ASSERT_TRUE(result.is_error()) << what;
    EXPECT_EQ(result.error().number, forms::errors::invalid_picture) << what;
    EXPECT_EQ(result.error().description, "Invalid picture") << what;
}

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zorvane-bmp-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    std::filesystem::path const& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

void write_file(std::filesystem::path const& path, Bytes const& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<char const*>(bytes.data()), std::streamsize(bytes.size()));
}

// A Python that has PIL, the independent reader; empty when there is none.
std::string python_with_pil()
{
    for (char const* candidate : { "/usr/bin/python3", "python3" })
        if (std::system((std::string(candidate) + " -c 'import PIL.Image' >/dev/null 2>&1").c_str()) == 0)
            return candidate;
    return {};
}

std::string run(std::string const& command)
{
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 65536> buffer;
        std::size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            output.append(buffer.data(), n);
        pclose(pipe);
    }
    return output;
}

std::string hex(Surface const& s)
{
    static char const digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < s.size_in_bytes(); ++i) {
        out += digits[s.data()[i] >> 4];
        out += digits[s.data()[i] & 15];
    }
    return out;
}

// What PIL makes of a file: format, mode, size and dpi on the first line, the
// pixels as RGB top-down in hex on the second, and for an icon the alpha values.
std::string read_with_pil(std::string const& python, std::filesystem::path const& file)
{
    char const* script = "import sys\n"
                         "from PIL import Image\n"
                         "im = Image.open(sys.argv[1])\n"
                         "dpi = im.info.get('dpi', (0, 0))\n"
                         "print(im.format, im.mode, im.size[0], im.size[1], round(dpi[0]), round(dpi[1]))\n"
                         "print(im.convert('RGB').tobytes().hex())\n"
                         "if im.mode == 'RGBA':\n"
                         "    print(min(im.getchannel('A').getdata()))\n";
    return run(python + " -c \"" + script + "\" " + file.string());
}

TEST(BmpCodec, RoundTripsEveryWidthAndPadding)
{
    for (auto [w, h] : { std::pair { 1, 1 }, { 2, 3 }, { 3, 2 }, { 4, 4 }, { 5, 7 }, { 17, 1 }, { 1, 17 }, { 600, 380 } }) {
        Surface original = pattern(w, h);
        auto bytes = forms::encode_bmp(original);
        auto decoded = forms::decode_bmp(bytes);
        ASSERT_FALSE(decoded.is_error()) << w << "x" << h;
        EXPECT_TRUE(decoded.value() == original) << w << "x" << h;
    }
}

TEST(BmpCodec, WritesTheHeadersOfAWindowsBitmap)
{
    auto bytes = forms::encode_bmp(pattern(600, 380));
    ASSERT_EQ(bytes.size(), 684054u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(u32(bytes, 2), 684054u); // file size
    EXPECT_EQ(u32(bytes, 6), 0u);      // reserved
    EXPECT_EQ(u32(bytes, 10), 54u);    // pixels right after the headers: no palette
    EXPECT_EQ(u32(bytes, 14), 40u);
    EXPECT_EQ(std::int32_t(u32(bytes, 18)), 600);
    EXPECT_EQ(std::int32_t(u32(bytes, 22)), 380); // positive: bottom-up
    EXPECT_EQ(u16(bytes, 26), 1);
    EXPECT_EQ(u16(bytes, 28), 24);
    EXPECT_EQ(u32(bytes, 30), 0u); // uncompressed
    EXPECT_EQ(u32(bytes, 34), 684000u);
    EXPECT_EQ(u32(bytes, 38), 3780u);
    EXPECT_EQ(u32(bytes, 42), 3780u);
    EXPECT_EQ(u32(bytes, 46), 0u);
    EXPECT_EQ(u32(bytes, 50), 0u);
}

TEST(BmpCodec, PadsRowsWithZerosAndStoresThemBottomUp)
{
    for (int w : { 1, 2, 3, 5 }) {
        Surface s = pattern(w, 3);
        auto bytes = forms::encode_bmp(s);
        std::size_t stride = (std::size_t(w) * 3 + 3) / 4 * 4;
        ASSERT_EQ(bytes.size(), 54 + stride * 3) << w;
        EXPECT_EQ(u32(bytes, 2), bytes.size()) << w;
        EXPECT_EQ(u32(bytes, 34), stride * 3) << w;
        for (int row = 0; row < 3; ++row) {
            std::size_t at = 54 + stride * std::size_t(row);
            // The first stored row is the bottom one, blue first.
            auto bottom_first = s.pixel(0, 2 - row);
            EXPECT_EQ(bytes[at], bottom_first.b);
            EXPECT_EQ(bytes[at + 1], bottom_first.g);
            EXPECT_EQ(bytes[at + 2], bottom_first.r);
            for (std::size_t pad = std::size_t(w) * 3; pad < stride; ++pad)
                EXPECT_EQ(bytes[at + pad], 0) << w;
        }
    }
}

TEST(BmpCodec, AnIndependentReaderSeesTheSamePixels)
{
    std::string python = python_with_pil();
    if (python.empty())
        GTEST_SKIP() << "no Python with PIL";
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    for (auto [w, h] : { std::pair { 1, 2 }, { 2, 2 }, { 3, 5 }, { 5, 3 }, { 600, 380 } }) {
        Surface s = pattern(w, h);
        auto file = dir.path() / ("p" + std::to_string(w) + ".bmp");
        write_file(file, forms::encode_bmp(s));
        std::string expected = "BMP RGB " + std::to_string(w) + " " + std::to_string(h) + " 96 96\n" + hex(s) + "\n";
        EXPECT_EQ(read_with_pil(python, file), expected) << w << "x" << h;
    }
}

TEST(BmpCodec, ReadsTopDownRowsAndLongerInfoHeaders)
{
    Surface s = pattern(5, 4);
    auto bottom_up = forms::encode_bmp(s);
    std::size_t stride = 16;

    Bytes top_down = bottom_up;
    put32(top_down, 22, std::uint32_t(-4));
    for (std::size_t row = 0; row < 4; ++row)
        std::copy_n(bottom_up.begin() + std::ptrdiff_t(54 + stride * (3 - row)), stride,
            top_down.begin() + std::ptrdiff_t(54 + stride * row));
    auto decoded = forms::decode_bmp(top_down);
    ASSERT_FALSE(decoded.is_error());
    EXPECT_TRUE(decoded.value() == s);

    // A 124-byte header and a gap before the pixels, as other writers make them.
    Bytes longer(bottom_up.begin(), bottom_up.begin() + 54);
    longer.insert(longer.end(), 84 + 10, 0xee);
    longer.insert(longer.end(), bottom_up.begin() + 54, bottom_up.end());
    put32(longer, 14, 124);
    put32(longer, 10, 54 + 84 + 10);
    decoded = forms::decode_bmp(longer);
    ASSERT_FALSE(decoded.is_error());
    EXPECT_TRUE(decoded.value() == s);
}

// A large stored picture is drawn from its file's rows: whichever way the rows
// run and wherever the clip cuts, it draws what its decoded pixels would.
TEST(StoredPictureDraw, FileRowsDrawAsTheDecodedPixels)
{
    Surface const s = pattern(101, 70);
    Bytes const bottom_up = forms::encode_bmp(s);
    std::size_t const stride = 304;
    Bytes top_down = bottom_up;
    put32(top_down, 22, std::uint32_t(-70));
    for (std::size_t row = 0; row < 70; ++row)
        std::copy_n(bottom_up.begin() + std::ptrdiff_t(54 + stride * (69 - row)), stride,
            top_down.begin() + std::ptrdiff_t(54 + stride * row));
    for (Bytes const* bytes : std::initializer_list<Bytes const*> { &bottom_up, &top_down }) {
        forms::StoredPicture picture(forms::must(forms::open_bmp(*bytes)));
        for (forms::Rect clip : { forms::Rect { 0, 0, 140, 100 }, { 20, 10, 33, 17 }, { -5, -5, 30, 30 }, { 110, 0, 10, 10 } }) {
            for (auto [x, y] : { std::pair { 0, 0 }, { 13, 7 }, { -9, -4 } }) {
                Surface drawn(120, 90, { 1, 1, 1 }), expected(120, 90, { 1, 1, 1 });
                picture.draw(drawn, x, y, clip);
                expected.blit(s, x, y, clip);
                EXPECT_TRUE(drawn == expected) << (bytes == &top_down) << " " << clip.x << "," << clip.y << " at " << x << "," << y;
            }
        }
        EXPECT_TRUE(*picture.pixels() == s);
    }
}

TEST(BmpCodec, RejectsEveryTruncation)
{
    // 3 x 2: rows of 9 bytes padded to 12; the last row may lose its padding.
    auto bytes = forms::encode_bmp(pattern(3, 2));
    ASSERT_EQ(bytes.size(), 78u);
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        auto result = decode_exact(bytes, length);
        if (length < 54 + 12 + 9)
            expect_invalid(result, "length " + std::to_string(length));
        else
            EXPECT_FALSE(result.is_error()) << length;
    }
}

TEST(BmpCodec, RejectsMalformedHeaders)
{
    Bytes const good = forms::encode_bmp(pattern(4, 3));
    auto mutated = [&](auto change) {
        Bytes b = good;
        change(b);
        return b;
    };
    struct Case {
        char const* what;
        Bytes bytes;
    };
    std::vector<Case> cases = {
        { "wrong magic", mutated([](Bytes& b) { b[1] = 'A'; }) },
        { "8 bits a pixel", mutated([](Bytes& b) { put16(b, 28, 8); }) },
        { "16 bits a pixel", mutated([](Bytes& b) { put16(b, 28, 16); }) },
        { "32 bits a pixel", mutated([](Bytes& b) { put16(b, 28, 32); }) },
        { "run-length compressed", mutated([](Bytes& b) { put32(b, 30, 1); }) },
        { "bit fields", mutated([](Bytes& b) { put32(b, 30, 3); }) },
        { "no planes", mutated([](Bytes& b) { put16(b, 26, 0); }) },
        { "core header", mutated([](Bytes& b) { put32(b, 14, 12); }) },
        { "header longer than the file", mutated([](Bytes& b) { put32(b, 14, 0xffffffffu); }) },
        { "zero width", mutated([](Bytes& b) { put32(b, 18, 0); }) },
        { "negative width", mutated([](Bytes& b) { put32(b, 18, std::uint32_t(-4)); }) },
        { "zero height", mutated([](Bytes& b) { put32(b, 22, 0); }) },
        { "most negative height", mutated([](Bytes& b) { put32(b, 22, 0x80000000u); }) },
        { "absurd width", mutated([](Bytes& b) { put32(b, 18, 0x7fffffffu); }) },
        { "absurd height", mutated([](Bytes& b) { put32(b, 22, 0x7fffffffu); }) },
        { "width beyond the pixels", mutated([](Bytes& b) { put32(b, 18, 5); }) },
        { "height beyond the pixels", mutated([](Bytes& b) { put32(b, 22, 4); }) },
        { "pixels past the end", mutated([](Bytes& b) { put32(b, 10, 60); }) },
        { "pixels far past the end", mutated([](Bytes& b) { put32(b, 10, 0xfffffff0u); }) },
        { "pixels inside the headers", mutated([](Bytes& b) { put32(b, 10, 20); }) },
    };
    for (auto const& c : cases)
        expect_invalid(decode_exact(c.bytes, c.bytes.size()), c.what);
    expect_invalid(forms::decode_bmp(forms::encode_ico(pattern(32, 32))), "an icon");
}

TEST(IcoCodec, RoundTripsAndWritesOneOpaqueImage)
{
    Surface s = pattern(32, 32);
    auto bytes = forms::encode_ico(s);
    ASSERT_EQ(bytes.size(), 6u + 16 + 40 + 32 * 96 + 32 * 4);
    EXPECT_EQ(u16(bytes, 0), 0);
    EXPECT_EQ(u16(bytes, 2), 1); // an icon
    EXPECT_EQ(u16(bytes, 4), 1); // one image
    EXPECT_EQ(bytes[6], 32);
    EXPECT_EQ(bytes[7], 32);
    EXPECT_EQ(bytes[8], 0);
    EXPECT_EQ(u16(bytes, 10), 1);
    EXPECT_EQ(u16(bytes, 12), 24);
    EXPECT_EQ(u32(bytes, 14), bytes.size() - 22);
    EXPECT_EQ(u32(bytes, 18), 22u);
    EXPECT_EQ(u32(bytes, 22), 40u);
    EXPECT_EQ(std::int32_t(u32(bytes, 26)), 32);
    EXPECT_EQ(std::int32_t(u32(bytes, 30)), 64); // colour rows and mask rows
    EXPECT_EQ(u16(bytes, 36), 24);
    for (std::size_t i = bytes.size() - 128; i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], 0) << "mask byte " << i;

    auto decoded = forms::decode_ico(bytes);
    ASSERT_FALSE(decoded.is_error());
    EXPECT_TRUE(decoded.value() == s);

    std::string python = python_with_pil();
    if (python.empty())
        GTEST_SKIP() << "no Python with PIL";
    TempDir dir;
    auto file = dir.path() / "icon.ico";
    write_file(file, bytes);
    EXPECT_EQ(read_with_pil(python, file), "ICO RGBA 32 32 0 0\n" + hex(s) + "\n255\n");
}

TEST(IcoCodec, RejectsMalformedIcons)
{
    Bytes const good = forms::encode_ico(pattern(32, 32));
    for (std::size_t length = 0; length < good.size(); ++length)
        expect_invalid(decode_exact(good, length, true), "length " + std::to_string(length));

    auto mutated = [&](auto change) {
        Bytes b = good;
        change(b);
        return b;
    };
    struct Case {
        char const* what;
        Bytes bytes;
    };
    std::vector<Case> cases = {
        { "a cursor", mutated([](Bytes& b) { put16(b, 2, 2); }) },
        { "no images", mutated([](Bytes& b) { put16(b, 4, 0); }) },
        { "reserved set", mutated([](Bytes& b) { put16(b, 0, 1); }) },
        { "image past the end", mutated([](Bytes& b) { put32(b, 18, 30); }) },
        { "image far past the end", mutated([](Bytes& b) { put32(b, 18, 0xfffffff0u); }) },
        { "image size lying", mutated([](Bytes& b) { put32(b, 14, 0xffffff00u); }) },
        { "image size short of the mask", mutated([](Bytes& b) { put32(b, 14, u32(b, 14) - 1); }) },
        { "entry size differs", mutated([](Bytes& b) { b[6] = 16; }) },
        { "height not doubled", mutated([](Bytes& b) { put32(b, 30, 32); }) },
        { "odd height", mutated([](Bytes& b) { put32(b, 30, 65); }) },
        { "negative height", mutated([](Bytes& b) { put32(b, 30, std::uint32_t(-64)); }) },
        { "32 bits a pixel", mutated([](Bytes& b) { put16(b, 36, 32); }) },
        { "compressed", mutated([](Bytes& b) { put32(b, 38, 1); }) },
        { "a huge palette", mutated([](Bytes& b) { put32(b, 54, 0x40000000u); }) },
        { "PNG content", mutated([](Bytes& b) {
             std::uint8_t const png[] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n' };
             std::copy(std::begin(png), std::end(png), b.begin() + 22);
         }) },
    };
    for (auto const& c : cases)
        expect_invalid(decode_exact(c.bytes, c.bytes.size(), true), c.what);
    expect_invalid(forms::decode_ico(forms::encode_bmp(pattern(32, 32))), "a bitmap");
}

}
