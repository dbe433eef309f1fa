// The projection list reader, the definition text and the display names.
#include "main/coords/catalogue.h"
#include "main/coords/coords.h"
#include "platform/automation/vb_error.h"

#include <gtest/gtest.h>

namespace {

using coords::ProjectionCatalogue;

ProjectionCatalogue read(std::initializer_list<const char*> lines)
{
    ProjectionCatalogue c;
    for (const char* l : lines) c.add_line(l);
    return c;
}

std::vector<std::string> group_order(const ProjectionCatalogue& c)
{
    std::vector<std::string> out;
    for (const auto& g : c.groups()) out.push_back(g.group);
    return out;
}

TEST(Catalogue, DescriptionLinesGiveGroupAndName)
{
    auto c = read({"<1> +a", "# X", "# NAD27 / ", "<2> +b", "# A / B / C", "<3> +c", "# WGS 84", "<4326> +d",
                   "<5> +e"});
    auto entry = [&](const char* code) {
        auto* e = c.find(code);
        return e ? e->group + "|" + e->name : std::string("<none>");
    };
    EXPECT_EQ(entry("1"), "|");                 // no description line
    EXPECT_EQ(entry("2"), "NAD27|No Projection"); // only the second of two applies
    EXPECT_EQ(entry("3"), "A|B");
    EXPECT_EQ(entry("4326"), "WGS 84|No Projection");
    EXPECT_EQ(entry("5"), "|"); // a description applies to one definition only
}

TEST(Catalogue, GroupsKeepTheOrderOfTheirLastDefinitionAndFirstNames)
{
    auto c = read({"# G / one", "<1> +a", "# H / x", "<2> +b", "# G / two", "<3> +c", "# G / one", "<4> +d"});
    EXPECT_EQ(group_order(c), (std::vector<std::string>{"H", "G"}));
    auto groups = c.groups();
    ASSERT_EQ(groups[1].names.size(), 2u);
    EXPECT_EQ(groups[1].names[0].first, "one");
    EXPECT_EQ(groups[1].names[0].second, "<1> +a"); // the first definition of a name wins
    EXPECT_EQ(groups[1].names[1].first, "two");
}

TEST(Catalogue, EachCodeKeepsItsFirstDefinitionAndItsOwnLine)
{
    // Codes sharing group and name (PROJ's list has some) each keep their
    // own parameters.
    auto c = read({"# ETRF2000-PL / CS2000/15", "<2176> +proj=tmerc +lon_0=15 +no_defs  no_defs <>",
                   "# ETRF2000-PL / CS2000/18", "<2177> +proj=tmerc +lon_0=18 +no_defs  no_defs <>",
                   "# Other / Name", "<2176> +proj=other <>"});
    EXPECT_EQ(c.size(), 2u);
    EXPECT_EQ(c.find("2176")->group, "ETRF2000-PL");
    EXPECT_EQ(coords::definition_parameters(c.find("2176")->definition), "+proj=tmerc +lon_0=15 +no_defs");
    EXPECT_EQ(coords::definition_parameters(c.find("2177")->definition), "+proj=tmerc +lon_0=18 +no_defs");
    EXPECT_EQ(group_order(c), (std::vector<std::string>{"ETRF2000-PL", "Other"}));
}

TEST(Catalogue, ALineWithoutCodeStopsWithWhatCameBefore)
{
    for (const char* bad : {"", "no bracket here", ">x"}) {
        ProjectionCatalogue c;
        c.add_line("# A / B");
        c.add_line("<1> +a");
        try {
            c.add_line(bad);
            ADD_FAILURE() << "accepted \"" << bad << "\"";
        } catch (const platform::VbError& e) {
            EXPECT_EQ(e.number, 5);
        }
        EXPECT_NE(c.find("1"), nullptr);
    }
    EXPECT_NE(read({"<> +a"}).find(""), nullptr); // an empty code is a code
}

TEST(Catalogue, DefinitionIsThePlusTokensJoinedByOneBlank)
{
    EXPECT_EQ(coords::definition_parameters(
                  "<26915> +proj=utm +zone=15 +ellps=GRS80 +datum=NAD83 +units=m +no_defs  no_defs <>"),
              "+proj=utm +zone=15 +ellps=GRS80 +datum=NAD83 +units=m +no_defs");
    EXPECT_EQ(coords::definition_parameters("<1> no plus at all <>"), "");
    ProjectionCatalogue c;
    c.add_line("<4326> +proj=longlat +no_defs <>\r"); // a list written with CR LF
    EXPECT_EQ(c.find("4326")->definition, "<4326> +proj=longlat +no_defs <>");
}

TEST(Catalogue, ArcMapNames)
{
    using coords::arcmap_projection_name;
    EXPECT_EQ(arcmap_projection_name("projcs[\"NAD_1983_UTM_Zone_15N\",GEOGCS[\"GCS\"]]"), "NAD_1983_UTM_Zone_15N");
    EXPECT_EQ(arcmap_projection_name("PROJCS[\"NAD_1983_UTM_Zone_15N\",GEOGCS[\"GCS\"]]"), "NAD_1983_UTM_Zone_15N");
    EXPECT_EQ(arcmap_projection_name("GEOGCS[\"GCS_WGS_1984\",DATUM[\"D\"]]"), "GCS_WGS_1984");
    EXPECT_EQ(arcmap_projection_name(""), "");
    EXPECT_EQ(arcmap_projection_name("no quotes"), "");
    EXPECT_EQ(arcmap_projection_name("open \"only"), "");
    EXPECT_THROW(arcmap_projection_name("projcs[\"unclosed"), platform::VbError);
}

TEST(Catalogue, ErrorTexts)
{
    EXPECT_EQ(coords::pjErrorString(0), "no error");
    EXPECT_EQ(coords::pjErrorString(-1), "no arguments in initialization list");
    EXPECT_EQ(coords::pjErrorString(-14), "latitude or longitude exceeded limits");
    EXPECT_EQ(coords::pjErrorString(-38), "failed to load NAD27-83 correction file");
    EXPECT_EQ(coords::pjErrorString(-44), "unparseable coordinate system definition");
    EXPECT_EQ(coords::pjErrorString(-45), "System Error #-45");
    EXPECT_EQ(coords::pjErrorString(2), "System Error #2");
}

} // namespace
