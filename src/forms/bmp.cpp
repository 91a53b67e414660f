#include "bmp.h"

#include <cstddef>
#include <optional>

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

namespace forms {

namespace {

constexpr std::size_t file_header_size = 14;
constexpr std::size_t info_header_size = 40;
constexpr std::size_t icon_dir_size = 6;
constexpr std::size_t icon_entry_size = 16;
constexpr std::uint32_t bi_rgb = 0;
constexpr std::int32_t pixels_per_metre = 3780; // 96 dpi

// Far beyond any picture this program keeps, and small enough that no size
// computed from it overflows.
constexpr std::int64_t max_dimension = 1 << 16;
constexpr std::int64_t max_icon_dimension = 256;

RuntimeError invalid_picture() { return { errors::invalid_picture, "Invalid picture" }; }

std::uint16_t u16(StoredBytes bytes, std::size_t at) { return std::uint16_t(bytes[at] | bytes[at + 1] << 8); }

std::uint32_t u32(StoredBytes bytes, std::size_t at)
{
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16
        | std::uint32_t(bytes[at + 3]) << 24;
}

// True when `count` bytes from `at` lie inside `bytes`.
bool holds(StoredBytes bytes, std::uint64_t at, std::uint64_t count)
{
    return at <= bytes.size() && count <= bytes.size() - at;
}

struct InfoHeader {
    std::uint32_t size { 0 };
    std::int64_t width { 0 };
    std::int64_t height { 0 };
    std::uint16_t planes { 0 };
    std::uint16_t bit_count { 0 };
    std::uint32_t compression { 0 };
    std::uint32_t colours_used { 0 };
};

// The info header at `at`, of the 40-byte form or one of its longer successors.
std::optional<InfoHeader> read_info_header(StoredBytes bytes, std::size_t at)
{
    if (!holds(bytes, at, info_header_size))
        return std::nullopt;
    InfoHeader header;
    header.size = u32(bytes, at);
    if (header.size < info_header_size || !holds(bytes, at, header.size))
        return std::nullopt;
    header.width = std::int32_t(u32(bytes, at + 4));
    header.height = std::int32_t(u32(bytes, at + 8));
    header.planes = u16(bytes, at + 12);
    header.bit_count = u16(bytes, at + 14);
    header.compression = u32(bytes, at + 16);
    header.colours_used = u32(bytes, at + 32);
    return header;
}

std::size_t row_stride(std::int64_t width) { return (std::size_t(width) * 3 + 3) & ~std::size_t(3); }

#if defined(__x86_64__) || defined(__i386__)
// Five pixels at a time with one byte shuffle. The sixteenth byte of each
// store is the next pixel's, unswapped, until the next store or the caller's
// tail puts it right; no store reaches past `size`. Returns the bytes done.
__attribute__((target("ssse3"))) std::size_t swap_red_blue_ssse3(std::uint8_t const* source, std::uint8_t* target, std::size_t size)
{
    __m128i const order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    std::size_t at = 0;
    for (; at + 46 <= size; at += 45) {
        __m128i const first = _mm_loadu_si128(reinterpret_cast<__m128i const*>(source + at));
        __m128i const second = _mm_loadu_si128(reinterpret_cast<__m128i const*>(source + at + 15));
        __m128i const third = _mm_loadu_si128(reinterpret_cast<__m128i const*>(source + at + 30));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + at), _mm_shuffle_epi8(first, order));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + at + 15), _mm_shuffle_epi8(second, order));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + at + 30), _mm_shuffle_epi8(third, order));
    }
    for (; at + 16 <= size; at += 15) {
        __m128i const pixels = _mm_loadu_si128(reinterpret_cast<__m128i const*>(source + at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + at), _mm_shuffle_epi8(pixels, order));
    }
    return at;
}

bool has_ssse3()
{
    static bool const has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return has;
}
#endif

// One row from red-green-blue to blue-green-red, or back: the same swap.
void swap_red_blue(std::uint8_t const* source, std::uint8_t* target, std::size_t size)
{
    std::size_t at = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (has_ssse3())
        at = swap_red_blue_ssse3(source, target, size);
#endif
    for (; at < size; at += 3) {
        target[at] = source[at + 2];
        target[at + 1] = source[at + 1];
        target[at + 2] = source[at];
    }
}

// Little-endian fields written in place, into a buffer sized beforehand.
class Writer {
public:
    explicit Writer(std::uint8_t* at)
        : m_at(at)
    {
    }

    std::uint8_t* at() const { return m_at; }
    void skip(std::size_t count) { m_at += count; }
    void put8(std::uint8_t value) { *m_at++ = value; }
    void put16(std::uint32_t value)
    {
        put8(std::uint8_t(value));
        put8(std::uint8_t(value >> 8));
    }
    void put32(std::uint32_t value)
    {
        put16(value & 0xffff);
        put16(value >> 16);
    }

private:
    std::uint8_t* m_at;
};

void put_info_header(Writer& out, int width, int height, std::uint32_t image_size, std::int32_t ppm)
{
    out.put32(info_header_size);
    out.put32(std::uint32_t(width));
    out.put32(std::uint32_t(height));
    out.put16(1);  // planes
    out.put16(24); // bits a pixel
    out.put32(bi_rgb);
    out.put32(image_size);
    out.put32(std::uint32_t(ppm));
    out.put32(std::uint32_t(ppm));
    out.put32(0); // colours used
    out.put32(0); // colours important
}

// Bottom-up rows of blue-green-red pixels, padded to four bytes. The padding
// is left as it is: the buffer comes zeroed.
void put_pixels(Writer& out, Surface const& pixels)
{
    std::size_t const stride = row_stride(pixels.width());
    for (int y = pixels.height() - 1; y >= 0; --y) {
        swap_red_blue(pixels.row(y), out.at(), std::size_t(pixels.width()) * 3);
        out.skip(stride);
    }
}

}

// Rows of blue-green-red pixels from `at`, padded to four bytes; the last row
// may lack its padding.
std::optional<BmpRows> rows_at(StoredBytes bytes, std::size_t at, int width, int height, bool top_down)
{
    std::size_t stride = row_stride(width);
    std::uint64_t needed = std::uint64_t(stride) * std::uint64_t(height - 1) + std::uint64_t(width) * 3;
    if (!holds(bytes, at, needed))
        return std::nullopt;
    return BmpRows(bytes, at, stride, width, height, top_down);
}

void BmpRows::read(int y, int x, int count, std::uint8_t* target) const
{
    std::size_t const row = std::size_t(m_top_down ? y : m_height - 1 - y);
    swap_red_blue(m_bytes.data() + m_first + m_stride * row + std::size_t(x) * 3, target, std::size_t(count) * 3);
}

Surface BmpRows::decode() const
{
    Surface surface(m_width, m_height);
    for (int y = 0; y < m_height; ++y)
        read(y, 0, m_width, surface.row(y));
    return surface;
}

ErrorOr<BmpRows> open_bmp(StoredBytes bytes)
{
    if (!holds(bytes, 0, file_header_size) || bytes[0] != 'B' || bytes[1] != 'M')
        return invalid_picture();
    std::uint32_t pixel_offset = u32(bytes, 10);
    auto header = read_info_header(bytes, file_header_size);
    if (!header || header->planes != 1 || header->bit_count != 24 || header->compression != bi_rgb)
        return invalid_picture();
    std::int64_t height = header->height < 0 ? -header->height : header->height;
    if (header->width < 1 || header->width > max_dimension || height < 1 || height > max_dimension)
        return invalid_picture();
    if (pixel_offset < file_header_size + header->size)
        return invalid_picture();
    auto rows = rows_at(bytes, pixel_offset, int(header->width), int(height), header->height < 0);
    if (!rows)
        return invalid_picture();
    return *rows;
}

ErrorOr<Surface> decode_bmp(StoredBytes bytes)
{
    TRY_ASSIGN(auto rows, open_bmp(bytes));
    return rows.decode();
}

std::vector<std::uint8_t> encode_bmp(Surface const& pixels)
{
    std::uint32_t image_size = std::uint32_t(row_stride(pixels.width()) * std::size_t(pixels.height()));
    std::uint32_t offset = file_header_size + info_header_size;
    std::vector<std::uint8_t> bytes(offset + image_size);
    Writer out(bytes.data());
    out.put8('B');
    out.put8('M');
    out.put32(offset + image_size);
    out.put32(0); // reserved
    out.put32(offset);
    put_info_header(out, pixels.width(), pixels.height(), image_size, pixels_per_metre);
    put_pixels(out, pixels);
    return bytes;
}

ErrorOr<Surface> decode_ico(StoredBytes bytes)
{
    if (!holds(bytes, 0, icon_dir_size + icon_entry_size))
        return invalid_picture();
    if (u16(bytes, 0) != 0 || u16(bytes, 2) != 1 || u16(bytes, 4) == 0)
        return invalid_picture();
    std::size_t const entry = icon_dir_size;
    std::int64_t entry_width = bytes[entry] == 0 ? 256 : bytes[entry];
    std::int64_t entry_height = bytes[entry + 1] == 0 ? 256 : bytes[entry + 1];
    std::uint32_t image_size = u32(bytes, entry + 8);
    std::uint32_t image_offset = u32(bytes, entry + 12);
    if (!holds(bytes, image_offset, image_size))
        return invalid_picture();
    StoredBytes image = bytes.subspan(image_offset, image_size);

    // The height counts the colour rows and the mask rows together.
    auto header = read_info_header(image, 0);
    if (!header || header->planes != 1 || header->bit_count != 24 || header->compression != bi_rgb)
        return invalid_picture();
    std::int64_t width = header->width;
    std::int64_t height = header->height / 2;
    if (width < 1 || width > max_icon_dimension || height < 1 || height > max_icon_dimension
        || header->height != height * 2 || width != entry_width || height != entry_height
        || header->colours_used > 256)
        return invalid_picture();

    std::uint64_t pixel_offset = std::uint64_t(header->size) + std::uint64_t(header->colours_used) * 4;
    std::uint64_t colour_size = std::uint64_t(row_stride(width)) * std::uint64_t(height);
    std::uint64_t mask_size = std::uint64_t((width + 31) / 32 * 4) * std::uint64_t(height);
    if (!holds(image, pixel_offset, colour_size + mask_size))
        return invalid_picture();
    auto rows = rows_at(image, std::size_t(pixel_offset), int(width), int(height), false);
    if (!rows)
        return invalid_picture();
    return rows->decode();
}

std::vector<std::uint8_t> encode_ico(Surface const& pixels)
{
    int width = pixels.width();
    int height = pixels.height();
    std::size_t colour_size = row_stride(width) * std::size_t(height);
    std::size_t mask_size = std::size_t((width + 31) / 32 * 4) * std::size_t(height);
    std::uint32_t image_size = std::uint32_t(info_header_size + colour_size + mask_size);
    std::uint32_t image_offset = icon_dir_size + icon_entry_size;

    // The mask stays as the buffer comes: zero.
    std::vector<std::uint8_t> bytes(image_offset + image_size);
    Writer out(bytes.data());
    out.put16(0); // reserved
    out.put16(1); // an icon, not a cursor
    out.put16(1); // one image
    out.put8(std::uint8_t(width)); // 256 is stored as 0
    out.put8(std::uint8_t(height));
    out.put8(0);   // no palette
    out.put8(0);   // reserved
    out.put16(1);  // planes
    out.put16(24); // bits a pixel
    out.put32(image_size);
    out.put32(image_offset);
    put_info_header(out, width, height * 2, std::uint32_t(colour_size + mask_size), 0);
    put_pixels(out, pixels);
    return bytes;
}

}
