// The save through temporaries for files another writer makes: a set of
// temporaries named alike, replaced whole or not at all, and the cause of a
// failure as the system's error number.
#include "platform/settings/stored_file.h"

#include "tests/support/file_size_limit.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

using test_support::read_file;
using test_support::TempDir;

void write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::vector<std::string> names(const std::string& dir)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(StagedFiles, TemporariesShareALowerCaseStemAndReplaceTheTargets)
{
    TempDir dir;
    const std::string shp = dir.path + "/A.SHP", dbf = dir.path + "/A.DBF";
    write(shp, "old shp");
    write(dbf, "old dbf");
    std::vector<std::string> told;
    platform::observe_saves([&](const std::string& p) { told.push_back(p); });
    {
        platform::StagedFiles staged({shp, dbf});
        std::string reason;
        ASSERT_TRUE(staged.stage(true, reason)) << reason;
        EXPECT_EQ(staged.temp(0), staged.temp_stem() + ".shp");
        EXPECT_EQ(staged.temp(1), staged.temp_stem() + ".dbf");
        EXPECT_EQ(read_file(staged.temp(1)), "old dbf"); // an append starts from a copy
        write(staged.temp(0), "new shp");
        ASSERT_TRUE(staged.commit(reason)) << reason;
    }
    platform::observe_saves(nullptr);
    EXPECT_EQ(read_file(shp), "new shp");
    EXPECT_EQ(read_file(dbf), "old dbf");
    EXPECT_EQ(names(dir.path), (std::vector<std::string>{"A.DBF", "A.SHP"}));
    EXPECT_EQ(told, (std::vector<std::string>{shp, dbf}));

    EXPECT_EQ(platform::find_any_case(dir.path + "/a.shp"), shp);
    EXPECT_EQ(platform::find_any_case(shp), shp);
    EXPECT_EQ(platform::find_any_case(dir.path + "/a.shx"), "");
}

TEST(StagedFiles, FailuresKeepTheTargetsAndSayWhy)
{
    TempDir dir;
    const std::string big = dir.path + "/big.dbf";
    write(big, std::string(4096, 'x'));
    const std::string answer = test_support::with_file_size_limit(1024, [&] {
        platform::StagedFiles staged({big});
        std::string reason;
        const bool ok = staged.stage(true, reason); // the copy is cut
        return std::to_string(ok) + " " + std::to_string(staged.error()) + " " + reason;
    });
    EXPECT_EQ(answer, "0 " + std::to_string(EFBIG) + " " + std::strerror(EFBIG));
    EXPECT_EQ(names(dir.path), (std::vector<std::string>{"big.dbf"}));
    EXPECT_EQ(read_file(big), std::string(4096, 'x'));

    std::filesystem::create_directory(dir.path + "/folder.shp");
    platform::StagedFiles staged({dir.path + "/folder.shp"});
    std::string reason;
    EXPECT_FALSE(staged.stage(false, reason));
    EXPECT_EQ(staged.error(), 0);
    EXPECT_EQ(reason, "Not a regular file");
}

} // namespace
