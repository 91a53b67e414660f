// Draws every stored picture and writes them into the folder named on the
// command line. The output depends on nothing but this file: no randomness, and
// of floating point only +, -, *, / and sqrt, which IEEE rounds exactly (the
// build keeps the compiler from fusing them), so every x86-64 build writes the
// very bytes that are stored.

#include "forms/bmp.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using forms::Rgb;
using forms::Surface;

struct Vec {
    double x { 0 };
    double y { 0 };
};

Vec operator+(Vec a, Vec b) { return { a.x + b.x, a.y + b.y }; }
Vec operator-(Vec a, Vec b) { return { a.x - b.x, a.y - b.y }; }
Vec operator*(Vec a, double s) { return { a.x * s, a.y * s }; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
double cross(Vec a, Vec b) { return a.x * b.y - a.y * b.x; }
double length(Vec a) { return std::sqrt(dot(a, a)); }

// Channels 0 to 255, kept as doubles until the picture is written.
struct Colour {
    double r { 0 };
    double g { 0 };
    double b { 0 };
};

constexpr Colour black { 0, 0, 0 };
constexpr Colour white { 255, 255, 255 };

Colour mix(Colour a, Colour b, double t)
{
    return { a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t };
}

Colour scaled(Colour c, double s) { return { c.r * s, c.g * s, c.b * s }; }

double clamp01(double t) { return std::clamp(t, 0.0, 1.0); }

// 0 at `from`, 1 at `to`, eased in between.
double smooth(double from, double to, double v)
{
    double t = clamp01((v - from) / (to - from));
    return t * t * (3 - 2 * t);
}

std::uint8_t channel(double v) { return std::uint8_t(std::clamp(int(v + 0.5), 0, 255)); }

class Canvas {
public:
    Canvas(int width, int height, Colour fill = black)
        : m_width(width)
        , m_height(height)
        , m_pixels(std::size_t(width * height), fill)
    {
    }

    int width() const { return m_width; }
    int height() const { return m_height; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < m_width && y < m_height; }

    Colour& at(int x, int y) { return m_pixels[std::size_t(y * m_width + x)]; }
    void set(int x, int y, Colour c)
    {
        if (contains(x, y))
            at(x, y) = c;
    }
    void blend(int x, int y, Colour c, double alpha)
    {
        if (contains(x, y) && alpha > 0)
            at(x, y) = mix(at(x, y), c, clamp01(alpha));
    }

    // Paints every pixel with the colour and opacity that `paint` gives for its centre.
    void paint(std::function<void(Vec, Colour&)> const& paint)
    {
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                paint({ x + 0.5, y + 0.5 }, at(x, y));
    }

    Surface surface() const
    {
        Surface out(m_width, m_height);
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x) {
                auto c = m_pixels[std::size_t(y * m_width + x)];
                out.set_pixel(x, y, { channel(c.r), channel(c.g), channel(c.b) });
            }
        return out;
    }

private:
    int m_width;
    int m_height;
    std::vector<Colour> m_pixels;
};

// Coverage of a pixel by a shape whose signed distance at the pixel's centre is
// `distance` (negative inside): a one-pixel soft edge.
double coverage(double distance) { return clamp01(0.5 - distance); }

// Signed distances, negative inside.
double circle(Vec p, Vec centre, double radius) { return length(p - centre) - radius; }

double segment(Vec p, Vec a, Vec b)
{
    Vec ab = b - a;
    double t = clamp01(dot(p - a, ab) / dot(ab, ab));
    return length(p - (a + ab * t));
}

double capsule(Vec p, Vec a, Vec b, double radius) { return segment(p, a, b) - radius; }

// A polygon's exact signed distance; the corners may run either way round.
double polygon(Vec p, std::vector<Vec> const& corners)
{
    double d = dot(p - corners[0], p - corners[0]);
    int winding = 0;
    for (std::size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i, ++i) {
        Vec e = corners[j] - corners[i];
        Vec w = p - corners[i];
        Vec b = w - e * clamp01(dot(w, e) / dot(e, e));
        d = std::min(d, dot(b, b));
        bool up = p.y >= corners[i].y;
        bool down = p.y < corners[j].y;
        double side = cross(e, w);
        if (up && down && side > 0)
            ++winding;
        if (!up && !down && side < 0)
            --winding;
    }
    return winding != 0 ? -std::sqrt(d) : std::sqrt(d);
}

// Union that melts two shapes together over `k` pixels.
double smooth_union(double a, double b, double k)
{
    double h = clamp01(0.5 + 0.5 * (b - a) / k);
    return b + (a - b) * h - k * h * (1 - h);
}

// Pixel art: every pixel whose centre lies inside the convex polygon (corners
// on whole pixel centres, either way round).
void fill_convex(Canvas& canvas, std::vector<std::pair<int, int>> const& corners, Colour c)
{
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            int sign = 0;
            bool inside = true;
            for (std::size_t i = 0, j = corners.size() - 1; i < corners.size() && inside; j = i, ++i) {
                auto [ax, ay] = corners[j];
                auto [bx, by] = corners[i];
                int side = (bx - ax) * (y - ay) - (by - ay) * (x - ax);
                if (side == 0)
                    continue;
                int s = side > 0 ? 1 : -1;
                if (sign == 0)
                    sign = s;
                else if (s != sign)
                    inside = false;
            }
            if (inside)
                canvas.set(x, y, c);
        }
}

// A one-pixel line from pixel to pixel, both ends included.
void line(Canvas& canvas, int x0, int y0, int x1, int y1, Colour c)
{
    int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    for (;;) {
        canvas.set(x0, y0, c);
        if (x0 == x1 && y0 == y1)
            break;
        int e2 = 2 * error;
        if (e2 >= dy) {
            error += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            error += dx;
            y0 += sy;
        }
    }
}

// The window icon: four rounded squares in a 2 x 2 grid on very dark red.
Surface draw_icon()
{
    Colour const ground { 42, 0, 0 };
    Canvas canvas(32, 32, ground);
    struct Square {
        int x, y;
        Colour colour;
    };
    Square const squares[] = {
        { 3, 3, { 255, 0, 0 } },
        { 14, 3, { 0, 0, 255 } },
        { 3, 14, { 0, 255, 0 } },
        { 14, 14, { 255, 0, 255 } },
    };
    for (auto const& square : squares) {
        // A 9 x 9 square whose corners are rounded off by a radius of 2.5 pixels.
        Vec centre { square.x + 4.5, square.y + 4.5 };
        for (int y = square.y; y < square.y + 9; ++y)
            for (int x = square.x; x < square.x + 9; ++x) {
                Vec p { x + 0.5, y + 0.5 };
                Vec q { std::abs(p.x - centre.x) - 2.0, std::abs(p.y - centre.y) - 2.0 };
                double outside = length({ std::max(q.x, 0.0), std::max(q.y, 0.0) });
                double d = outside + std::min(std::max(q.x, q.y), 0.0) - 2.5;
                // A lighter rim at the top and left, a darker one at the bottom and right.
                Colour c = square.colour;
                if (y == square.y || x == square.x)
                    c = mix(c, white, 0.35);
                else if (y == square.y + 8 || x == square.x + 8)
                    c = scaled(c, 0.7);
                canvas.blend(x, y, c, coverage(d));
            }
    }
    return canvas.surface();
}

// Sixteen directions a sixteenth of a turn apart, for the rays of the burst.
constexpr double cos_22_5 = 0.92387953251128674;
constexpr double sin_22_5 = 0.38268343236508978;
constexpr double cos_45 = 0.70710678118654752;
Vec const compass[16] = {
    { 1, 0 }, { cos_22_5, sin_22_5 }, { cos_45, cos_45 }, { sin_22_5, cos_22_5 },
    { 0, 1 }, { -sin_22_5, cos_22_5 }, { -cos_45, cos_45 }, { -cos_22_5, sin_22_5 },
    { -1, 0 }, { -cos_22_5, -sin_22_5 }, { -cos_45, -cos_45 }, { -sin_22_5, -cos_22_5 },
    { 0, -1 }, { sin_22_5, -cos_22_5 }, { cos_45, -cos_45 }, { cos_22_5, -sin_22_5 },
};

// The average of `colour_at` over a 4 x 4 grid of points inside the pixel.
template<typename ColourAt>
Colour supersampled(int x, int y, ColourAt const& colour_at)
{
    Colour sum;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            Colour c = colour_at(Vec { x + (i + 0.5) / 4, y + (j + 0.5) / 4 });
            sum = { sum.r + c.r, sum.g + c.g, sum.b + c.b };
        }
    return scaled(sum, 1.0 / 16);
}

// A frame of diagonal bands with checks at three corners and a purple burst at
// the fourth, a pale line running round inside it, around a black field.
Surface draw_background()
{
    int const width = 600, height = 360, frame = 20;
    Colour const purple { 120, 20, 175 };
    Colour const magenta { 225, 20, 165 };
    Colour const red { 235, 30, 40 };
    Colour const orange { 255, 135, 10 };
    Colour const yellow { 255, 222, 20 };
    Colour const bands[] = { purple, magenta, red, orange, yellow };
    Colour const edge { 60, 0, 80 };
    Colour const pale { 255, 240, 205 };
    Colour const night { 45, 0, 65 };
    Colour const burst_core { 250, 215, 255 };
    Colour const burst_rim { 150, 50, 235 };

    auto band_colour = [&](Vec p) {
        // Bands at 45 degrees, 10 pixels wide across the frame, each bright
        // along its middle.
        double along = (p.x + p.y) / 10.0;
        int band = int(along) % 5;
        double t = along - int(along);
        double shade = 0.74 + 0.26 * (1 - std::abs(2 * t - 1));
        return scaled(bands[band], shade);
    };
    auto check_colour = [&](Vec p) {
        bool odd = (int(p.x / 5) + int(p.y / 5)) % 2 != 0;
        return odd ? yellow : red;
    };
    Vec const burst_centre { 590, 10 };
    auto burst = [&](Vec p) {
        // Long and short rays in turn, on a round core.
        double d = circle(p, burst_centre, 2.6);
        for (int k = 0; k < 16; ++k) {
            Vec u = compass[k];
            Vec across { -u.y, u.x };
            double reach = k % 2 == 0 ? 8.8 : 5.6;
            double half = k % 2 == 0 ? 1.5 : 1.1;
            d = std::min(d, polygon(p, { burst_centre + across * half, burst_centre + u * reach, burst_centre - across * half }));
        }
        return d;
    };

    Canvas canvas(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int depth = std::min({ x, y, width - 1 - x, height - 1 - y });
            if (depth >= frame)
                continue;
            bool left = x < frame, right = x >= width - frame, top = y < frame, bottom = y >= height - frame;
            Colour c;
            if (right && top)
                c = night;
            else if ((left || right) && (top || bottom))
                c = supersampled(x, y, check_colour);
            else
                c = supersampled(x, y, band_colour);
            if (depth == 0 || depth == frame - 1)
                c = edge;
            else if (depth == frame - 4)
                c = pale;
            if (right && top) {
                c = supersampled(x, y, [&](Vec p) {
                    double d = burst(p);
                    if (d > 0)
                        return c;
                    double r = length(p - burst_centre);
                    return mix(burst_core, burst_rim, smooth(1.5, 7, r));
                });
            }
            canvas.at(x, y) = c;
        }
    return canvas.surface();
}

// Near-black inside a grey border, with a soft glow a little below and right
// of the middle, 128 at its brightest pixel.
Surface draw_empty_socket()
{
    Canvas canvas(21, 21, { 8, 8, 8 });
    for (int y = 1; y < 20; ++y)
        for (int x = 1; x < 20; ++x) {
            double d2 = double((x - 12) * (x - 12) + (y - 12) * (y - 12));
            double f = 1 / (1 + d2 / 8);
            canvas.at(x, y) = mix({ 8, 8, 8 }, { 128, 128, 128 }, f * f);
        }
    for (int i = 0; i < 21; ++i) {
        Colour const grey { 32, 32, 32 };
        canvas.at(i, 0) = grey;
        canvas.at(i, 20) = grey;
        canvas.at(0, i) = grey;
        canvas.at(20, i) = grey;
    }
    return canvas.surface();
}

// A round bulb glowing in `body` on black. Its top row and left column stay
// black: on the board they fall on the grid line of the socket beneath.
Surface draw_bulb(Colour body)
{
    Canvas canvas(20, 20);
    Vec const centre { 10.5, 10.5 };
    double const radius = 7.5;
    canvas.paint([&](Vec p, Colour& out) {
        double r = length(p - centre);
        // The halo: the body's light fading into the black around it.
        double halo = 1 - smooth(radius - 0.5, radius + 2.5, r);
        Colour c = scaled(body, 0.45 * halo);
        // The body, flat in the middle and darker towards its rim.
        double rim = smooth(radius * 0.55, radius, r);
        Colour lit = scaled(body, 1 - 0.3 * rim);
        c = mix(c, lit, coverage(r - radius));
        // A warmer core where the light is brightest, then the gleam at the
        // upper left, a short stroke following the curve of the glass.
        double core = length(p - Vec { 9.6, 9.6 });
        c = mix(c, white, 0.2 * coverage(r - radius) * (1 - smooth(0, 4, core)));
        double gleam = capsule(p, { 6.0, 8.6 }, { 8.6, 6.0 }, 0.9);
        c = mix(c, white, 0.95 * (1 - smooth(-0.4, 1.4, gleam)));
        out = c;
    });
    for (int i = 0; i < 20; ++i) {
        canvas.at(i, 0) = black;
        canvas.at(0, i) = black;
    }
    return canvas.surface();
}

// A block eraser lying at a slant, in single pixels: the top face, the long
// side facing the viewer and one end, with the paper sleeve's edge across it.
Surface draw_eraser()
{
    Colour const pink { 255, 172, 172 };
    Colour const red { 255, 0, 0 };
    Canvas canvas(20, 20);
    // Corners of the top face, at 45 degrees so that every edge is a clean
    // staircase, and of the long side and the near end below it.
    std::pair<int, int> const a { 2, 12 }, b { 12, 2 }, c { 17, 7 }, d { 7, 17 };
    std::pair<int, int> const a2 { 2, 14 }, c2 { 17, 9 }, d2 { 7, 19 };
    fill_convex(canvas, { a, b, c, d }, pink);
    fill_convex(canvas, { d, c, c2, d2 }, pink);
    fill_convex(canvas, { a, d, d2, a2 }, pink);
    auto edge = [&](std::pair<int, int> p, std::pair<int, int> q) { line(canvas, p.first, p.second, q.first, q.second, red); };
    edge(a, b);
    edge(b, c);
    edge(c, d);
    edge(d, a);
    edge(d, d2);
    edge(c, c2);
    edge(c2, d2);
    edge(a, a2);
    edge(a2, d2);
    // The sleeve's edge, a third of the way along.
    edge({ 5, 9 }, { 10, 14 });
    edge({ 10, 14 }, { 10, 16 });
    return canvas.surface();
}

// A screen's outline with a sparkle inside, black and white only.
Surface draw_clear_screen()
{
    Canvas canvas(20, 20);
    for (int x = 2; x <= 17; ++x) {
        canvas.set(x, 3, white);
        canvas.set(x, 15, white);
    }
    for (int y = 3; y <= 15; ++y) {
        canvas.set(2, y, white);
        canvas.set(17, y, white);
    }
    struct Dot {
        int x, y;
    };
    Dot const dots[] = {
        { 8, 6 }, { 8, 8 }, { 8, 10 }, { 6, 8 }, { 10, 8 }, // the sparkle
        { 7, 7 }, { 9, 7 }, { 7, 9 }, { 9, 9 },
        { 13, 11 }, { 13, 13 }, { 12, 12 }, { 14, 12 }, // a smaller one
        { 14, 6 }, { 5, 12 },
    };
    for (auto dot : dots)
        canvas.set(dot.x, dot.y, white);
    return canvas.surface();
}

// A dog's head in profile, facing left, on near-white that fades to white.
Surface draw_about()
{
    int const size = 72;
    Colour const ground { 250, 240, 248 };
    Colour const pink { 255, 175, 215 };
    Colour const magenta { 200, 25, 165 };
    Colour const outline { 120, 0, 95 };
    Colour const inner_ear { 255, 210, 232 };
    Colour const dark { 45, 0, 40 };

    Canvas canvas(size, size);
    canvas.paint([&](Vec p, Colour& out) {
        double r = length(p - Vec { 36, 36 });
        Colour c = mix(ground, white, smooth(22, 36, r));

        // The head: skull, muzzle and jaw melted together, then the neck, which
        // fades out towards the bottom.
        double skull = circle(p, { 43, 33 }, 15);
        double muzzle = capsule(p, { 14, 40 }, { 32, 38 }, 7);
        double jaw = capsule(p, { 20, 46 }, { 38, 49 }, 5);
        double neck = polygon(p, { { 34, 46 }, { 56, 38 }, { 64, 80 }, { 30, 80 } });
        double head = smooth_union(smooth_union(skull, muzzle, 6), jaw, 4);
        head = smooth_union(head, neck, 6);
        double far_ear = polygon(p, { { 33, 27 }, { 37, 5 }, { 47, 22 } });
        double near_ear = polygon(p, { { 42, 24 }, { 51, 3 }, { 57, 28 } });
        double ears = std::min(far_ear, near_ear) - 1;
        double body = smooth_union(head, ears, 2);
        double fade = 1 - smooth(54, 69, p.y);
        // Pink at the nose, magenta towards the back of the neck.
        double t = clamp01((p.x * 0.7 + p.y * 0.5 - 22) / 46);
        Colour fur = mix(pink, magenta, t);
        // The far ear lies behind the head, in shadow.
        if (far_ear < 0 && head > 0 && near_ear > 0)
            fur = scaled(fur, 0.82);
        double ear_inside = polygon(p, { { 45, 24 }, { 51, 8 }, { 53, 25 } });
        fur = mix(fur, inner_ear, 0.8 * coverage(ear_inside + 0.5));

        // Outline along the silhouette and where the far ear meets the head.
        Colour dog = mix(fur, outline, coverage(std::abs(body) - 0.6));
        c = mix(c, dog, fade * coverage(body - 0.7));

        // A soft sheen along the top of the muzzle and the forehead.
        double sheen = capsule(p, { 16, 36 }, { 34, 27 }, 2.5);
        c = mix(c, white, 0.22 * fade * coverage(body + 1) * (1 - smooth(-1.5, 3, sheen)));

        // The eye under its brow, with a catch-light; the nose; the mouth.
        double brow = segment(p, { 27, 27.6 }, { 34, 28.2 });
        c = mix(c, outline, 0.45 * coverage(brow - 0.5));
        double eye = length({ (p.x - 30.5) / 1.5, (p.y - 31) / 1.1 }) - 1.7;
        c = mix(c, dark, coverage(eye * 1.2));
        c = mix(c, white, coverage(circle(p, { 29.6, 30.2 }, 0.5)));
        double nose = length({ (p.x - 10) / 1.2, (p.y - 37.5) / 1.0 }) - 3.2;
        c = mix(c, dark, coverage(nose));
        c = mix(c, white, 0.7 * coverage(circle(p, { 9.0, 36.0 }, 0.6)));
        double mouth = std::min({ segment(p, { 10, 43 }, { 18, 45.5 }), segment(p, { 18, 45.5 }, { 29, 45.2 }),
            segment(p, { 29, 45.2 }, { 31, 43.6 }) });
        c = mix(c, outline, coverage(mouth - 0.5));
        out = c;
    });
    return canvas.surface();
}

bool write_file(std::filesystem::path const& path, std::vector<std::uint8_t> const& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<char const*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(file);
}

}

// A PNG of the icon for desktop launchers, which look for PNG files only. The
// image data goes in stored (uncompressed) deflate blocks: 32 x 32 is small.
std::uint32_t png_crc(std::vector<std::uint8_t> const& bytes, std::size_t from)
{
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xffffffffu;
}

void put_be32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(value >> shift));
}

void put_chunk(std::vector<std::uint8_t>& out, char const* type, std::vector<std::uint8_t> const& data)
{
    put_be32(out, std::uint32_t(data.size()));
    std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put_be32(out, png_crc(out, start));
}

std::vector<std::uint8_t> encode_png(Surface const& image)
{
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < image.height(); ++y) {
        raw.push_back(0); // no filter
        raw.insert(raw.end(), image.row(y), image.row(y) + image.stride());
    }
    std::vector<std::uint8_t> zlib { 0x78, 0x01 };
    std::uint32_t a = 1, b = 0;
    for (auto byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        bool last = at + n >= raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(std::uint8_t(n));
        zlib.push_back(std::uint8_t(n >> 8));
        zlib.push_back(std::uint8_t(~n));
        zlib.push_back(std::uint8_t(~n >> 8));
        zlib.insert(zlib.end(), raw.begin() + std::ptrdiff_t(at), raw.begin() + std::ptrdiff_t(at + n));
        if (last)
            break;
    }
    put_be32(zlib, (b << 16) | a);

    std::vector<std::uint8_t> out { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n' };
    std::vector<std::uint8_t> header;
    put_be32(header, std::uint32_t(image.width()));
    put_be32(header, std::uint32_t(image.height()));
    header.insert(header.end(), { 8, 2, 0, 0, 0 }); // 8-bit RGB
    put_chunk(out, "IHDR", header);
    put_chunk(out, "IDAT", zlib);
    put_chunk(out, "IEND", {});
    return out;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);

    struct Bulb {
        char const* name;
        Colour body;
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

    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
    files.emplace_back("icon.ico", forms::encode_ico(draw_icon()));
    files.emplace_back("icon.png", encode_png(draw_icon()));
    files.emplace_back("background.bmp", forms::encode_bmp(draw_background()));
    files.emplace_back("empty_socket.bmp", forms::encode_bmp(draw_empty_socket()));
    for (auto const& bulb : bulbs)
        files.emplace_back(bulb.name, forms::encode_bmp(draw_bulb(bulb.body)));
    files.emplace_back("eraser.bmp", forms::encode_bmp(draw_eraser()));
    files.emplace_back("clear_screen.bmp", forms::encode_bmp(draw_clear_screen()));
    files.emplace_back("about.bmp", forms::encode_bmp(draw_about()));

    int failures = 0;
    for (auto const& [name, bytes] : files)
        if (!write_file(folder / name, bytes)) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], (folder / name).c_str());
            ++failures;
        }
    return failures == 0 ? 0 : 1;
}
