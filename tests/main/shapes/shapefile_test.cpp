// CShapeFile and CFileName: golden bytes written from the layout tables,
// the extent and polygon rules, the errors, and reads bounded by the files.
#include "main/files/dbase.h"
#include "main/files/shapefile.h"
#include "platform/automation/vb_error.h"
#include "platform/ui/scripted_dialogs.h"
#include "tests/main/shapes/scratch.h"
#include "tests/main/shapes/shape_builders.h"
#include "tests/support/hex_bytes.h"

#include <gtest/gtest.h>


using namespace files;
using shapes_test::Bytes;
using shapes_test::ScratchDir;
using shapes_test::error_of;
using shapes_test::pt;
using shapes_test::read_file;
using shapes_test::shape_of;
using test_support::cat;
using test_support::hex;

namespace {

constexpr int kBase = int(0x80040000u);

CFileName spec(const std::string& path)
{
    CFileName n;
    n.SetFileSpec(path);
    return n;
}

// A point pair holding (1, 1).
void one_point_pair(const std::string& shp)
{
    CShapeFile f;
    f.SetFileSpec(spec(shp), CREATEIT, 1);
    f.Add(pt(1, 1));
}

// Header fields, big-endian where the layout says so.
Bytes header(const char* words, const char* type, const char* box)
{
    return cat({hex("0000270A 00000000 00000000 00000000 00000000 00000000"), hex(words), hex("E8030000"),
                hex(type), hex(box), Bytes(32, 0)});
}
const char* kZeroBox = "0000000000000000 0000000000000000 0000000000000000 0000000000000000";

} // namespace

TEST(ShapeFile, NewPairHasTwoHeadersOnly)
{
    ScratchDir dir;
    {
        CShapeFile f;
        f.SetFileSpec(spec(dir / "a.shp"), CREATEIT, 3);
    }
    const Bytes h = header("00000032", "03000000", kZeroBox);
    EXPECT_EQ(read_file(dir / "a.shp"), h);
    EXPECT_EQ(read_file(dir / "a.shx"), h);
    CShapeFile again;
    again.SetFileSpec(spec(dir / "a.shp"), 0);
    EXPECT_EQ(again.Count(), 0);
    EXPECT_EQ(again.fileType(), 3);
}

TEST(ShapeFile, FirstPointGoldenBytes)
{
    ScratchDir dir;
    {
        CShapeFile f;
        f.SetFileSpec(spec(dir / "p.shp"), CREATEIT, 1);
        f.Add(pt(10, 20));
        EXPECT_EQ(f.Count(), 1);
    }
    // 10.0 = 40 24 00.. and 20.0 = 40 34 00.., little-endian.
    const char* box = "0000000000002440 0000000000003440 0000000000002440 0000000000003440";
    EXPECT_EQ(read_file(dir / "p.shp"),
              cat({header("00000040", "01000000", box),
                   hex("00000001 0000000A | 01000000 | 0000000000002440 | 0000000000003440")}));
    EXPECT_EQ(read_file(dir / "p.shx"), cat({header("00000036", "01000000", box), hex("00000032 0000000A")}));
}

TEST(ShapeFile, PolylineOfTwoPartsGoldenRecord)
{
    ScratchDir dir;
    {
        CShapeFile f;
        f.SetFileSpec(spec(dir / "l.shp"), CREATEIT, 3);
        f.Add(shape_of<CPolyLine>({{{0, 0}, {1, 1}, {2, 0}}, {{5, 5}, {6, 6}}}));
    }
    const Bytes shp = read_file(dir / "l.shp");
    ASSERT_EQ(shp.size(), 100u + 8 + 132);
    const Bytes record(shp.begin() + 100, shp.end());
    EXPECT_EQ(record, hex("00000001 00000042 | 03000000"
                          "| 0000000000000000 0000000000000000 0000000000001840 0000000000001840"
                          "| 02000000 05000000 | 00000000 03000000"
                          "| 0000000000000000 0000000000000000 | 000000000000F03F 000000000000F03F"
                          "| 0000000000000040 0000000000000000"
                          "| 0000000000001440 0000000000001440 | 0000000000001840 0000000000001840"));
    EXPECT_EQ(read_file(dir / "l.shx").size(), 108u);
}

TEST(ShapeFile, EmptyHeadersForTheRecorder)
{
    ScratchDir dir;
    platform::ScriptedDialogs d;
    DBase db(d);
    const auto expected = [](const char* type) {
        return cat({hex("0000270A"), Bytes(23, 0), hex("32 E8030000"), hex(type), Bytes(25, 0), hex("F0BF"),
                    Bytes(6, 0), hex("F0BF"), Bytes(32, 0)});
    };
    EXPECT_TRUE(db.Shapefile_WriteEmptyHeader(dir / "p.shp", "POINT"));
    EXPECT_EQ(read_file(dir / "p.shp"), expected("01"));
    EXPECT_TRUE(db.Shapefile_WriteEmptyHeader(dir / "l.shx", " line "));
    EXPECT_EQ(read_file(dir / "l.shx"), expected("03"));
    EXPECT_TRUE(db.Shapefile_WriteEmptyHeader(dir / "g.shp", "Polygon"));
    EXPECT_EQ(read_file(dir / "g.shp"), expected("05"));
    EXPECT_TRUE(d.boxes().empty());
    db.Shapefile_WriteEmptyHeader(dir / "x.shp", "arc");
    EXPECT_EQ(read_file(dir / "x.shp"), expected("00"));
    ASSERT_EQ(d.boxes().size(), 1u);
    EXPECT_EQ(d.last()->text, "The function must be passed a string either Point, Line, or Polygon");
    EXPECT_EQ(d.last()->title, "Programming ERROR");
    EXPECT_EQ(d.last()->icon(), platform::vbCritical);
}

TEST(ShapeFile, BoxesBoundWhatIsWritten)
{
    ScratchDir dir;
    {
        CShapeFile f;
        f.SetFileSpec(spec(dir / "l.shp"), CREATEIT, 3);
        auto n = std::make_shared<CPolyLine>();
        n->MakeNull(true);
        f.Add(n); // a leading null record does not pull (0, 0) into the box
        // Parts filled after being added leave the line's extent at zero.
        auto line = std::make_shared<CPolyLine>();
        auto part = std::make_shared<CPart>();
        line->Add(part);
        part->Add(pt(5, 6));
        part->Add(pt(7, 9));
        f.Add(line);
        EXPECT_EQ(f.Left(), 5);
        EXPECT_EQ(f.Bottom(), 6);
        EXPECT_EQ(f.Right(), 7);
        EXPECT_EQ(f.Top(), 9);
    }
    CShapeFile r;
    r.SetFileSpec(spec(dir / "l.shp"), 0);
    EXPECT_EQ(r.Left(), 5);
    EXPECT_EQ(r.Top(), 9);
    EXPECT_TRUE(r.Item(1)->IsNull());
    auto line = std::dynamic_pointer_cast<CPolyLine>(r.Item(2));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->Left(), 5);
    EXPECT_EQ(line->Top(), 9);
    EXPECT_EQ(line->Item(1)->Item(2)->y, 9);
}

TEST(ShapeFile, PolygonRingsClosedAndOriented)
{
    ScratchDir dir;
    // Outer ring counter-clockwise and open, hole clockwise.
    auto g = shape_of<CPolygon>({{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{2, 2}, {2, 4}, {4, 4}, {4, 2}, {2, 2}}});
    {
        CShapeFile f;
        f.SetFileSpec(spec(dir / "g.shp"), CREATEIT, 5);
        f.Add(g);
    }
    EXPECT_EQ(g->Item(1)->Count(), 4); // the shape in memory is left alone
    EXPECT_EQ(g->Item(1)->Item(2)->x, 10);
    CShapeFile r;
    r.SetFileSpec(spec(dir / "g.shp"), 0);
    auto back = std::dynamic_pointer_cast<CPolygon>(r.Item(1));
    ASSERT_TRUE(back);
    const auto coords = [](const CPart& p) {
        std::vector<std::pair<double, double>> v;
        for (const auto& q : p.NewEnum()) v.emplace_back(q->x, q->y);
        return v;
    };
    using V = std::vector<std::pair<double, double>>;
    EXPECT_EQ(coords(*back->Item(1)), (V{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}})); // clockwise
    EXPECT_EQ(coords(*back->Item(2)), (V{{2, 2}, {4, 2}, {4, 4}, {2, 4}, {2, 2}}));      // counter-clockwise
}

TEST(ShapeFile, AddChecksTheClass)
{
    ScratchDir dir;
    CShapeFile f;
    f.SetFileSpec(spec(dir / "p.shp"), CREATEIT, 1);
    auto e = error_of([&] { f.Add(std::make_shared<CPolygon>()); });
    EXPECT_EQ(e.number, kBase + 528);
    EXPECT_EQ(e.number, -2147220976);
    EXPECT_EQ(e.source, "CShapeFile::Add");
    EXPECT_EQ(e.description, "Cannot add type CPolygon to a ShapeFile initialized as other type");
    EXPECT_EQ(error_of([&] { f.Add(std::make_shared<CPolyLine>()); }).description,
              "Cannot add type CPolyline to a ShapeFile initialized as other type");
    EXPECT_EQ(error_of([&] { f.Add(std::make_shared<CMultiPoint>()); }).number, kBase + 528);
    e = error_of([&] { f.Add(std::make_shared<CRect>()); });
    EXPECT_EQ(e.number, kBase + 529);
    EXPECT_EQ(e.description, "Invalid shape type");
    EXPECT_EQ(f.Count(), 0);
    EXPECT_EQ(read_file(dir / "p.shp").size(), 100u);
    EXPECT_EQ(read_file(dir / "p.shx").size(), 100u);
}

TEST(ShapeFile, FileNameRules)
{
    CFileName n;
    n.SetFileSpec("/data/a.shp");
    for (const char* bad : {"//server/a.shp", "data/a.shp", "/data//a.shp", "/a..b/c.shp", "/data/a", "",
                            "/data/a?.shp", "/data/a:b.shp", "/data\\a.shp"}) {
        auto e = error_of([&] { n.SetFileSpec(bad); });
        EXPECT_EQ(e.number, kBase + 515) << bad;
        EXPECT_EQ(e.source, "C_FileName::SetFileSpec");
        EXPECT_EQ(e.description, "The FileSpec is invalid");
    }
    EXPECT_EQ(n.GetFileSpec(), "/data/a.shp");
    n.SetFileSpec("/data/tracks.v2.shp");
    EXPECT_EQ(n.GetBaseName(), "tracks.v2");
    EXPECT_EQ(n.GetExtension(), "shp");
    n.SetBaseName("routes");
    EXPECT_EQ(n.GetFileSpec(), "/data/routes.shp");
    n.SetExtension("dbf");
    EXPECT_EQ(n.GetFileSpec(), "/data/routes.dbf");
    EXPECT_EQ(error_of([&] { n.SetBaseName("a/b"); }).source, "C_FileName::SetBaseName");
    EXPECT_EQ(error_of([&] { n.SetExtension(""); }).source, "C_FileName::SetExtension");
    EXPECT_EQ(n.GetFileSpec(), "/data/routes.dbf");
}

TEST(ShapeFile, OpeningFindsNamesThatDifferInCase)
{
    ScratchDir dir;
    {
        CShapeFile f;
        f.SetFileSpec(spec(dir / "a.shp"), CREATEIT, 1);
        f.Add(pt(1, 2));
    }
    std::filesystem::rename(dir / "a.shp", dir / "A.SHP");
    std::filesystem::rename(dir / "a.shx", dir / "A.SHX");
    CShapeFile r;
    r.SetFileSpec(spec(dir / "a.shp"), 0);
    EXPECT_EQ(r.Count(), 1);
    EXPECT_EQ(std::dynamic_pointer_cast<CPoint>(r.Item(1))->y, 2);
    // Creating writes the exact names and leaves the others alone.
    CShapeFile c;
    c.SetFileSpec(spec(dir / "a.shp"), CREATEIT, 1);
    EXPECT_TRUE(std::filesystem::exists(dir / "A.SHP"));
    EXPECT_EQ(read_file(dir / "a.shp").size(), 100u);
}

TEST(ShapeFile, OpeningErrors)
{
    ScratchDir dir;
    CShapeFile f;
    auto e = error_of([&] { f.SetFileSpec(spec(dir / "none.shp"), 0); });
    EXPECT_EQ(e.number, kBase + 524);
    EXPECT_EQ(e.source, "C_ShapeFile::SetFileSpec");
    EXPECT_EQ(e.description, "The specified file " + (dir / "none.shx") + " does not exist.");

    shapes_test::write_file(dir / "b.shp", Bytes(100, 0));
    shapes_test::write_file(dir / "b.shx", Bytes(100, 0));
    e = error_of([&] { f.SetFileSpec(spec(dir / "b.shp"), 0); });
    EXPECT_EQ(e.number, kBase + 519);
    EXPECT_EQ(e.description, "The shx file has an invalid shape code in the main header.");
    shapes_test::write_file(dir / "b.shx", header("00000032", "01000000", kZeroBox));
    e = error_of([&] { f.SetFileSpec(spec(dir / "b.shp"), 0); });
    EXPECT_EQ(e.description, "The shp file has an invalid shape code in the main header.");

    // A missing type is refused before the old pair is touched.
    e = error_of([&] { f.SetFileSpec(spec(dir / "b.shp"), CREATEIT); });
    EXPECT_EQ(e.number, kBase + 525);
    EXPECT_EQ(e.description, "The ShapeType argument is not optional when argument status is CREATEIT");
    EXPECT_EQ(read_file(dir / "b.shx").size(), 100u);
}

TEST(ShapeFile, OtherCreateStatusEmptiesThePair)
{
    ScratchDir dir;
    {
        CShapeFile f;
        f.SetFileSpec(spec(dir / "p.shp"), CREATEIT, 1);
        for (int i = 0; i < 5; ++i) f.Add(pt(i, i));
    }
    {
        CShapeFile f;
        f.SetFileSpec(spec(dir / "p.shp"), 2, 1);
        f.Add(pt(7, 7));
    }
    EXPECT_EQ(read_file(dir / "p.shp").size(), 128u);
    EXPECT_EQ(read_file(dir / "p.shx").size(), 108u);
}

TEST(ShapeFile, UpdateAppendsAndReadOnlyRefuses)
{
    ScratchDir dir;
    one_point_pair(dir / "p.shp");
    {
        CShapeFile f;
        f.SetFileSpec(spec(dir / "p.shp"), 0, std::nullopt, true);
        f.Add(pt(-1, 3));
        EXPECT_EQ(f.Count(), 2);
        EXPECT_EQ(f.Left(), -1);
        EXPECT_EQ(f.Right(), 1);
    }
    CShapeFile r;
    r.SetFileSpec(spec(dir / "p.shp"), 0);
    EXPECT_EQ(r.Count(), 2);
    EXPECT_EQ(std::dynamic_pointer_cast<CPoint>(r.Item(2))->x, -1);
    EXPECT_NE(error_of([&] { r.Add(pt(0, 0)); }).number, 0);
    EXPECT_EQ(r.Count(), 2);
}

// Damaged pairs: each fails with the table's error, never a crash or a
// read of what the file merely claims (cut files and inflated indexes are
// run through shape-probe).
class DamagedPair : public ::testing::Test {
protected:
    void SetUp() override
    {
        CShapeFile f;
        f.SetFileSpec(spec(dir / "l.shp"), CREATEIT, 3);
        f.Add(shape_of<CPolyLine>({{{0, 0}, {1, 1}}}));
        f.Add(shape_of<CPolyLine>({{{2, 2}, {3, 3}, {4, 4}}}));
    }
    Bytes shp() { return read_file(dir / "l.shp"); }
    void patch(const std::string& name, size_t at, const Bytes& b) { shapes_test::patch_file(dir / name, at, b); }
    int item_error(std::int32_t i)
    {
        CShapeFile r;
        r.SetFileSpec(spec(dir / "l.shp"), 0);
        return error_of([&] { r.Item(i); }).number;
    }
    ScratchDir dir;
};

TEST_F(DamagedPair, CountsThatDoNotFitTheRecord)
{
    patch("l.shp", 100 + 8 + 40, hex("FFFFFF7F")); // points 2^31 - 1
    auto e = item_error(1);
    EXPECT_EQ(e, kBase + 517);
    SetUp();
    patch("l.shp", 100 + 8 + 36, hex("FFFFFF7F")); // parts 2^31 - 1
    EXPECT_EQ(item_error(1), kBase + 517);
    SetUp();
    patch("l.shp", 100 + 8 + 44, hex("05000000")); // first part starts past the points
    EXPECT_EQ(item_error(1), kBase + 517);
}

TEST_F(DamagedPair, RecordNumberAndTypeMustMatch)
{
    patch("l.shp", 100, hex("00000007"));
    EXPECT_EQ(item_error(1), kBase + 517);
    SetUp();
    patch("l.shp", 108, hex("05000000"));
    CShapeFile r;
    r.SetFileSpec(spec(dir / "l.shp"), 0);
    auto e = error_of([&] { r.Item(1); });
    EXPECT_EQ(e.number, kBase + 526);
    EXPECT_EQ(e.source, "CShapeFile::Item");
    EXPECT_EQ(e.description, "A shape type does not match main header type.");
}

TEST(ShapeFile, PointMissingFromTheIndexIsNothing)
{
    ScratchDir dir;
    one_point_pair(dir / "p.shp");
    CShapeFile r;
    r.SetFileSpec(spec(dir / "p.shp"), 0);
    EXPECT_EQ(r.Item(2), nullptr);
    EXPECT_EQ(r.Item(0), nullptr);
}
