// The dBASE module: golden tables written from the layout tables, field
// encodings, the writers' placement rules and reads bounded by the file.
#include "main/files/dbase.h"
#include "platform/text/vb.h"
#include "platform/ui/scripted_dialogs.h"
#include "tests/main/shapes/scratch.h"
#include "tests/support/hex_bytes.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using files::DBase;
using shapes_test::Bytes;
using shapes_test::ScratchDir;
using shapes_test::read_file;
using shapes_test::write_file;
using test_support::cat;
using test_support::hex;

namespace {

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

class DBaseTest : public ::testing::Test {
protected:
    platform::ScriptedDialogs dialogs;
    DBase db{dialogs, [] { return platform::vb::Date{2026, 12, 9}; }};
    ScratchDir dir;

    // A table with widths 10 and 12, as written from the layout tables.
    static Bytes golden_two_fields()
    {
        return cat({hex("03 7E0C09 | 00000000 | 6100 | 1700"), Bytes(17, 0), hex("57 0000"),
                    hex("4E414D45 000000000000 | 00 | 43 | 00000000 | 0A | 00"), Bytes(14, 0),
                    hex("56414C5545 0000000000 | 00 | 4E | 00000000 | 0C | 02"), Bytes(14, 0), hex("0D")});
    }
    std::int16_t two_fields(const std::string& name = "t.dbf")
    {
        return db.DBF_Create(dir / name, {"name,C,10,0", "Value,N,12,2"});
    }
};

} // namespace

TEST_F(DBaseTest, CreateAndAddRecordGoldenBytes)
{
    const std::int16_t t = two_fields();
    ASSERT_GT(t, 0);
    EXPECT_EQ(read_file(dir / "t.dbf"), golden_two_fields());
    EXPECT_EQ(db.DBF_AddRecord(t), 1);
    const Bytes rec = cat({text(" "), text("          "), text("        0.00")});
    Bytes expected = golden_two_fields();
    expected[4] = 1;
    ASSERT_TRUE(db.DBF_Flush(t)); // added records are held back until then
    EXPECT_EQ(read_file(dir / "t.dbf"), cat({expected, rec, hex("1A")}));
    EXPECT_EQ(db.DBF_AddRecord(t), 2);
    ASSERT_TRUE(db.DBF_Flush(t));
    const Bytes after = read_file(dir / "t.dbf");
    ASSERT_EQ(after.size(), 97u + 23 + 23 + 1);
    EXPECT_EQ(Bytes(after.begin() + 120, after.begin() + 143), rec); // where the 26 stood
    EXPECT_EQ(db.DBF_GetRecordCount(t), 2);
    EXPECT_EQ(*db.DBF_GetFields(t), (std::vector<std::string>{"NAME,C,10,0", "VALUE,N,12,2"}));
    db.DBF_Close(t);
}

TEST_F(DBaseTest, FieldEncodings)
{
    const std::int16_t t = db.DBF_Create(dir / "e.dbf", {"abc,C,5", "comment_long_name,D,5,0", "Dec,N,5,2", "Cnt,N,3"});
    ASSERT_GT(t, 0);
    const Bytes b = read_file(dir / "e.dbf");
    EXPECT_EQ(Bytes(b.begin() + 32, b.begin() + 44), hex("414243 00000000000000 | 00 | 43"));
    EXPECT_EQ(Bytes(b.begin() + 64, b.begin() + 76), hex("434F4D4D454E545F4C4F | 00 | 4E")); // cut to 10, type N
    ASSERT_EQ(db.DBF_AddRecord(t), 1);
    EXPECT_TRUE(db.DBF_PutRecord(t, "ABC", 1, "abc"));
    // Too wide for the field: the overflow mark, never a different number.
    EXPECT_FALSE(db.DBF_PutRecord(t, "comment_lo", 1, "1234567"));
    EXPECT_FALSE(db.DBF_PutRecord(t, " dec ", 1, "1234.567"));
    EXPECT_TRUE(db.DBF_PutRecord(t, "cnt", 1, "2.5")); // half to even
    auto rows = db.DBF_GetRecords(t, 0);
    ASSERT_TRUE(rows);
    EXPECT_EQ((*rows)[0], (std::vector<std::string>{"abc  ", "*****", "*****", "  2"}));
    EXPECT_TRUE(db.DBF_PutRecord(t, "cnt", 1, "3.5"));
    EXPECT_TRUE(db.DBF_PutRecord(t, "dec", 1, "-1.5"));
    EXPECT_TRUE(db.DBF_PutRecord(t, "comment_lo", 1, "-1234"));
    rows = db.DBF_GetRecords(t, 1);
    EXPECT_EQ((*rows)[0], (std::vector<std::string>{"abc  ", "-1234", "-1.50", "  4"}));
    // Not a number: the field keeps what it held.
    EXPECT_FALSE(db.DBF_PutRecord(t, "cnt", 1, "many"));
    EXPECT_FALSE(db.DBF_PutRecord(t, "cnt", 1, "1e12"));
    EXPECT_EQ((*db.DBF_GetRecords(t, 1))[0][3], "***");
    // Windows-1252 in the file, UTF-8 in the program.
    EXPECT_TRUE(db.DBF_PutRecord(t, "abc", 1, "Zoë"));
    EXPECT_EQ(read_file(dir / "e.dbf")[b.size() + 3], 0xEB);
    EXPECT_EQ((*db.DBF_GetRecords(t, 1))[0][0], "Zoë  ");
    db.DBF_Close(t);
}

TEST_F(DBaseTest, PutRecordWritesEveryFieldOfThatNameOnly)
{
    const std::int16_t t = db.DBF_Create(dir / "d.dbf", {"A,C,3", "B,N,4", "a,C,2"});
    ASSERT_EQ(db.DBF_AddRecord(t), 1);
    EXPECT_TRUE(db.DBF_PutRecord(t, "a", 1, "xyz"));
    EXPECT_EQ((*db.DBF_GetRecords(t, 1))[0], (std::vector<std::string>{"xyz", "   0", "xy"}));
    const Bytes before = read_file(dir / "d.dbf");
    EXPECT_FALSE(db.DBF_PutRecord(t, "a", 0, "q"));
    EXPECT_FALSE(db.DBF_PutRecord(t, "a", 2, "q"));
    EXPECT_FALSE(db.DBF_PutRecord(t, "zz", 1, "q"));
    EXPECT_EQ(read_file(dir / "d.dbf"), before);
}

TEST_F(DBaseTest, VersionCheckAsksBeforeWriting)
{
    const std::int16_t t = two_fields();
    db.DBF_Close(t);
    Bytes b = read_file(dir / "t.dbf");
    b[0] = 4;
    write_file(dir / "t.dbf", b);
    const std::int16_t f = db.DBF_Open(dir / "t.dbf");
    dialogs.input("no");
    EXPECT_EQ(db.DBF_AddRecord(f), -1);
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.last()->text, "Warning: DBF file does not support DBASE Version 7, Contnue?");
    EXPECT_EQ(dialogs.last()->title, "Might be a problem...Send me the file to test???");
    EXPECT_EQ(dialogs.last()->default_text, "Yes");
    EXPECT_EQ(read_file(dir / "t.dbf"), b);
    dialogs.input("", true); // cancelled: written
    EXPECT_EQ(db.DBF_AddRecord(f), 1);
    EXPECT_TRUE(db.DBF_GetFields(f)); // reading never asks
    EXPECT_EQ(dialogs.boxes().size(), 2u);
}

TEST_F(DBaseTest, AddRecordAfterTheLastRecord)
{
    // A table without its end-of-file byte keeps its last record whole.
    std::int16_t t = two_fields();
    db.DBF_AddRecord(t);
    db.DBF_PutRecord(t, "NAME", 1, "keep me");
    db.DBF_Close(t);
    Bytes b = read_file(dir / "t.dbf");
    b.pop_back();
    write_file(dir / "t.dbf", b);
    t = db.DBF_Open(dir / "t.dbf");
    EXPECT_EQ(db.DBF_AddRecord(t), 2);
    auto rows = db.DBF_GetRecords(t, 0);
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ((*rows)[0][0], "keep me   ");
    EXPECT_EQ(read_file(dir / "t.dbf").back(), 0x1A);
    db.DBF_Close(t);

    // An empty table with the byte (as GDAL writes them) gets no gap.
    t = two_fields("g.dbf");
    db.DBF_Close(t);
    b = read_file(dir / "g.dbf");
    b.push_back(0x1A);
    write_file(dir / "g.dbf", b);
    t = db.DBF_Open(dir / "g.dbf");
    EXPECT_EQ(db.DBF_AddRecord(t), 1);
    db.DBF_Close(t);
    EXPECT_EQ(read_file(dir / "g.dbf").size(), 97u + 23 + 1);
}

TEST_F(DBaseTest, AddFieldsRewritesTheTable)
{
    std::int16_t t = two_fields();
    db.DBF_AddRecord(t);
    db.DBF_PutRecord(t, "NAME", 1, "one");
    EXPECT_TRUE(db.DBF_AddFields(t, "Ident,N,6,1"));
    EXPECT_EQ(*db.DBF_GetFields(t), (std::vector<std::string>{"NAME,C,10,0", "VALUE,N,12,2", "IDENT,N,6,1"}));
    auto rows = db.DBF_GetRecords(t, 0);
    EXPECT_EQ((*rows)[0], (std::vector<std::string>{"one       ", "        0.00", "   0.0"}));
    EXPECT_EQ(read_file(dir / "t.dbf").size(), 129u + 29 + 1);
    EXPECT_TRUE(db.DBF_PutRecord(t, "IDENT", 1, "7")); // the same file number, the new table
    EXPECT_FALSE(db.DBF_AddFields(t, "ident,C,3"));
    EXPECT_EQ(db.DBF_GetRecordCount(t), 1); // still open
    EXPECT_EQ(read_file(db.TempFolder_Get() + "Temp$dbf.dbf").size(), 97u + 23 + 1);
    db.DBF_Close(t);

    // On a table without records nothing follows the new terminator.
    t = two_fields("e.dbf");
    EXPECT_TRUE(db.DBF_AddFields(t, "x,C,4"));
    const Bytes e = read_file(dir / "e.dbf");
    ASSERT_EQ(e.size(), 129u);
    EXPECT_EQ(e.back(), 0x0D);
    EXPECT_EQ(db.DBF_AddRecord(t), 1);
    db.DBF_Close(t);
    EXPECT_EQ(read_file(dir / "e.dbf").size(), 129u + 27 + 1);
}

TEST_F(DBaseTest, AddFieldsFailureLeavesTheOldTable)
{
    std::int16_t t = two_fields();
    db.DBF_AddRecord(t);
    db.DBF_Close(t);
    Bytes b = read_file(dir / "t.dbf");
    b[10] = 0xFF; // record length past the end
    write_file(dir / "t.dbf", b);
    t = db.DBF_Open(dir / "t.dbf");
    EXPECT_FALSE(db.DBF_AddFields(t, "x,C,4"));
    EXPECT_EQ(db.DBF_GetRecordCount(t), -1); // closed, as before
    EXPECT_EQ(read_file(dir / "t.dbf"), b);
}

TEST_F(DBaseTest, GetRecordsLeavesOutDeletedRecords)
{
    std::int16_t t = two_fields();
    for (const char* n : {"a", "b", "c"}) db.DBF_PutRecord(t, "NAME", db.DBF_AddRecord(t), n);
    db.DBF_Close(t);
    Bytes b = read_file(dir / "t.dbf");
    b[97 + 23] = '*';
    write_file(dir / "t.dbf", b);
    t = db.DBF_Open(dir / "t.dbf");
    auto rows = db.DBF_GetRecords(t, 0);
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ((*rows)[1][0], "c         ");
    EXPECT_EQ((*db.DBF_GetRecords(t, 2))[0][0], "b         "); // selected by number
    EXPECT_TRUE(db.DBF_GetRecords(t, 4)->empty());
    db.DBF_Close(t);
    b[97] = b[97 + 46] = '*';
    write_file(dir / "t.dbf", b);
    t = db.DBF_Open(dir / "t.dbf");
    rows = db.DBF_GetRecords(t, 0);
    ASSERT_TRUE(rows); // all deleted: empty, not a failure
    EXPECT_TRUE(rows->empty());
}

TEST_F(DBaseTest, HeadersThatRunPastTheEndAreReadFailures)
{
    std::int16_t t = two_fields();
    for (int i = 0; i < 3; ++i) db.DBF_AddRecord(t);
    db.DBF_Close(t);
    const Bytes good = read_file(dir / "t.dbf");
    Bytes many = good;
    many[4] = 0x40, many[5] = 0x42, many[6] = 0x0F; // 1,000,000 records
    Bytes longhead = good;
    longhead[9] = 0x10; // header length 4193
    Bytes narrow = good;
    narrow[10] = 5; // fields wider than a record (a fuzzer's find)
    for (const Bytes& bad : {many, longhead, narrow, Bytes(31, 3)}) {
        write_file(dir / "t.dbf", bad);
        t = db.DBF_Open(dir / "t.dbf");
        ASSERT_GT(t, 0);
        EXPECT_FALSE(db.DBF_GetFields(t));
        EXPECT_FALSE(db.DBF_GetRecords(t, 0));
        EXPECT_EQ(db.DBF_GetRecordCount(t), -1);
        EXPECT_EQ(db.DBF_AddRecord(t), -1);
        EXPECT_FALSE(db.DBF_PutRecord(t, "NAME", 1, "x"));
        db.DBF_Close(t);
        EXPECT_EQ(read_file(dir / "t.dbf"), bad);
    }
}

TEST_F(DBaseTest, OpenCreatesAndFallsBackToReadOnly)
{
    const std::int16_t n = db.DBF_Open(dir / "new.dbf");
    EXPECT_GT(n, 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "new.dbf"));
    EXPECT_EQ(db.DBF_Open(dir / "missing/x.dbf"), -1);
    if (::geteuid() == 0) GTEST_SKIP() << "root writes any file";
    std::int16_t t = two_fields("ro.dbf");
    db.DBF_AddRecord(t);
    db.DBF_Close(t);
    ::chmod((dir / "ro.dbf").c_str(), 0444);
    t = db.DBF_Open(dir / "ro.dbf");
    ASSERT_GT(t, 0);
    EXPECT_EQ(db.DBF_GetRecords(t, 0)->size(), 1u);
    EXPECT_EQ(db.DBF_AddRecord(t), -1);
    EXPECT_FALSE(db.DBF_AddFields(t, "x,C,1"));
}

TEST_F(DBaseTest, FileSystemHelpers)
{
    EXPECT_EQ(DBase::Long_ToBytes(0x01020304), (std::array<std::uint8_t, 4>{4, 3, 2, 1}));
    EXPECT_EQ(DBase::Bytes_ToLong({0x61, 0, 0, 0}), 97u);
    EXPECT_TRUE(DBase::File_Delete(dir / "nothing"));
    EXPECT_TRUE(db.Folder_Exists(dir.path()));
    EXPECT_TRUE(db.Folder_Exists(dir.path() + "/"));
    EXPECT_FALSE(db.Folder_Exists(dir / "nothing"));
    EXPECT_TRUE(dialogs.boxes().empty()); // a missing folder is no failure
    const std::string too_long = "/" + std::string(5000, 'x');
    EXPECT_FALSE(db.Folder_Exists(too_long)); // the search itself fails
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.last()->text, "Error Finding: " + too_long + "/.");
    EXPECT_EQ(dialogs.last()->title, "Directory Does Not Exist");
    EXPECT_EQ(dialogs.last()->icon(), platform::vbCritical);
    dialogs.clear();
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    EXPECT_EQ(db.TempFolder_Get(), dir.path() + "/");
    if (old) ::setenv("TMPDIR", saved.c_str(), 1);
    else ::unsetenv("TMPDIR");
    EXPECT_TRUE(dialogs.boxes().empty());
}

TEST_F(DBaseTest, AddFieldsFailureKeepsTheOldTableAndTheCopy)
{
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    std::int16_t t = two_fields();
    for (int i = 0; i < 50; ++i) db.DBF_AddRecord(t);
    ASSERT_TRUE(db.DBF_Flush(t));
    const Bytes old = read_file(dir / "t.dbf");
    // No file may grow past the old table's size: the copy fits, the new table not.
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = old.size();
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool added = db.DBF_AddFields(t, "x,C,4");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ::unsetenv("TMPDIR");
    EXPECT_FALSE(added);
    EXPECT_EQ(read_file(dir / "t.dbf"), old);
    EXPECT_EQ(read_file(dir / "Temp$dbf.dbf"), old);
    EXPECT_EQ(db.DBF_GetRecordCount(t), -1); // closed
    std::size_t leftovers = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) leftovers += e.path().filename() != "t.dbf" &&
                                                                                      e.path().filename() != "Temp$dbf.dbf";
    EXPECT_EQ(leftovers, 0u);
}

TEST_F(DBaseTest, OpenFindsATableWhoseNameDiffersInCase)
{
    std::int16_t t = two_fields("A.DBF");
    db.DBF_AddRecord(t);
    db.DBF_Close(t);
    t = db.DBF_Open(dir / "a.dbf");
    EXPECT_EQ(db.DBF_GetRecordCount(t), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "a.dbf"));
}

TEST_F(DBaseTest, HeaderOfAnotherLengthGainsOneField)
{
    // 16 bytes more than two descriptors need (a fuzzer's find): still two
    // fields, and three after one is added.
    std::int16_t t = two_fields();
    db.DBF_Close(t);
    Bytes b = read_file(dir / "t.dbf");
    b.insert(b.end(), 16, 0);
    b[8] = 97 + 16;
    write_file(dir / "t.dbf", b);
    t = db.DBF_Open(dir / "t.dbf");
    EXPECT_EQ(db.DBF_GetFields(t)->size(), 2u);
    EXPECT_TRUE(db.DBF_AddFields(t, "x,C,4"));
    EXPECT_EQ(*db.DBF_GetFields(t), (std::vector<std::string>{"NAME,C,10,0", "VALUE,N,12,2", "X,C,4,0"}));
    EXPECT_EQ(db.DBF_AddRecord(t), 1);
    EXPECT_EQ((*db.DBF_GetRecords(t, 1))[0][2], "    ");
}

// The header is read once and kept between writes: whatever changes it
// (records added, a field added, bytes written into the header) must be
// seen by the next call.
TEST_F(DBaseTest, WritesThatChangeTheHeaderAreSeenByTheNextCall)
{
    const std::int16_t t = two_fields();
    ASSERT_GT(t, 0);
    ASSERT_EQ(db.DBF_AddRecord(t), 1);
    EXPECT_EQ(db.DBF_AddRecord(t), 2);
    EXPECT_EQ(db.DBF_GetRecordCount(t), 2);
    EXPECT_TRUE(db.DBF_PutRecord(t, "value", 2, "1.5"));

    ASSERT_TRUE(db.DBF_AddFields(t, "extra,C,3"));
    EXPECT_TRUE(db.DBF_PutRecord(t, "EXTRA", 2, "abc"));
    auto r = db.DBF_GetRecords(t, 2);
    ASSERT_TRUE(r && r->size() == 1);
    EXPECT_EQ((*r)[0], (std::vector<std::string>{"          ", "        1.50", "abc"}));

    // The version byte overwritten at a freshly opened table's start:
    // the next writer sees version 4 and asks.
    const std::int16_t again = db.DBF_Open(dir / "t.dbf");
    ASSERT_TRUE(db.DBF_GetFields(again));
    EXPECT_TRUE(db.Field_PutText(again, "\x04", 1, ' '));
    dialogs.input("no");
    EXPECT_FALSE(db.DBF_PutRecord(again, "name", 1, "x"));
    EXPECT_EQ(dialogs.boxes().size(), 1u);
}

// Added records are held back and written in pieces: values put into a
// record already written and into one still held both reach the file, a
// table dropped without DBF_Close is written whole, and a write that failed
// is reported by DBF_Flush and refuses every later write.
TEST_F(DBaseTest, HeldBackRecordsReachTheFileOrFailAloud)
{
    const int records = 2000; // 1,011 bytes each: more than one piece
    {
        DBase other(dialogs, [] { return platform::vb::Date{2027, 1, 2}; });
        const std::int16_t t = other.DBF_Create(dir / "h.dbf", {"A,C,250", "B,C,250", "C,C,250", "D,C,250", "N,N,10"});
        for (int i = 1; i <= records; ++i) {
            ASSERT_EQ(other.DBF_AddRecord(t), i);
            ASSERT_TRUE(other.DBF_PutRecord(t, "N", i, std::to_string(i)));
        }
        ASSERT_TRUE(other.DBF_PutRecord(t, "A", 1, "first"));
        ASSERT_TRUE(other.DBF_PutRecord(t, "D", records, "last"));
    }
    const Bytes b = read_file(dir / "h.dbf");
    ASSERT_EQ(b.size(), 32u * 5 + 33 + records * 1011 + 1);
    EXPECT_EQ(Bytes(b.begin() + 1, b.begin() + 8), hex("7F0102 | D0070000")); // date, 2000 records
    const std::int16_t t = db.DBF_Open(dir / "h.dbf");
    const auto rows = db.DBF_GetRecords(t, 0);
    ASSERT_EQ(rows->size(), std::size_t(records));
    EXPECT_EQ(platform::vb::Trim(rows->front()[0]), "first");
    EXPECT_EQ(platform::vb::Trim(rows->back()[3]), "last");
    for (int i = 0; i < records; ++i) ASSERT_EQ(platform::vb::Trim((*rows)[std::size_t(i)][4]), std::to_string(i + 1));
    int seen = 0; // one record at a time, as long as asked
    EXPECT_TRUE(db.DBF_ReadRecords(t, [&](const std::vector<std::string_view>& raw) {
        return raw[0].size() == 250 && ++seen < 3;
    }));
    EXPECT_EQ(seen, 3);

    const std::int16_t s = two_fields();
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 97 + 23; // the header and less than two records
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool added = db.DBF_AddRecord(s) == 1 && db.DBF_AddRecord(s) == 2;
    const bool flushed = db.DBF_Flush(s);
    const std::int32_t third = db.DBF_AddRecord(s);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(added);
    EXPECT_FALSE(flushed);
    EXPECT_EQ(third, -1);
    EXPECT_FALSE(db.DBF_PutRecord(s, "NAME", 1, "x"));
    EXPECT_TRUE(db.DBF_Close(s));
}
