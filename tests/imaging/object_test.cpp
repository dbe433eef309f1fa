// The image object through the class registry, as glimmerax-probe hosts it.
#include "support.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <ctime>
#include <nlohmann/json.hpp>

using nlohmann::json;
using namespace imaging_test;

namespace {

// Runs the probe over a script; one parsed JSON line per command.
std::vector<json> probe(const std::string& script, int* status = nullptr)
{
    auto file = temp_dir() / "script.jsonl";
    std::ofstream(file) << script;
    std::string cmd = std::string(TREKFOLD_BINARY_DIR) + "/bin/glimmerax-probe " + file.string();
    FILE* p = popen(cmd.c_str(), "r");
    std::vector<json> lines;
    char buf[65536];
    while (p && fgets(buf, sizeof buf, p)) lines.push_back(json::parse(buf));
    int rc = p ? pclose(p) : -1;
    if (status) *status = WEXITSTATUS(rc);
    return lines;
}

} // namespace

TEST(ImageObject, ProgramIdentifiersDispatchIdentifiersAndDefaults)
{
    auto out = probe(R"({"new":"b","progid":"glimmerax.image.1"}
{"new":"c","progid":"{B9F7D335-AC62-11D1-8558-0000C050C497}"}
{"new":"i","progid":"Glimmerax.ImageInfo"}
{"get":"ErrorCode"}
{"new":"j","progid":"Glimmerax.ImageInfo.1"}
{"use":"a"}
{"ids":["CreateImage","SetColor","Stretch","lastX","lastY","FileStart","Resolution","Curve","GetImageInfo","FontSmoothing","GetInternalStatus","Nope"]}
{"get":"lastX"}
{"get":"lastY"}
{"get":"AdvancedCheck"}
{"let":"FileSize","value":-5}
{"let":"VectorSizeX","value":-5}
{"let":"VectorSizeY","value":-5}
{"let":"Resolution","value":-5}
{"let":"FileStart","value":-5}
{"get":"FileSize"}
{"get":"VectorSizeX"}
{"get":"VectorSizeY"}
{"get":"Resolution"}
{"get":"FileStart"}
{"get":"OleTimeout"}
)");
    ASSERT_EQ(out.size(), 21u);
    for (int i : {0, 1, 2, 4}) EXPECT_FALSE(out[i].contains("error")) << out[i];
    EXPECT_EQ(out[3]["value"], 1);
    EXPECT_EQ(out[6]["ids"], json::parse(R"({"CreateImage":1,"SetColor":2,"Stretch":51,"lastX":52,"lastY":53,"FileStart":58,
        "Resolution":77,"Curve":79,"GetImageInfo":84,"FontSmoothing":64,"GetInternalStatus":73,"Nope":null})"));
    EXPECT_EQ(out[7]["value"], -2);
    EXPECT_EQ(out[8]["value"], -2);
    EXPECT_EQ(out[9]["value"], false);
    for (int i = 15; i <= 18; ++i) EXPECT_EQ(out[i]["value"], 0) << out[i];
    EXPECT_EQ(out[19]["value"], -5);
    EXPECT_EQ(out[20]["value"], 0);
}

TEST(ImageObject, CreateImageDestroyObjectAndUnloading)
{
    auto out = probe(R"({"call":"CreateImage","args":[0,0,300,{"out":true}]}
{"call":"GetInternalStatus","args":[{"out":true}]}
{"call":"CreateImage","args":[100000,100000,2,{"out":true}]}
{"call":"GetInternalStatus","args":[{"out":true}]}
{"call":"DestroyObject","args":[]}
{"call":"BmpImage","args":["",{"out":true}]}
{"call":"DestroyObject","args":[]}
{"info":"nothing-here.jpg"}
{"new":"keep","progid":"Glimmerax.ImageInfo"}
{"drop":"a"}
{"unloadable":true}
{"drop":"keep"}
{"unloadable":true}
)");
    ASSERT_EQ(out.size(), 13u);
    EXPECT_EQ(out[0]["args"][3], true);
    EXPECT_EQ(out[1]["args"][0]["bytes"].get<std::string>().substr(0, 8), "01000100");
    EXPECT_EQ(out[2]["error"]["number"], 7);
    EXPECT_EQ(out[2]["error"]["description"], "Out of memory");
    EXPECT_EQ(out[3], out[1]); // the old canvas is kept
    EXPECT_EQ(out[5]["args"][1], false);
    EXPECT_FALSE(out[6].contains("error"));
    EXPECT_EQ(out[7]["ErrorCode"], 1);
    EXPECT_EQ(out[10]["unloadable"], false); // the information object is held
    EXPECT_EQ(out[12]["unloadable"], true);
}

TEST(ImageObject, ProbeExitStatus)
{
    int status = 0;
    probe("{\"get\":\"lastX\"}\nnot json\n", &status);
    EXPECT_EQ(status, 2);
    std::string cmd = std::string(TREKFOLD_BINARY_DIR) + "/bin/glimmerax-probe --lib /nonexistent.so </dev/null >/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 1);
}

TEST(ImageObject, AnotherImageObjectIsMeasuredAndDrawn)
{
    auto a = glimmerax::CreateImageObject(), b = glimmerax::CreateImageObject();
    call(*a, "CreateImage", {L(3), L(2), L(2), out()});
    // A BMP drawn into "a" gives it pixels worth copying.
    Bytes bmp{'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0};
    bmp.resize(54, 0);
    for (int i = 0; i < 8; ++i) bmp.push_back(std::uint8_t(i * 30 + 1));
    bmp.resize(66, 7);
    call(*a, "ReadImage", {Variant(bmp), out(), L(0), L(0), missing(), out(), out()});
    call(*b, "CreateImage", {L(5), L(5), L(2), out()});
    Args dims = call(*b, "GetFileDimensions", {Variant(a), out(), out(), missing(), out()});
    EXPECT_EQ(dims[4].ToInt32(), 1000);
    EXPECT_EQ(dims[1].ToInt32(), 3);
    EXPECT_EQ(dims[2].ToInt32(), 2);
    Args r = call(*b, "ReadImage", {Variant(a), out(), L(1), L(2), missing(), out(), out()});
    EXPECT_EQ(r[6].ToInt32(), 1000);
    Pixels pa = canvas(*a), pb = canvas(*b);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(pb.at(x + 1, y + 2), pa.at(x, y));
    EXPECT_EQ(call(*a, "GetFileDimensions", {Variant(a), out(), out(), missing(), out()})[4].ToInt32(), 0);
}

TEST(ImageObject, ProbeWritesTheCanvasAsPpm)
{
    auto ppm = temp_dir() / "canvas.ppm";
    auto out = probe(R"({"call":"CreateImage","args":[2,1,2,{"out":true}]}
{"ppm":")" + ppm.string() + "\"}\n");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1]["width"], 2);
    EXPECT_EQ(out[1]["height"], 1);
    Bytes want{'P', '6', '\n', '2', ' ', '1', '\n', '2', '5', '5', '\n', 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(read_file(ppm), want);
}

TEST(ImageObject, ClassObjectsHoldTheServer)
{
    std::string lib = std::string(TREKFOLD_BINARY_DIR) + "/bin/libglimmerax.so";
    void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(h) << dlerror();
    auto get = reinterpret_cast<long (*)(const char*, glimmerax::ClassFactory**)>(dlsym(h, "DllGetClassObject"));
    auto can_unload = reinterpret_cast<long (*)()>(dlsym(h, "DllCanUnloadNow"));
    glimmerax::ClassFactory* f = nullptr;
    EXPECT_NE(get("{00000000-0000-0000-0000-000000000000}", &f), 0);
    ASSERT_EQ(get(glimmerax::CLSID_ImageInfo, &f), 0);
    EXPECT_EQ(can_unload(), 0);
    f->LockServer(true);
    EXPECT_EQ(can_unload(), 1);
    f->LockServer(false);
    {
        auto info = f->CreateInstance();
        EXPECT_EQ(platform::GetByName(*info, "ErrorCode").ToInt32(), 1);
        EXPECT_EQ(can_unload(), 1);
    }
    EXPECT_EQ(can_unload(), 0);
}

// Modification and access times as local dates; the creation time and a 0
// date leave the file's times alone.
TEST(ImageObject, SetFileTimeShowsInStat)
{
    const auto file = std::filesystem::path(testing::TempDir()) / "glimmerax-times.txt";
    std::ofstream(file) << "x";
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    int status = 0;
    auto out = probe(R"({"new":"a","progid":"glimmerax.image.1"}
{"call":"SetFileTime","args":[")" + file.string() + R"(",{"date":"2001-02-03 04:05:06"},{"date":"2020-05-06 07:08:09"},0,{"out":true}]}
{"call":"SetFileTime","args":["/nonexistent/x",null,{"date":"2020-05-06 07:08:09"},null,{"out":true}]}
{"call":"SetFileTime","args":["x",null,{"date":"2020-02-30 07:08:09"},null,{"out":true}]}
)",
                     &status);
    ASSERT_EQ(out.size(), 3u); // the invalid date stops the probe
    EXPECT_NE(status, 0);
    EXPECT_EQ(out[1]["args"][4], true) << out[1];
    EXPECT_EQ(out[2]["args"][4], false) << out[2];
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    std::tm tm{};
    localtime_r(&st.st_mtime, &tm);
    EXPECT_EQ(std::vector<int>({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec}),
              std::vector<int>({2020, 5, 6, 7, 8, 9}));
    EXPECT_EQ(st.st_atime, before.st_atime);
    std::filesystem::remove(file);
}

// The probe's test objects: a view object fills its DrawObject rectangle,
// CheckObject turns its HIMETRIC extent into pixels, a slow one times out
// and may outlive the image object, and a picture reads as kind 1001.
TEST(ImageObject, OleTestObjectsThroughTheProbe)
{
    // A 4 × 2 BMP, its left half red and its right half green.
    const auto bmp = temp_dir() / "picture.bmp";
    const std::uint32_t R = 0xFF0000, G = 0x00FF00;
    auto src = picture(4, 2, {R, R, G, G, R, R, G, G}, 4);
    ASSERT_TRUE(call(*src, "BmpImage", {Variant(bmp.string()), out()})[1].ToBool());
    int status = -1;
    auto out = probe(R"({"testobject":"v","extent":[5080,2540],"colour":[0,0,255],"delay_ms":0}
{"testobject":"slow","extent":[2540,2540],"colour":[0,0,0],"delay_ms":3000}
{"testpicture":"p","file":")" + bmp.string() + R"(","himetric":[212,106]}
{"call":"CreateImage","args":[20,10,2,{"out":true}]}
{"call":"DrawObject","args":[{"object":"v"},"",2,3,5,4,{"missing":true},{"out":true}]}
{"call":"GetPixel","args":[2,3,{"out":true}]}
{"call":"GetPixel","args":[6,6,{"out":true}]}
{"call":"GetPixel","args":[7,6,{"out":true}]}
{"call":"GetPixel","args":[6,7,{"out":true}]}
{"call":"CheckObject","args":[{"object":"v"},{"out":true},{"out":true}]}
{"call":"GetFileDimensions","args":[{"object":"p"},{"out":true},{"out":true},{"missing":true},{"out":true}]}
{"call":"ReadImage","args":[{"object":"p"},{"out":true},10,0,{"missing":true},{"out":true},{"out":true}]}
{"call":"GetPixel","args":[13,3,{"out":true}]}
{"call":"GetPixel","args":[14,0,{"out":true}]}
{"call":"GetPixel","args":[17,3,{"out":true}]}
{"call":"GetPixel","args":[18,0,{"out":true}]}
{"let":"OleTimeout","value":1}
{"call":"CheckObject","args":[{"object":"slow"},{"out":true},{"out":true}]}
{"get":"lastX"}
{"drop":"a"}
{"await_unloadable":120000}
{"use":"v"}
)",
                     &status);
    ASSERT_EQ(out.size(), 22u);
    EXPECT_EQ(status, 0); // also: no sanitizer report ended the probe
    // The view's blue fills (2, 3) to (6, 6); the picture, twice its size, (10, 0) to (17, 3).
    const std::pair<std::size_t, std::vector<int>> pixels[] = {{5, {0, 0, 255}},  {6, {0, 0, 255}},  {7, {0, 0, 0}},  {8, {0, 0, 0}},
                                                                {12, {255, 0, 0}}, {13, {0, 255, 0}}, {14, {0, 255, 0}}, {15, {0, 0, 0}}};
    for (const auto& [line, want] : pixels) {
        const json& a = out[line]["args"][2]["array"];
        const std::vector<int> got = a.size() == 3 ? std::vector<int>{a[0]["i16"], a[1]["i16"], a[2]["i16"]} : std::vector<int>{};
        EXPECT_EQ(got, want) << out[line];
    }
    EXPECT_EQ(out[4]["args"][7], true);
    EXPECT_EQ(out[9]["args"], json::parse(R"([{"object":"v"},192,96])"));
    EXPECT_EQ(out[10]["args"], json::parse(R"([{"object":"p"},8,4,{"missing":true},1001])"));
    EXPECT_EQ(out[11]["args"][6], 1001);
    // The slow object had not answered within the second: 0, 0.
    EXPECT_EQ(out[17]["args"], json::parse(R"([{"object":"slow"},0,0])"));
    EXPECT_EQ(out[18]["value"], 0);
    EXPECT_EQ(out[20]["await_unloadable"], true);
}
