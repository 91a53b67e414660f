#pragma once

#include "description.h"
#include "error.h"
#include "surface.h"

#include <cstdint>
#include <vector>

namespace forms {

// A Windows bitmap file of 24 bits a pixel, uncompressed, rows bottom-up or
// top-down. Anything else, or anything cut short, is an invalid picture.
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
