// The codecs on one 2000 x 2000 picture: GIF, JPEG and PNG both ways
// through the image object against giflib, libjpeg-turbo and libpng called
// directly on the same data; the same reads and writes as whole processes,
// glimmerax-probe against convert; BuildPalette, Blur(3) and Resize.
//
// In-process figures compare CPU time (one thread on either side, so the
// figure holds on a busy machine); whole processes compare real time.
// Each figure also gives peak_MB, the peak resident size of a process doing
// the work once; in-process figures run it in a forked child and add
// added_MB, the part of that peak the work itself added.
#include "bench/imaging/bench_support.h"
#include "imaging/glimmerax.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <fstream>
#include <map>

namespace {

using namespace imaging_bench;
constexpr int kSide = 2000;

// The picture: a plasma fractal as an 8-bit RGB PNG, the same as a JPEG and
// cut to 256 colours as a GIF.
const std::string& picture(const std::string& ext)
{
    static std::map<std::string, std::string> made;
    std::string& f = made[ext];
    if (f.empty()) {
        const std::string png = (dir() / "p2000.png").string();
        if (!fs::exists(png))
            run({"convert", "-seed", "7", "-size", "2000x2000", "plasma:fractal", "-depth", "8", png});
        f = (dir() / ("p2000." + ext)).string();
        if (ext == "gif") run({"convert", png, "-colors", "256", f});
        else if (ext != "png") run({"convert", png, f});
    }
    return f;
}

Args read_args(const std::string& file)
{
    return {Variant(file), Variant(), Variant(0), Variant(0), Variant::Missing(), Variant(), Variant()};
}

// A 2000 x 2000 canvas holding the GIF picture, its palette the GIF's.
platform::ObjectRef gif_canvas()
{
    platform::ObjectRef o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {Variant(kSide), Variant(kSide), Variant(256), Variant()});
    Args r = call(*o, "ReadImage", read_args(picture("gif")));
    const platform::VariantArray& pal = r[1].ToArray();
    for (std::int32_t i = 0; i <= pal.UBound(1); ++i)
        call(*o, "SetColor", {Variant(i), pal.at(i, 0), pal.at(i, 1), pal.at(i, 2), Variant()});
    return o;
}

// Sets the memory counters from one run of `work` in a child.
void memory(benchmark::State& state, const std::function<void()>& work)
{
    const ChildPeak p = child_peak(work);
    state.counters["peak_MB"] = double(p.peak) / 1024;
    state.counters["added_MB"] = double(p.peak - p.start) / 1024;
}

// ---- the peers, called directly ---------------------------------------------

// RGB rows, top first, and the same picture as palette indices.
struct Pixels {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb, index;
    std::vector<GifColorType> colours;
};

Pixels giflib_read(const std::string& file)
{
    Pixels p;
    int err = 0;
    GifFileType* g = DGifOpenFileName(file.c_str(), &err);
    if (!g) return p;
    if (DGifSlurp(g) == GIF_OK && g->ImageCount > 0) {
        const SavedImage& im = g->SavedImages[0];
        const GifImageDesc& d = im.ImageDesc;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : g->SColorMap;
        p.width = g->SWidth, p.height = g->SHeight;
        p.rgb.assign(std::size_t(p.width) * std::size_t(p.height) * 3, 0);
        p.index.assign(std::size_t(p.width) * std::size_t(p.height), 0);
        p.colours.assign(map->Colors, map->Colors + map->ColorCount);
        for (int y = 0; y < d.Height && d.Top + y < p.height; ++y)
            for (int x = 0; x < d.Width && d.Left + x < p.width; ++x) {
                const std::size_t at = std::size_t(d.Top + y) * std::size_t(p.width) + std::size_t(d.Left + x);
                const GifByteType v = im.RasterBits[std::size_t(y) * std::size_t(d.Width) + std::size_t(x)];
                const GifColorType& c = map->Colors[v];
                p.index[at] = v;
                p.rgb[at * 3] = c.Red, p.rgb[at * 3 + 1] = c.Green, p.rgb[at * 3 + 2] = c.Blue;
            }
    }
    DGifCloseFile(g, &err);
    return p;
}

int to_vector(GifFileType* g, const GifByteType* data, int n)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(g->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

std::vector<std::uint8_t> giflib_write(const Pixels& p)
{
    std::vector<std::uint8_t> out;
    int err = 0;
    GifFileType* g = EGifOpen(&out, to_vector, &err);
    ColorMapObject* map = GifMakeMapObject(256, p.colours.data());
    EGifSetGifVersion(g, true);
    EGifPutScreenDesc(g, p.width, p.height, 8, 0, map);
    EGifPutImageDesc(g, 0, 0, p.width, p.height, false, nullptr);
    std::vector<GifPixelType> row(std::size_t(p.width));
    for (int y = 0; y < p.height; ++y) {
        std::copy_n(&p.index[std::size_t(y) * std::size_t(p.width)], p.width, row.data());
        EGifPutLine(g, row.data(), p.width);
    }
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    return out;
}

void libjpeg_read(const std::string& file, std::vector<std::uint8_t>* rgb)
{
    jpeg_decompress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_decompress(&c);
    FILE* f = std::fopen(file.c_str(), "rb");
    jpeg_stdio_src(&c, f);
    jpeg_read_header(&c, TRUE);
    jpeg_start_decompress(&c);
    rgb->resize(std::size_t(c.output_width) * c.output_height * 3);
    while (c.output_scanline < c.output_height) {
        JSAMPROW r = rgb->data() + std::size_t(c.output_scanline) * c.output_width * 3;
        jpeg_read_scanlines(&c, &r, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    std::fclose(f);
}

std::vector<std::uint8_t> libjpeg_write(const Pixels& p)
{
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = JDIMENSION(p.width), c.image_height = JDIMENSION(p.height);
    c.input_components = 3, c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 75, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        auto r = const_cast<JSAMPROW>(p.rgb.data() + std::size_t(c.next_scanline) * std::size_t(p.width) * 3);
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> out(mem, mem + size);
    std::free(mem);
    return out;
}

void libpng_read(const std::string& file, std::vector<std::uint8_t>* rgb)
{
    FILE* f = std::fopen(file.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_read_update_info(png, info);
    rgb->resize(std::size_t(w) * h * 3);
    std::vector<png_bytep> rows(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = rgb->data() + std::size_t(y) * w * 3;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
}

void png_to_vector(png_structp png, png_bytep data, png_size_t n)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

std::vector<std::uint8_t> libpng_write(const Pixels& p)
{
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, png_to_vector, nullptr);
    png_set_IHDR(png, info, png_uint_32(p.width), png_uint_32(p.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < p.height; ++y) png_write_row(png, p.rgb.data() + std::size_t(y) * std::size_t(p.width) * 3);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// ---- reads: the object drawing each file onto its canvas, and the library ----

void BM_Read_Glimmerax(benchmark::State& state, const char* ext)
{
    const Args args = read_args(picture(ext));
    auto once = [&](platform::Dispatch& o) { Args a = args; o.Invoke(platform::IdOfName(o, "ReadImage"), platform::InvokeKind::Method, a); return a; };
    platform::ObjectRef o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {Variant(kSide), Variant(kSide), Variant(256), Variant()});
    if (once(*o)[6].IsEmpty()) state.SkipWithError("ReadImage failed");
    for (auto _ : state) benchmark::DoNotOptimize(once(*o));
    memory(state, [&] {
        platform::ObjectRef c = glimmerax::CreateImageObject();
        call(*c, "CreateImage", {Variant(kSide), Variant(kSide), Variant(256), Variant()});
        once(*c);
    });
}
BENCHMARK_CAPTURE(BM_Read_Glimmerax, gif, "gif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read_Glimmerax, jpeg, "jpg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read_Glimmerax, png, "png")->Unit(benchmark::kMillisecond);

void BM_Read_Library(benchmark::State& state, const char* ext)
{
    const std::string file = picture(ext), e = ext;
    auto once = [&] {
        std::vector<std::uint8_t> rgb;
        if (e == "gif") rgb = giflib_read(file).rgb;
        else if (e == "jpg") libjpeg_read(file, &rgb);
        else libpng_read(file, &rgb);
        return rgb;
    };
    if (once().size() != std::size_t(kSide) * kSide * 3) state.SkipWithError("the library read failed");
    for (auto _ : state) benchmark::DoNotOptimize(once());
    memory(state, [&] { once(); });
}
BENCHMARK_CAPTURE(BM_Read_Library, gif_giflib, "gif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read_Library, jpeg_libjpeg, "jpg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read_Library, png_libpng, "png")->Unit(benchmark::kMillisecond);

// ---- writes of the GIF picture into memory: JPEG at quality 75, baseline;
// ---- PNG true colour with the library's default compression; GIF 8 bits.

Args write_args(const std::string& member, const std::string& file)
{
    const Variant m = Variant::Missing();
    if (member == "JpegImage") return {Variant(75), Variant(0), Variant(file), m, m, m, m, Variant()};
    if (member == "PngImage") return {Variant(-1), Variant(0), Variant(file), m, m, m, m, Variant()};
    return {Variant(-1), Variant(0), Variant(file), Variant()};
}

void BM_Write_Glimmerax(benchmark::State& state, const char* member)
{
    const std::string m = member;
    platform::ObjectRef o = gif_canvas();
    const Args args = write_args(m, "");
    auto once = [&](platform::Dispatch& obj) { Args a = args; obj.Invoke(platform::IdOfName(obj, member), platform::InvokeKind::Method, a); return a; };
    const Args first = once(*o);
    if (!first.back().BytesPtr()) state.SkipWithError("nothing written");
    else state.counters["bytes"] = double(first.back().BytesPtr()->size());
    for (auto _ : state) benchmark::DoNotOptimize(once(*o));
    memory(state, [&] { once(*gif_canvas()); });
}
BENCHMARK_CAPTURE(BM_Write_Glimmerax, gif, "GifImage")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write_Glimmerax, jpeg, "JpegImage")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write_Glimmerax, png, "PngImage")->Unit(benchmark::kMillisecond);

void BM_Write_Library(benchmark::State& state, const char* kind)
{
    const std::string k = kind;
    const Pixels p = giflib_read(picture("gif"));
    auto once = [&] { return k == "gif" ? giflib_write(p) : k == "jpeg" ? libjpeg_write(p) : libpng_write(p); };
    const auto first = once();
    if (first.empty()) state.SkipWithError("nothing written");
    state.counters["bytes"] = double(first.size());
    for (auto _ : state) benchmark::DoNotOptimize(once());
    memory(state, [&] {
        const Pixels q = giflib_read(picture("gif"));
        k == "gif" ? giflib_write(q) : k == "jpeg" ? libjpeg_write(q) : libpng_write(q);
    });
}
BENCHMARK_CAPTURE(BM_Write_Library, gif_giflib, "gif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write_Library, jpeg_libjpeg, "jpeg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write_Library, png_libpng, "png")->Unit(benchmark::kMillisecond);

// ---- whole processes ---------------------------------------------------------

std::string probe() { return std::string(TREKFOLD_BINARY_DIR) + "/bin/glimmerax-probe"; }

void process(benchmark::State& state, const std::vector<std::string>& argv)
{
    long peak = run_kb(argv);
    if (peak < 0) state.SkipWithError("the process failed");
    for (auto _ : state) peak = std::max(peak, run_kb(argv));
    state.counters["peak_MB"] = double(peak) / 1024;
}

// The probe: a 2000 x 2000 canvas, the file drawn onto it.
void BM_ReadProcess_Probe(benchmark::State& state, const char* ext)
{
    const std::string script = (dir() / (std::string("read-") + ext + ".jsonl")).string();
    std::ofstream(script) << R"({"call":"CreateImage","args":[2000,2000,256,{"out":true}]})" << "\n"
                          << R"({"call":"ReadImage","args":[")" << picture(ext)
                          << R"(",{"out":true},0,0,{"missing":true},{"out":true},{"out":true}]})" << "\n";
    process(state, {probe(), script});
}
BENCHMARK_CAPTURE(BM_ReadProcess_Probe, gif, "gif")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReadProcess_Probe, jpeg, "jpg")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReadProcess_Probe, png, "png")->Unit(benchmark::kMillisecond)->UseRealTime();

// convert decoding the file, the pixels thrown away.
void BM_ReadProcess_Convert(benchmark::State& state, const char* ext)
{
    process(state, {"convert", picture(ext), "null:"});
}
BENCHMARK_CAPTURE(BM_ReadProcess_Convert, gif, "gif")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReadProcess_Convert, jpeg, "jpg")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReadProcess_Convert, png, "png")->Unit(benchmark::kMillisecond)->UseRealTime();

// Writes, from the GIF: the probe reads it onto a canvas with its palette
// and writes the canvas; convert reads it and writes the same kind of file.
void BM_WriteProcess_Probe(benchmark::State& state, const char* member)
{
    const std::string m = member;
    const std::string out = (dir() / ("probe-out." + m)).string();
    const std::string script = (dir() / ("write-" + m + ".jsonl")).string();
    std::ofstream s(script);
    s << R"({"call":"CreateImage","args":[2000,2000,256,{"out":true}]})" << "\n";
    const Pixels p = giflib_read(picture("gif"));
    for (std::size_t i = 0; i < p.colours.size(); ++i)
        s << R"({"call":"SetColor","args":[)" << i << ',' << int(p.colours[i].Red) << ',' << int(p.colours[i].Green) << ','
          << int(p.colours[i].Blue) << R"(,{"out":true}]})" << "\n";
    s << R"({"call":"ReadImage","args":[")" << picture("gif")
      << R"(",{"out":true},0,0,{"missing":true},{"out":true},{"out":true}]})" << "\n";
    if (m == "GifImage") s << R"({"call":"GifImage","args":[-1,0,")" << out << R"(",{"out":true}]})" << "\n";
    else if (m == "JpegImage") s << R"({"call":"JpegImage","args":[75,0,")" << out << R"(",{"missing":true},{"missing":true},{"missing":true},{"missing":true},{"out":true}]})" << "\n";
    else s << R"({"call":"PngImage","args":[-1,0,")" << out << R"(",{"missing":true},{"missing":true},{"missing":true},{"missing":true},{"out":true}]})" << "\n";
    s.close();
    process(state, {probe(), script});
    if (!fs::exists(out)) state.SkipWithError("the probe wrote nothing");
}
BENCHMARK_CAPTURE(BM_WriteProcess_Probe, gif, "GifImage")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_WriteProcess_Probe, jpeg, "JpegImage")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_WriteProcess_Probe, png, "PngImage")->Unit(benchmark::kMillisecond)->UseRealTime();

// PNG24: true colour, as the probe writes it.
void BM_WriteProcess_Convert(benchmark::State& state, const char* kind)
{
    const std::string k = kind;
    const std::string out = (dir() / ("convert-out." + k)).string();
    if (k == "jpg") process(state, {"convert", picture("gif"), "-quality", "75", out});
    else process(state, {"convert", picture("gif"), (k == "png" ? "PNG24:" : "") + out});
}
BENCHMARK_CAPTURE(BM_WriteProcess_Convert, gif, "gif")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_WriteProcess_Convert, jpeg, "jpg")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_WriteProcess_Convert, png, "png")->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- pixel work on the PNG picture -------------------------------------------

platform::ObjectRef png_canvas()
{
    platform::ObjectRef o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {Variant(kSide), Variant(kSide), Variant(256), Variant()});
    call(*o, "ReadImage", read_args(picture("png")));
    return o;
}

// BuildPalette(0) and Blur(3) on the canvas; Resize(type 3) of the canvas
// into a 1000 x 1000 clipboard picture.
void BM_Pixels(benchmark::State& state, const char* member)
{
    const std::string m = member;
    auto once = [&](platform::Dispatch& o) {
        if (m == "BuildPalette") call(o, "BuildPalette", {Variant(0)});
        else if (m == "Blur") call(o, "Blur", {Variant(3)});
        else call(o, "Resize", {Variant(0), Variant(0), Variant(1000), Variant(1000), Variant(0), Variant(0), Variant(kSide), Variant(kSide), Variant(3)});
    };
    auto fresh = [&] {
        platform::ObjectRef o = png_canvas();
        if (m == "Resize") call(*o, "InitClipboard", {Variant(1000), Variant(1000), Variant()});
        return o;
    };
    for (auto _ : state) {
        state.PauseTiming();
        platform::ObjectRef o = fresh();
        state.ResumeTiming();
        once(*o);
    }
    platform::ObjectRef o = fresh(); // made before the count: only the member's own memory is added
    memory(state, [&] { once(*o); });
}
BENCHMARK_CAPTURE(BM_Pixels, build_palette, "BuildPalette")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Pixels, blur3, "Blur")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Pixels, resize, "Resize")->Unit(benchmark::kMillisecond);

} // namespace
