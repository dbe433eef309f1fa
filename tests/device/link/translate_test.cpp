#include "device/link/translate.h"
#include "platform/profile/profile.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace brenvik;
namespace fs = std::filesystem;

namespace {

using test_support::TempDir;
using test_support::read_file;

} // namespace

TEST(Translation, EnglishOrEmptyTouchesNoFile)
{
    TempDir d;
    cSAK sak;
    sak.set_folder(d.path);
    EXPECT_EQ(sak.xLate("No response from device"), "No response from device");
    sak.Language = "English";
    EXPECT_EQ(sak.xLate("No response from device"), "No response from device");
    EXPECT_TRUE(fs::is_empty(d.path));
    // Lower-case english is a language of its own.
    sak.Language = "english";
    EXPECT_EQ(sak.xLate("No response from device"), "No response from device");
    EXPECT_TRUE(fs::exists(d.path + "/brenvik2006_english.tlt"));
}

TEST(Translation, PhrasesAreCollectedAndEditsReadAtOnce)
{
    TempDir d;
    cSAK sak;
    sak.set_folder(d.path);
    sak.Language = "Deutsch";
    const std::string file = d.path + "/brenvik2006_Deutsch.tlt";
    EXPECT_EQ(sak.translation_file(), file);
    EXPECT_EQ(sak.xLate("No response from device"), "No response from device");
    EXPECT_EQ(read_file(file), "[Translations]\nNo response from device=No response from device\n");
    // Phrases with blanks at their ends keep them.
    EXPECT_EQ(sak.xLate("Re-try after "), "Re-try after ");
    EXPECT_EQ(sak.xLate("Re-try after "), "Re-try after ");
    EXPECT_NE(read_file(file).find("Re-try after=\"Re-try after \"\n"), std::string::npos);

    {
        std::ofstream f(file);
        f << "[translations]\r\nNO RESPONSE FROM DEVICE =  Keine Antwort vom Gerät  \r\nUnable to open port =\r\n";
    }
    EXPECT_EQ(sak.xLate("No response from device"), "Keine Antwort vom Gerät");
    // An empty value is replaced by the phrase.
    EXPECT_EQ(sak.xLate("Unable to open port "), "Unable to open port ");
    EXPECT_EQ(sak.xLate("Unable to open port "), "Unable to open port ");
    EXPECT_NE(read_file(file).find("Unable to open port=\"Unable to open port \"\r\n"), std::string::npos);
    EXPECT_EQ(read_file(file).find("Unable to open port =\r\n"), std::string::npos);
}

TEST(Translation, LanguageCannotLeaveTheFolder)
{
    TempDir d;
    fs::create_directory(d.path + "/sub");
    cSAK sak;
    sak.set_folder(d.path + "/sub");
    for (std::string bad : std::vector<std::string>{"../x", "a/b", "a\\b", "..", "x\ny", "t\tab"}) {
        sak.Language = bad;
        EXPECT_EQ(sak.translation_file(), "") << bad;
        EXPECT_EQ(sak.xLate("No response from device"), "No response from device") << bad;
    }
    EXPECT_TRUE(fs::is_empty(d.path + "/sub"));
    EXPECT_EQ(std::distance(fs::directory_iterator(d.path), fs::directory_iterator()), 1);
}

TEST(Translation, UnwritableFolderGivesThePhrase)
{
    cSAK sak;
    sak.set_folder("/nonexistent-folder-for-xlate");
    sak.Language = "Deutsch";
    EXPECT_EQ(sak.xLate("No response from device"), "No response from device");
}

TEST(Translation, LongValuesAreCut)
{
    TempDir d;
    cSAK sak;
    sak.set_folder(d.path);
    sak.Language = "X";
    {
        std::ofstream f(d.path + "/brenvik2006_X.tlt");
        f << "[Translations]\nA=" << std::string(300, 'z') << "\n";
    }
    EXPECT_EQ(sak.xLate("A"), std::string(254, 'z'));
}

TEST(Conversions, ByteReaders)
{
    std::vector<std::uint8_t> two{0x34, 0x12};
    EXPECT_EQ(cSAK::Byte2Int(two, 0), 0x1234);
    EXPECT_EQ(cSAK::Byte2Int(two, 1), 0);
    EXPECT_EQ(cSAK::Byte2Int(two, -1), 0);
    EXPECT_EQ(cSAK::Byte2Long({0xFF, 0xFF, 0xFF, 0xFF}, 0), -1);
    EXPECT_EQ(cSAK::Byte2Long({0xFF, 0xFF, 0xFF}, 0), 0);
    EXPECT_EQ(cSAK::uLong2Dbl(-1), 4294967295.0);
}

TEST(Conversions, TextsAndGeometry)
{
    // Byte2Str keeps its length: blanks after a stopping zero byte.
    EXPECT_EQ(cSAK::Byte2Str({65, 66, 0, 67}, 0, 4, false), "AB  ");
    EXPECT_EQ(cSAK::Byte2Str({65, 66, 0, 67}, 0, 4, true), std::string("AB\0C", 4));
    EXPECT_EQ(cSAK::Byte2Str({0xC9}, 0, 1, false), "\xC3\x89");  // É from the code page
    EXPECT_EQ(cSAK::Byte2Str({65}, 0, 3, false), "A  ");           // past the array: as a zero byte
    std::vector<std::uint8_t> bd(4, 0);
    cSAK::Str2Byte("AB", bd);
    EXPECT_EQ(bd, (std::vector<std::uint8_t>{'A', 'B', ' ', ' '}));
    cSAK::Str2Byte("ABCDEF", bd);
    EXPECT_EQ(bd, (std::vector<std::uint8_t>{'A', 'B', 'C', 'D'}));
    std::string v = std::string("  AB\0CD ", 8);
    EXPECT_EQ(cSAK::TrimNull(v), "AB");
    EXPECT_EQ(v, std::string("AB\0CD", 5));

    std::vector<std::string> fld{"x", "y", "z", "w"};
    cSAK::sParse("a,,b", fld);
    EXPECT_EQ(fld, (std::vector<std::string>{"a", " ", "b"}));
    cSAK::sParse("", fld);
    EXPECT_EQ(fld, (std::vector<std::string>{" "}));

    EXPECT_DOUBLE_EQ(cSAK::PolygonArea({0, 1, 1, 0}, {0, 0, 1, 1}), 1.0);
    EXPECT_DOUBLE_EQ(cSAK::PolygonArea({0, 1, 1, 0, 0}, {0, 0, 1, 1, 0}), 1.0);
    EXPECT_EQ(cSAK::PolygonArea({5}, {5}), 0.0);
    EXPECT_NEAR(cSAK::acos(0.5), std::acos(0.5), 1e-12);
    EXPECT_NEAR(cSAK::asin(-0.5), std::asin(-0.5), 1e-12);
    EXPECT_EQ(cSAK::Address_Of(1234), 1234);
}
