#pragma once

#include "description.h"
#include "error.h"
#include "surface.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace forms {

// The pixels of a 24-bit bitmap file, checked whole but left where they lie
// in it: rows are turned into red-green-blue as they are read.
class BmpRows {
public:
    int width() const { return m_width; }
    int height() const { return m_height; }

    // `count` pixels of row `y`, counted from the top, from column `x` on;
    // all of them inside the picture.
    void read(int y, int x, int count, std::uint8_t* target) const;
    Surface decode() const;

private:
    friend std::optional<BmpRows> rows_at(StoredBytes, std::size_t, int, int, bool);
    BmpRows(StoredBytes bytes, std::size_t first, std::size_t stride, int width, int height, bool top_down)
        : m_bytes(bytes)
        , m_first(first)
        , m_stride(stride)
        , m_width(width)
        , m_height(height)
        , m_top_down(top_down)
    {
    }

    StoredBytes m_bytes;
    std::size_t m_first { 0 };
    std::size_t m_stride { 0 };
    int m_width { 0 };
    int m_height { 0 };
    bool m_top_down { false };
};

// A Windows bitmap file of 24 bits a pixel, uncompressed, rows bottom-up or
// top-down. Anything else, or anything cut short, is an invalid picture.
ErrorOr<BmpRows> open_bmp(StoredBytes bytes);
ErrorOr<Surface> decode_bmp(StoredBytes bytes);

// A Windows bitmap file of 24 bits a pixel: rows bottom-up, padded to four
// bytes, 3780 pixels a metre (96 dpi) both ways, no palette.
std::vector<std::uint8_t> encode_bmp(Surface const& pixels);

// An icon file's first image, which must be a 24-bit uncompressed bitmap. The
// AND mask is checked for presence but not applied: a surface has no alpha.
ErrorOr<Surface> decode_ico(StoredBytes bytes);

// An icon file of one 24-bit image (at most 256 x 256) whose AND mask is all
// clear, so that no pixel is transparent.
std::vector<std::uint8_t> encode_ico(Surface const& pixels);

}
