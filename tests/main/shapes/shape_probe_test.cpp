// shape-probe run as a program: what it writes dumps back the same, and
// damaged files end with one of the classes' errors, exit status 1.
#include "tests/main/shapes/scratch.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <random>

using nlohmann::json;
using shapes_test::Bytes;
using shapes_test::ScratchDir;
using shapes_test::read_file;
using shapes_test::run;
using shapes_test::write_file;
using shapes_test::write_text;

namespace {

constexpr int kBase = int(0x80040000u);

shapes_test::Run probe(const std::string& args) { return run(std::string(SHAPE_PROBE) + " " + args + " 2>/dev/null"); }

json write_and_dump(const ScratchDir& dir, const json& in)
{
    write_text(dir / "in.json", in.dump());
    const auto w = probe("write " + dir / "x.shp" + " < " + dir / "in.json");
    EXPECT_EQ(w.exit, 0) << w.out;
    EXPECT_EQ(json::parse(w.out)["put_failed"], json::array());
    const auto d = probe("dump " + dir / "x.shp");
    EXPECT_EQ(d.exit, 0) << d.out;
    return json::parse(d.out);
}

// The dump holds the input's shapes, nulls and values (texts trimmed).
void expect_round_trip(const json& in, const json& out)
{
    ASSERT_EQ(out["type"], in["type"]);
    ASSERT_EQ(out["count"], in["records"].size());
    ASSERT_EQ(out["rows"].size(), in["records"].size());
    std::vector<std::string> names;
    for (const auto& f : in["fields"]) names.push_back(f.get<std::string>().substr(0, f.get<std::string>().find(',')));
    for (size_t i = 0; i < in["records"].size(); ++i) {
        const json& r = in["records"][i];
        const json& o = out["records"][i];
        if (r.value("null", false)) {
            EXPECT_EQ(o, json({{"null", true}})) << i;
        } else {
            EXPECT_EQ(o["parts"], r["parts"]) << i;
        }
        for (size_t k = 0; k < names.size(); ++k) {
            if (!r["values"].contains(names[k])) continue; // left blank
            std::string got = out["rows"][i][k];
            got.erase(0, got.find_first_not_of(' '));
            got.erase(got.find_last_not_of(' ') + 1);
            EXPECT_EQ(got, r["values"].value(names[k], std::string())) << i << " " << names[k];
        }
    }
}

json fields() { return {"NAME,C,16,0", "HEIGHT,N,10,2", "COUNT,N,6,0"}; }

} // namespace

TEST(ShapeProbe, RoundTripEveryType)
{
    const json values = {{"NAME", "Björk"}, {"HEIGHT", "-12.50"}, {"COUNT", "42"}};
    const json cases[] = {
        {{"type", 1}, {"records", {{{"parts", {{{1.5, -2.25}}}}, {"values", values}}, {{"null", true}, {"values", json::object()}}}}},
        {{"type", 8}, {"records", {{{"parts", {{{0, 0}, {1e-9, 123456789.123}, {-5, 5}}}}, {"values", values}}}}},
        {{"type", 3},
         {"records",
          {{{"null", true}, {"values", {{"NAME", "first null"}}}},
           {{"parts", {{{0, 0}, {1, 1}, {2, 0}}, {{5, 5}, {6, 6}}}}, {"values", values}}}}},
        {{"type", 5},
         {"records",
          {{{"parts", {{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}, {{2, 2}, {4, 2}, {4, 4}, {2, 4}, {2, 2}}}},
            {"values", values}}}}},
    };
    for (json in : cases) {
        ScratchDir dir;
        in["fields"] = fields();
        const json out = write_and_dump(dir, in);
        expect_round_trip(in, out);
        EXPECT_EQ(out["fields"], json({"NAME,C,16,0", "HEIGHT,N,10,2", "COUNT,N,6,0"}));
    }
}

TEST(ShapeProbe, RoundTripOfTheLargestTable)
{
    ScratchDir dir;
    json in = {{"type", 1}, {"fields", {"NAME,C,20,0", "LAT,N,12,6", "LON,N,12,6", "ELEV,N,8,1", "IDX,N,6,0"}}};
    json records = json::array();
    for (int i = 0; i < 32766; ++i) {
        char lat[32], lon[32];
        std::snprintf(lat, sizeof lat, "%.6f", 45 + i * 1e-5);
        std::snprintf(lon, sizeof lon, "%.6f", -120 - i * 1e-5);
        records.push_back({{"parts", {{{-120 - i * 1e-5, 45 + i * 1e-5}}}},
                           {"values",
                            {{"NAME", "wpt" + std::to_string(i)},
                             {"LAT", lat},
                             {"LON", lon},
                             {"ELEV", std::to_string(i % 1000) + ".5"},
                             {"IDX", std::to_string(i)}}}});
    }
    in["records"] = records;
    const json out = write_and_dump(dir, in);
    expect_round_trip(in, out);
    EXPECT_EQ(out["box"], json({-120 - 32765 * 1e-5, 45, -120, 45 + 32765 * 1e-5}));
}

TEST(ShapeProbe, PutFailuresAreListed)
{
    ScratchDir dir;
    write_text(dir / "in.json", json({{"type", 1},
                                      {"fields", {"N,N,3,0", "T,C,2,0"}},
                                      {"records", {{{"parts", {{{0, 0}}}}, {"values", {{"N", 12345}, {"T", "ok"}, {"X", 1}}}}}}})
                                    .dump());
    const auto w = probe("write " + dir / "p.shp" + " < " + dir / "in.json");
    EXPECT_EQ(w.exit, 0);
    EXPECT_EQ(json::parse(w.out), json({{"count", 1}, {"put_failed", {{1, "N"}, {1, "X"}}}}));
}

TEST(ShapeProbe, TableCommands)
{
    ScratchDir dir;
    write_text(dir / "in.json", json({{"type", 1}, {"fields", {"NAME,C,8,0"}}, {"records", json::array()}}).dump());
    ASSERT_EQ(probe("write " + dir / "p.shp" + " < " + dir / "in.json").exit, 0);
    EXPECT_EQ(json::parse(probe("addfield " + dir / "p.dbf" + " num,N,5,1").out), json({{"result", true}}));
    EXPECT_EQ(json::parse(probe("addfield " + dir / "p.dbf" + " NAME,C,3").out), json({{"result", false}}));
    EXPECT_EQ(json::parse(probe("addrecord " + dir / "p.dbf" + " NAME=abc NUM=2.25 NONE=1").out),
              json({{"record", 1}, {"put", {true, true, false}}}));
    const json d = json::parse(probe("dump " + dir / "p.shp").out);
    EXPECT_EQ(d["rows"], json::array({json::array({"abc     ", "  2.3"})})); // half away from zero
    EXPECT_EQ(json::parse(probe("empty " + dir / "e.shp" + " line").out), json({{"result", true}}));
    EXPECT_EQ(read_file(dir / "e.shp").size(), 100u);
    EXPECT_EQ(probe("frobnicate " + dir / "p.shp").exit, 2);
    EXPECT_EQ(probe("dump").exit, 2);
}

// Damaged files: one of the classes' errors or "table unreadable", exit 1.
class DamagedFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        json in = {{"type", 3}, {"fields", {"NAME,C,8,0"}}};
        in["records"] = json::array();
        for (int i = 0; i < 3; ++i)
            in["records"].push_back({{"parts", {{{i, 0}, {i, 1}, {i + 1, 1}}}}, {"values", {{"NAME", "r"}}}});
        write_text(dir / "in.json", in.dump());
        ASSERT_EQ(probe("write " + dir / "l.shp" + " < " + dir / "in.json").exit, 0);
    }
    json dump_error()
    {
        const auto d = probe("dump " + dir / "l.shp");
        EXPECT_EQ(d.exit, 1) << d.out;
        const json j = json::parse(d.out);
        EXPECT_TRUE(j.contains("error")) << d.out;
        return j["error"];
    }
    void patch(const std::string& name, size_t at, const Bytes& b) { shapes_test::patch_file(dir / name, at, b); }
    ScratchDir dir;
};

TEST_F(DamagedFiles, ShpCutInsideARecord)
{
    Bytes b = read_file(dir / "l.shp");
    b.resize(b.size() - 20);
    write_file(dir / "l.shp", b);
    EXPECT_EQ(dump_error()["number"], kBase + 518);
}

TEST_F(DamagedFiles, ShxClaimingTenTimesItsLength)
{
    patch("l.shx", 24, {0x00, 0x00, 0x02, 0x3A}); // 124 bytes, claims 1140
    const json e = dump_error();
    EXPECT_EQ(e["number"], kBase + 518);
    EXPECT_EQ(e["source"], "CShapeFile::Item");
}

TEST_F(DamagedFiles, RecordClaimingTooManyPoints)
{
    patch("l.shp", 100 + 8 + 40, {0xFF, 0xFF, 0xFF, 0x7F});
    EXPECT_EQ(dump_error()["number"], kBase + 517);
}

TEST_F(DamagedFiles, TableClaimingAMillionRecords)
{
    patch("l.dbf", 4, {0x40, 0x42, 0x0F, 0x00});
    const json e = dump_error();
    EXPECT_EQ(e["number"], 0);
    EXPECT_EQ(e["description"], "table unreadable");
}

TEST_F(DamagedFiles, TableHeaderLengthPastItsEnd)
{
    patch("l.dbf", 8, {0xFF, 0x7F});
    EXPECT_EQ(dump_error()["description"], "table unreadable");
}

TEST_F(DamagedFiles, RandomBytes)
{
    std::mt19937 rng(16);
    Bytes junk(1024);
    for (auto& b : junk) b = std::uint8_t(rng());
    const Bytes shp = read_file(dir / "l.shp");
    write_file(dir / "l.dbf", junk);
    EXPECT_EQ(dump_error()["description"], "table unreadable");
    write_file(dir / "l.shp", junk);
    EXPECT_EQ(dump_error()["number"], kBase + 519);
    write_file(dir / "l.shp", shp);
    write_file(dir / "l.shx", junk);
    EXPECT_EQ(dump_error()["number"], kBase + 519);
}
