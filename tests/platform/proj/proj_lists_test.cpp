// The projection lists the build writes into bin/proj/nad.
#include "tests/platform/proj/proj_test_support.h"

#include <fstream>
#include <map>
#include <vector>

using namespace proj_test;

namespace {

struct ListEntry {
    std::string description;  // the "# " line before the definition
    std::string definition;
};

// The list as code -> entry; every structural fault is a test failure.
std::map<long, ListEntry> read_list(const std::string& name)
{
    const std::string path = std::string(TREKFOLD_BINARY_DIR) + "/bin/proj/nad/" + name;
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    std::map<long, ListEntry> out;
    std::string line, description;
    long previous = 0;
    while (std::getline(in, line)) {
        if (line.rfind("# ", 0) == 0) {
            EXPECT_TRUE(description.empty()) << "two descriptions in a row before " << line;
            description = line;
            continue;
        }
        const auto close = line.find('>');
        EXPECT_TRUE(line.size() > 2 && line[0] == '<' && close != std::string::npos) << line;
        const long code = std::stol(line.substr(1, close - 1));
        EXPECT_GT(code, previous) << "codes ascend, each once: " << line;
        previous = code;
        EXPECT_FALSE(description.empty()) << line;
        const std::string tail = " +no_defs  no_defs <>";
        EXPECT_TRUE(line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
            << line;
        EXPECT_EQ(line.find("+type=crs"), std::string::npos) << line;
        out[code] = {description, line};
        description.clear();
    }
    return out;
}

TEST(ProjLists, HoldTheKnownLinesExactly)
{
    const auto epsg = read_list("epsg");
    EXPECT_EQ(epsg.at(4326).description, "# WGS 84");
    EXPECT_EQ(epsg.at(4326).definition, "<4326> +proj=longlat +ellps=WGS84 +datum=WGS84 +no_defs  no_defs <>");
    EXPECT_EQ(epsg.at(26915).description, "# NAD83 / UTM zone 15N");
    EXPECT_EQ(epsg.at(26915).definition,
              "<26915> +proj=utm +zone=15 +ellps=GRS80 +datum=NAD83 +units=m +no_defs  no_defs <>");
    EXPECT_EQ(epsg.at(26715).definition,
              "<26715> +proj=utm +zone=15 +ellps=clrk66 +datum=NAD27 +units=m +no_defs  no_defs <>");
    // A sphere given by its axes keeps them.
    EXPECT_NE(epsg.at(3857).definition.find("+a=6378137 +b=6378137"), std::string::npos);
    EXPECT_EQ(epsg.at(3857).definition.find("+datum="), std::string::npos);

    const auto esri = read_list("esri");
    EXPECT_EQ(esri.at(4326).description, "# GCS_WGS_1984");
    EXPECT_EQ(esri.at(4326).definition, epsg.at(4326).definition);
    EXPECT_EQ(esri.at(26915).description, "# NAD_1983_UTM_Zone_15N");
    EXPECT_EQ(esri.at(26915).definition, epsg.at(26915).definition);
    EXPECT_EQ(esri.at(102003).description, "# USA_Contiguous_Albers_Equal_Area_Conic");
    EXPECT_EQ(esri.at(102003).definition.rfind("<102003> +proj=aea ", 0), 0u);
    EXPECT_NE(esri.at(102003).definition.find(" +ellps=GRS80 +datum=NAD83 "), std::string::npos);
    EXPECT_EQ(epsg.count(102003), 0u);
}

TEST(ProjLists, EveryDefinitionIsAcceptedByTheLibrary)
{
    ProgramFolder folder;
    auto lib = platform::make_proj_library(folder.path.string());
    for (const char* name : {"epsg", "esri"}) {
        const auto list = read_list(name);
        if (std::string(name) == "epsg") {
            EXPECT_GT(list.size(), 5000u);
        }
        for (const auto& [code, entry] : list) {
            const auto h = lib->pjInitPlus(entry.definition);
            EXPECT_NE(h, 0) << name << ": " << entry.definition << " gives " << lib->pjErrNum();
            lib->pjFree(h);
        }
    }
}

} // namespace
