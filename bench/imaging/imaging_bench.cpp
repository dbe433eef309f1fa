// Imaging server speed and memory: a 4000 x 3000 LZW RGB TIFF with the
// horizontal predictor drawn into the canvas against libtiff's own strip
// reading and TIFFReadRGBAImage, and as a whole process against convert;
// 300 photos' sizes and information against
// identify -ping; the peak memory GetImageInfo adds over a 20 MB JPEG;
// hostile files. The codecs on 2000 x 2000 pictures are in codecs_bench.cpp.
#include "bench/imaging/bench_support.h"
#include "imaging/glimmerax.h"
#include "platform/automation/variant.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace imaging_bench;

// A 4000 x 3000 RGB picture with smooth areas and noise, LZW with the
// horizontal predictor, 16 rows a strip.
const std::string& big_tiff()
{
    static std::string path = [] {
        std::string p = (dir() / "big.tif").string();
        TIFF* t = TIFFOpen(p.c_str(), "w");
        const int w = 4000, h = 3000;
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
        std::vector<std::uint8_t> row(w * 3);
        std::uint32_t seed = 1;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                seed = seed * 1103515245 + 12345;
                row[x * 3] = std::uint8_t(x / 16 + ((seed >> 16) & 7));
                row[x * 3 + 1] = std::uint8_t(y / 12);
                row[x * 3 + 2] = std::uint8_t((x + y) / 32);
            }
            TIFFWriteScanline(t, row.data(), std::uint32_t(y), 0);
        }
        TIFFClose(t);
        return p;
    }();
    return path;
}

std::string photos_dir()
{
    static std::string d = [] {
        fs::path p = dir() / "photos";
        fs::create_directories(p);
        const char* names[] = {"Canon_40D.jpg", "Nikon_D70.jpg", "DSCN0010.jpg"};
        for (int i = 0; i < 300; ++i)
            fs::copy_file(fs::path(TREKFOLD_SOURCE_DIR) / "tests/data/exif" / names[i % 3],
                          p / ("p" + std::to_string(i) + ".jpg"), fs::copy_options::overwrite_existing);
        return p.string();
    }();
    return d;
}

// The TIFF drawn into a 4000 x 3000 canvas that exists already.
struct TiffIntoCanvas {
    platform::ObjectRef o = glimmerax::CreateImageObject();
    Variant file{big_tiff()};
    TiffIntoCanvas()
    {
        call(*o, "CreateImage", {Variant(std::int32_t(4000)), Variant(std::int32_t(3000)), Variant(std::int32_t(2)), Variant()});
    }
    void operator()()
    {
        Args r = call(*o, "ReadImage", {file, Variant(), Variant(std::int32_t(0)), Variant(std::int32_t(0)),
                                        Variant::Missing(), Variant(), Variant()});
        benchmark::DoNotOptimize(r);
    }
};

// libtiff's own reading of the pixels: every strip decoded with
// TIFFReadEncodedStrip into its place in one image buffer.
struct LibtiffStrips {
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(std::size_t(4000) * 3000 * 3);
    void operator()()
    {
        TIFF* t = TIFFOpen(big_tiff().c_str(), "r");
        const tmsize_t strip = TIFFStripSize(t);
        std::uint8_t* at = image.data();
        for (tstrip_t s = 0, n = TIFFNumberOfStrips(t); s < n; ++s) at += TIFFReadEncodedStrip(t, s, at, strip);
        TIFFClose(t);
        benchmark::DoNotOptimize(image.data());
    }
};

void BM_TiffLzw_Glimmerax(benchmark::State& state)
{
    TiffIntoCanvas read;
    for (auto _ : state) read();
}
BENCHMARK(BM_TiffLzw_Glimmerax)->Unit(benchmark::kMillisecond);

void BM_TiffLzw_LibtiffStrips(benchmark::State& state)
{
    LibtiffStrips read;
    for (auto _ : state) read();
}
BENCHMARK(BM_TiffLzw_LibtiffStrips)->Unit(benchmark::kMillisecond);

void BM_TiffLzw_LibtiffRGBA(benchmark::State& state)
{
    std::vector<std::uint32_t> raster(4000 * 3000);
    for (auto _ : state) {
        TIFF* t = TIFFOpen(big_tiff().c_str(), "r");
        TIFFReadRGBAImage(t, 4000, 3000, raster.data(), 0);
        TIFFClose(t);
        benchmark::DoNotOptimize(raster.data());
    }
}
BENCHMARK(BM_TiffLzw_LibtiffRGBA)->Unit(benchmark::kMillisecond);

// Whole processes: glimmerax-probe drawing the TIFF, and convert decoding it.
std::vector<std::string> probe_read_tiff()
{
    std::string script = (dir() / "read.jsonl").string();
    std::ofstream(script) << R"({"call":"CreateImage","args":[4000,3000,2,{"out":true}]})" << "\n"
                          << R"({"call":"ReadImage","args":[")" << big_tiff()
                          << R"(",{"out":true},0,0,{"missing":true},{"out":true},{"out":true}]})" << "\n";
    return {std::string(TREKFOLD_BINARY_DIR) + "/bin/glimmerax-probe", script};
}

// ImageMagick's own program where Debian installs it, so that nothing
// standing before it on the PATH is timed with it.
std::vector<std::string> convert_read_tiff()
{
    const std::string convert = ::access("/usr/bin/convert", X_OK) == 0 ? "/usr/bin/convert" : "convert";
    return {convert, big_tiff(), "ppm:/dev/null"};
}

void BM_TiffLzw_ProbeProcess(benchmark::State& state)
{
    const auto argv = probe_read_tiff();
    for (auto _ : state)
        if (!run(argv)) state.SkipWithError("glimmerax-probe failed");
}
BENCHMARK(BM_TiffLzw_ProbeProcess)->Unit(benchmark::kMillisecond);

void BM_TiffLzw_ConvertProcess(benchmark::State& state)
{
    const auto argv = convert_read_tiff();
    for (auto _ : state)
        if (!run(argv)) state.SkipWithError("convert failed");
}
BENCHMARK(BM_TiffLzw_ConvertProcess)->Unit(benchmark::kMillisecond);

// The four side by side, in turn within each iteration so that a busy
// machine weighs on all alike: the medians in seconds and the ratios
// (ours over the peer's) as counters.
void BM_TiffLzw_Paired(benchmark::State& state)
{
    TiffIntoCanvas ours;
    LibtiffStrips strips;
    const auto probe = probe_read_tiff(), convert = convert_read_tiff();
    std::vector<double> t[4];
    auto timed = [](auto&& work) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    for (auto _ : state) {
        bool ok = true;
        t[0].push_back(timed([&] { ok &= run(probe); }));
        t[1].push_back(timed([&] { ok &= run(convert); }));
        t[2].push_back(timed(ours));
        t[3].push_back(timed(strips));
        if (!ok) state.SkipWithError("glimmerax-probe or convert failed");
    }
    auto median = [](std::vector<double> v) {
        if (v.empty()) return 0.0;
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const double probe_s = median(t[0]), convert_s = median(t[1]), ours_s = median(t[2]), strips_s = median(t[3]);
    state.counters["process_ours_s"] = probe_s;
    state.counters["process_convert_s"] = convert_s;
    state.counters["process_ratio"] = convert_s > 0 ? probe_s / convert_s : 0;
    state.counters["inproc_ours_s"] = ours_s;
    state.counters["inproc_libtiff_s"] = strips_s;
    state.counters["inproc_ratio"] = strips_s > 0 ? ours_s / strips_s : 0;
}
BENCHMARK(BM_TiffLzw_Paired)->Unit(benchmark::kMillisecond)->Iterations(15);

void BM_Photos300_Glimmerax(benchmark::State& state)
{
    std::vector<Variant> files;
    for (int i = 0; i < 300; ++i) files.emplace_back(photos_dir() + "/p" + std::to_string(i) + ".jpg");
    for (auto _ : state) {
        auto o = glimmerax::CreateImageObject();
        for (const Variant& f : files) {
            Args d = call(*o, "GetFileDimensions", {f, Variant(), Variant(), Variant::Missing(), Variant()});
            Args i = call(*o, "GetImageInfo", {f, Variant::Missing(), Variant()});
            benchmark::DoNotOptimize(platform::GetByName(*i[2].ToObject(), "Item", {Variant("DateTimeOriginal")}));
        }
    }
}
BENCHMARK(BM_Photos300_Glimmerax)->Unit(benchmark::kMillisecond);

void BM_Photos300_IdentifyPing(benchmark::State& state)
{
    std::string cmd = "identify -ping -format '%w %h %[EXIF:DateTimeOriginal]\\n' " + photos_dir() + "/*.jpg >/dev/null 2>&1";
    for (auto _ : state) benchmark::DoNotOptimize(std::system(cmd.c_str()));
}
BENCHMARK(BM_Photos300_IdentifyPing)->Unit(benchmark::kMillisecond);

// A 20 MB JPEG: 320 comment segments of 64 KB before the EXIF segment of
// a camera photo, read from the file. Reports the growth of the peak
// resident size in kilobytes.
void BM_ImageInfo20MB_PeakMemory(benchmark::State& state)
{
    std::string path = (dir() / "big.jpg").string();
    {
        std::ifstream in(fs::path(TREKFOLD_SOURCE_DIR) / "tests/data/exif/Canon_40D.jpg", std::ios::binary);
        std::vector<char> photo((std::istreambuf_iterator<char>(in)), {});
        std::ofstream out(path, std::ios::binary);
        out.write(photo.data(), 2);
        std::vector<char> com(65535 + 2, 'c');
        com[0] = char(0xFF), com[1] = char(0xFE), com[2] = char(0xFF), com[3] = char(0xFF);
        for (int i = 0; i < 320; ++i) out.write(com.data(), std::streamsize(com.size()));
        out.write(photo.data() + 2, std::streamsize(photo.size() - 2));
    }
    auto o = glimmerax::CreateImageObject();
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    for (auto _ : state) {
        Args i = call(*o, "GetImageInfo", {Variant(path), Variant::Missing(), Variant()});
        benchmark::DoNotOptimize(i);
    }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    state.counters["peak_growth_kB"] = double(after.ru_maxrss - before.ru_maxrss);
}
BENCHMARK(BM_ImageInfo20MB_PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(5);

// Hostile input on a 4000 x 3000 canvas: a BMP claiming 2^30 x 2^30, TIFF
// strips claiming 0xFFFFFFFF bytes and 2^31 rows, directories pointing at
// each other, an EXIF directory of 101 entries and random bytes. Reports
// the growth of the peak resident size in kilobytes.
void BM_HostileFiles(benchmark::State& state)
{
    auto le = [](std::vector<std::uint8_t>& b, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
    };
    std::vector<std::vector<std::uint8_t>> files;
    std::vector<std::uint8_t> bmp{'B', 'M'};
    le(bmp, 100, 4), le(bmp, 0, 4), le(bmp, 54, 4), le(bmp, 40, 4), le(bmp, 1u << 30, 4), le(bmp, 1u << 30, 4);
    le(bmp, 1, 2), le(bmp, 24, 2);
    bmp.resize(54, 0);
    bmp.resize(100, 0x5A);
    files.push_back(bmp);
    for (std::uint32_t count : {0xFFFFFFFFu, 4u}) {
        std::vector<std::uint8_t> t{'I', 'I', 42, 0, 8, 0, 0, 0};
        const std::uint32_t e[][4] = {{256, 4, 1, 0x7FFFFFFF}, {257, 4, 1, 0x7FFFFFFF}, {258, 3, 1, 8}, {259, 3, 1, 5},
                                      {262, 3, 1, 1}, {273, 4, 1, 8 + 2 + 12 * 8 + 4}, {277, 3, 1, 1}, {279, 4, 1, count}};
        le(t, 8, 2);
        for (auto& x : e) le(t, x[0], 2), le(t, x[1], 2), le(t, x[2], 4), le(t, x[3], 4);
        le(t, 8, 4); // the next directory is itself
        le(t, 0xFFFF0080, 4);
        files.push_back(t);
    }
    std::vector<std::uint8_t> exif{0xFF, 0xD8, 0xFF, 0xE1, 0x04, 0xD8, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 101, 0};
    for (int i = 0; i < 101; ++i) le(exif, 271, 2), le(exif, 2, 2), le(exif, 0x7FFFFFFF, 4), le(exif, 8, 4);
    files.push_back(exif);
    std::uint32_t seed = 7;
    for (int k = 0; k < 50; ++k) {
        std::vector<std::uint8_t> r(4096);
        for (auto& c : r) c = std::uint8_t((seed = seed * 1103515245 + 12345) >> 16);
        r[0] = k % 2 ? 'I' : 'B', r[1] = k % 2 ? 'I' : 'M';
        files.push_back(r);
    }
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {Variant(std::int32_t(4000)), Variant(std::int32_t(3000)), Variant(std::int32_t(2)), Variant()});
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    for (auto _ : state)
        for (const auto& f : files) {
            Variant v(f);
            call(*o, "ReadImage", {v, Variant(), Variant(std::int32_t(0)), Variant(std::int32_t(0)), Variant::Missing(), Variant(), Variant()});
            call(*o, "GetImageInfo", {v, Variant::Missing(), Variant()});
        }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    state.counters["peak_growth_kB"] = double(after.ru_maxrss - before.ru_maxrss);
}
BENCHMARK(BM_HostileFiles)->Unit(benchmark::kMillisecond)->Iterations(3);


} // namespace

BENCHMARK_MAIN();
