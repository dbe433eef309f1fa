// Test support for the imaging server: calls on an image object by name,
// the canvas as RGB pixels, temporary files and a hand-made JPEG builder.
#pragma once

#include "imaging/glimmerax.h"
#include "platform/automation/vb_error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace imaging_test {

using platform::Variant;
using Args = std::vector<Variant>;
using Bytes = std::vector<std::uint8_t>;

inline Variant out() { return Variant(); }
inline Variant missing() { return Variant::Missing(); }
inline Variant L(std::int32_t v) { return Variant(v); }

// Calls a member and gives the arguments after the call.
inline Args call(platform::Dispatch& o, const char* name, Args args)
{
    o.Invoke(platform::IdOfName(o, name), platform::InvokeKind::Method, args);
    return args;
}

inline std::filesystem::path temp_dir()
{
    static std::filesystem::path dir = [] {
        std::string t = (std::filesystem::temp_directory_path() / "glimmerax-test-XXXXXX").string();
        return std::filesystem::path(mkdtemp(t.data()));
    }();
    return dir;
}

inline Bytes read_file(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const std::filesystem::path& p, const Bytes& b)
{
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

inline std::string data_file(const char* name) { return std::string(TREKFOLD_SOURCE_DIR) + "/tests/data/exif/" + name; }

// The canvas as rows of 0xRRGGBB, from BmpImage's byte array.
struct Pixels {
    int w = 0, h = 0;
    std::vector<std::uint32_t> px;
    std::uint32_t at(int x, int y) const { return px[std::size_t(y) * std::size_t(w) + std::size_t(x)]; }
};

inline Pixels canvas(platform::Dispatch& o)
{
    Args r = call(o, "BmpImage", {Variant(""), out()});
    const Bytes& b = *r[1].BytesPtr();
    auto le32 = [&](int at) { return int(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24); };
    Pixels p;
    p.w = le32(18), p.h = le32(22);
    std::size_t row = std::size_t(3 * p.w + 3) & ~std::size_t(3);
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            const std::uint8_t* q = b.data() + 54 + std::size_t(p.h - 1 - y) * row + std::size_t(x) * 3;
            p.px.push_back(std::uint32_t(q[2]) << 16 | q[1] << 8 | q[0]);
        }
    return p;
}

// An image object whose canvas of w × h (palette of `colours`) holds the
// pixels given (0xRRGGBB, rows from the top), drawn from a 24-bit BMP.
inline platform::ObjectRef picture(int w, int h, const std::vector<std::uint32_t>& px, int colours = 2)
{
    std::size_t row = std::size_t(3 * w + 3) & ~std::size_t(3);
    Bytes b(54 + row * std::size_t(h), 0);
    auto le32 = [&](int at, std::uint32_t v) { for (int i = 0; i < 4; ++i) b[std::size_t(at + i)] = std::uint8_t(v >> (8 * i)); };
    b[0] = 'B', b[1] = 'M';
    le32(2, std::uint32_t(b.size())), le32(10, 54), le32(14, 40), le32(18, std::uint32_t(w)), le32(22, std::uint32_t(h));
    b[26] = 1, b[28] = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                b[54 + std::size_t(h - 1 - y) * row + std::size_t(x) * 3 + std::size_t(c)] = std::uint8_t(px[std::size_t(y * w + x)] >> (8 * c));
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(w), L(h), L(colours), out()});
    call(*o, "ReadImage", {Variant(b), out(), L(0), L(0), missing(), out(), out()});
    return o;
}

// Sets a property.
inline void put(platform::Dispatch& o, const char* name, Variant v)
{
    Args a{std::move(v)};
    o.Invoke(platform::IdOfName(o, name), platform::InvokeKind::PropertyPut, a);
}

// The standard output of a shell command.
inline std::string shell(const std::string& cmd)
{
    std::string s;
    FILE* f = popen(cmd.c_str(), "r");
    for (int c; (c = fgetc(f)) != EOF;) s += char(c);
    pclose(f);
    return s;
}

// Outside programs (convert, identify) as peers.
inline bool run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

inline bool have_convert()
{
    static bool ok = run("convert -version");
    return ok;
}

// convert's reading of a picture as 0xRRGGBB pixels.
inline Pixels theirs(const std::string& file)
{
    Pixels p;
    std::string cmd = "convert '" + file + "[0]' -strip -depth 8 ppm:- 2>/dev/null";
    FILE* f = popen(cmd.c_str(), "r");
    int max = 0;
    if (!f || fscanf(f, "P6 %d %d %d", &p.w, &p.h, &max) != 3) return {};
    fgetc(f);
    for (int i = 0; i < p.w * p.h; ++i) {
        int r = fgetc(f), g = fgetc(f), b = fgetc(f);
        p.px.push_back(std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b));
    }
    pclose(f);
    return p;
}

inline std::string source_png()
{
    static std::string png = [] {
        std::string p = (temp_dir() / "src.png").string();
        run("convert -size 37x23 plasma:fractal -seed 5 -depth 8 " + p);
        return p;
    }();
    return png;
}

// Big-endian 16-bit segment length helper for hand-made JPEGs.
inline Bytes segment(std::uint8_t marker, const Bytes& data)
{
    Bytes s{0xFF, marker, std::uint8_t((data.size() + 2) >> 8), std::uint8_t(data.size() + 2)};
    s.insert(s.end(), data.begin(), data.end());
    return s;
}

inline Bytes jpeg(std::initializer_list<Bytes> segments)
{
    Bytes j{0xFF, 0xD8};
    for (const Bytes& s : segments) j.insert(j.end(), s.begin(), s.end());
    j.push_back(0xFF), j.push_back(0xD9);
    return j;
}

} // namespace imaging_test
