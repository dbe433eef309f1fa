// The element tree: its operations, the text it writes, and the tolerant
// reader on documents that other programs, people and damage produce.
#include "main/files/gpx.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using files::clsGPXType;

namespace {

clsGPXType::Ptr element(const std::string& name, std::string text = {})
{
    auto e = std::make_shared<clsGPXType>();
    e->TypeString(name);
    if (!text.empty())
        e->Description(text);
    return e;
}

// The document read into a new root (held by `keep`).
clsGPXType& read(const std::string& doc)
{
    static std::vector<std::unique_ptr<clsGPXType>> keep;
    keep.push_back(std::make_unique<clsGPXType>());
    keep.back()->GPX_LoadText(doc);
    return *keep.back();
}

std::string text_of(const clsGPXType& e, const std::string& child)
{
    return files::XML_Decode(e.Element_GetDescription(child));
}

TEST(XmlEscape, KeepsOnlyRealReferences)
{
    auto esc = [](std::string s) { return files::XML_Escape(s); };
    EXPECT_EQ(esc("Fish & Chips"), "Fish &amp; Chips");
    EXPECT_EQ(esc("Fish &amp; Chips"), "Fish &amp; Chips");
    EXPECT_EQ(esc("AT&T;"), "AT&amp;T;");
    EXPECT_EQ(esc("&#8364; &#x20AC;"), "&#8364; &#x20AC;");
    EXPECT_EQ(esc("&#0; &nbsp; &#xZZ;"), "&amp;#0; &amp;nbsp; &amp;#xZZ;");
    EXPECT_EQ(esc("<a href='x'>\"q\""), "&lt;a href=&apos;x&apos;&gt;&quot;q&quot;");
    EXPECT_EQ(esc("bell\x07"), "bell ");
    std::string once = esc("a<b & 'c' &lt; AT&T; &#246;");
    EXPECT_EQ(esc(once), once);
}

TEST(XmlEscape, DecodeUndoesEscape)
{
    for (std::string s : {"Fish & Chips", "AT&T;", "<br> 'q' \"d\"", "&euro; &#xD800;"}) {
        std::string e = s;
        EXPECT_EQ(files::XML_Decode(files::XML_Escape(e)), s);
    }
    EXPECT_EQ(files::XML_Decode("V&#246;lker &#x20AC; &amp;amp; tab&#9;end &unknown;"),
              "V\xC3\xB6lker \xE2\x82\xAC &amp; tab end &unknown;");
}

TEST(Tree, ElementLookupsAndCounts)
{
    clsGPXType root;
    auto a = element("name", "first");
    auto b = element("NAME", "second");
    root.Element_Add("name", a);
    root.Element_Add("Name", b);
    root.Element_Add("WPT", element("wpt"));
    root.Element_Add("trk", element("trk"));
    EXPECT_EQ(root.Element_Get("NAME"), a);          // first by entry name
    EXPECT_EQ(root.Element_GetDescription("name"), "second"); // last
    EXPECT_EQ(root.Elements_Get("name").size(), 2u);  // by element name
    EXPECT_TRUE(root.Elements_Get("rte").empty());
    EXPECT_EQ(root.Waypoints_Count(), 1);
    EXPECT_EQ(root.Tracks_Count(), 1);
    EXPECT_EQ(root.Routes_Count(), 0);
    EXPECT_EQ(a->Parent(), &root);

    root.Attribute_Add("lat", "\"45.5\"");
    root.Attribute_Add("Lat", "1");
    root.Attribute_Add("lat", "46");
    EXPECT_EQ(root.Attribute_Get("lat"), "\"46\"");
    EXPECT_EQ(root.attributes().size(), 2u); // replaced in place, names exact
    EXPECT_EQ(root.Attribute_Get("LAT"), "");
    EXPECT_EQ(root.Object_GetInformation({"lat", "name", "none"}), (std::vector<std::string>{"46", "second", ""}));
}

TEST(Tree, WritesTheLayout)
{
    clsGPXType root;
    root.TypeString("gpx");
    root.Attribute_Add("a", "1");
    root.Attribute_Add("b", "2");
    auto wpt = element("wpt");
    wpt->Attribute_Add("lat", "1");
    wpt->Attribute_Add("lon", "2");
    wpt->Attribute_Add("x", "3");
    wpt->Element_Add("name", element("name", "A & B"));
    root.Element_Add("wpt", wpt);
    auto seg = element("trkseg");
    root.Element_Add("trkseg", seg);
    EXPECT_EQ(root.gpxString(), "<gpx a=\"1\" b=\"2\">\r\n"
                                " <wpt\r\n  lat=\"1\"\r\n  lon=\"2\"\r\n  x=\"3\">\r\n   <name>A &amp; B</name></wpt>\r\n"
                                " <trkseg></trkseg>\r\n"
                                "</gpx>");
}

TEST(Tree, HeaderDeclaresTheGarminPrefix)
{
    ::setenv("USER", "walker", 1);
    clsGPXType root;
    root.GPX_SetHeader();
    std::string s = root.gpxString();
    EXPECT_EQ(s.rfind("<?xml version=\"1.0\"?>\r\n<gpx\r\n version=\"1.0\"\r\n creator=\"Trekfold - ", 0), 0u);
    auto at = [&](const char* what) { return s.find(what); };
    EXPECT_LT(at("xmlns:xsi="), at(" xmlns=\""));
    EXPECT_LT(at(" xmlns=\""), at("xmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\""));
    EXPECT_LT(at("xmlns:gpxx="), at("xsi:schemaLocation="));
    EXPECT_NE(at("<author>WALKER</author>"), std::string::npos);
    EXPECT_EQ(root.Element_GetDescription("time").size(), 20u);
}

TEST(Tree, PointAddBuildsTracksAndRoutes)
{
    std::vector<std::string> keys = {"lat", "lon", "name", "new_seg", "rname", "rcmt", "rnumber", "time"};
    clsGPXType trk;
    for (int i = 1; i <= 5; ++i)
        trk.Point_Add({"1", "2", "P" + std::to_string(i), i == 1 || i == 4 ? "True" : "false", "", "", "",
                       "2007/01/15 18:00:00"},
                      keys, "trkpt", i == 5);
    auto tracks = trk.Elements_Get("trk");
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0]->Element_GetDescription("name"), "P1");
    EXPECT_EQ(tracks[1]->Element_GetDescription("name"), "P4");
    ASSERT_EQ(tracks[1]->Elements_Get("trkseg").size(), 1u);
    auto pts = tracks[1]->Elements_Get("trkseg")[0]->Elements_Get("trkpt");
    ASSERT_EQ(pts.size(), 2u);
    EXPECT_EQ(pts[0]->Element_GetDescription("name"), "P4"); // kept in the point too
    EXPECT_EQ(pts[0]->Element_GetDescription("time"), "2007-01-15T18:00:00Z");

    clsGPXType rte;
    rte.Point_Add({"1", "2", "A", "true", "R1", "first", "7", ""}, keys, "rtept", false);
    rte.Point_Add({"1", "2", "B", "false", "ignored", "", "", ""}, keys, "rtept", false);
    rte.Point_Add({"1", "2", "C", "true", "R2", "", "", ""}, keys, "rtept", true);
    auto routes = rte.Elements_Get("rte");
    ASSERT_EQ(routes.size(), 2u);
    EXPECT_EQ(routes[0]->Object_GetInformation({"name", "cmt", "number"}),
              (std::vector<std::string>{"R1", "first", "7"}));
    EXPECT_EQ(routes[0]->Elements_Get("rtept").size(), 2u);
    EXPECT_EQ(routes[1]->Element_GetDescription("name"), "R2");
    EXPECT_EQ(routes[1]->Element_Get("cmt"), nullptr);
}

TEST(Reader, SkipsCommentsCdataInstructionsAndDoctypes)
{
    auto& root = read("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<!DOCTYPE gpx [ <!ENTITY x \"<wpt>\"> ]>\n"
                     "<gpx><?app <wpt lat=\"9\"/> ?>\n"
                     "<!-- <wpt lat=\"1\" lon=\"1\"><name>gone</name></wpt> -->\n"
                     "<wpt lat=\"2\" lon=\"2\"><name>kept</name><desc><![CDATA[a <br> b ] c]]></desc></wpt>\n"
                     "<wpt lat=\"3\" lon=\"3\"><name>after</name></wpt></gpx>");
    auto w = root.Elements_Get("wpt");
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(text_of(*w[0], "name"), "kept");
    EXPECT_EQ(text_of(*w[0], "desc"), "a <br> b ] c");
    EXPECT_EQ(text_of(*w[1], "name"), "after");
    EXPECT_EQ(root.mainHeader(), "<?xml version=\"1.0\"?>"); // the tree holds UTF-8 whatever was declared
}

TEST(Reader, WhitespaceQuotesAndSelfClosingTags)
{
    auto& root = read("<gpx>\r\n<wpt\tlat='45.5'\r\nlon=\"-75.25\" >\n<name>two\r\nlines</name>"
                     "<cmt>a\tb</cmt><link href=\"a=b c>d\"/></wpt>\n<trk><trkseg/></trk></gpx>");
    auto w = root.Elements_Get("wpt");
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0]->Object_GetInformation({"lat", "lon"}), (std::vector<std::string>{"45.5", "-75.25"}));
    EXPECT_EQ(text_of(*w[0], "name"), "two lines");
    EXPECT_EQ(text_of(*w[0], "cmt"), "a b");
    ASSERT_NE(w[0]->Element_Get("link"), nullptr);
    EXPECT_EQ(w[0]->Element_Get("link")->Attribute_Get("href"), "\"a=b c&gt;d\"");
    auto trk = root.Elements_Get("trk");
    ASSERT_EQ(trk.size(), 1u);
    EXPECT_EQ(trk[0]->Elements_Get("trkseg").size(), 1u);
}

TEST(Reader, FileCutShortKeepsItsOpenElements)
{
    auto& root = read("<gpx><trk><name>T</name><trkseg><trkpt lat=\"1\" lon=\"1\"></trkpt>"
                     "<trkpt lat=\"2\" lon=\"2\"><ele>5</ele></trkpt><trkpt lat=\"3\" lo");
    auto trk = root.Elements_Get("trk");
    ASSERT_EQ(trk.size(), 1u);
    EXPECT_EQ(trk[0]->Elements_Get("trkseg")[0]->Elements_Get("trkpt").size(), 2u);
}

TEST(Reader, ATagLeftOpenDoesNotEndTheDocument)
{
    auto& root = read("<gpx><wpt lat=\"1\" <name>a</name></wpt><wpt lat=\"2\"><name>b</name></wpt></gpx>");
    auto w = root.Elements_Get("wpt");
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0]->Attribute_Get("lat"), "\"1\"");
    EXPECT_EQ(text_of(*w[1], "name"), "b");
}

TEST(Reader, ClosingTagsCloseTheInnermostAndGpxReentersTheRoot)
{
    auto& root = read("<gpx><wpt lat=\"1\"><name>a</nome></wpt><gpx creator=\"x\"><wpt lat=\"2\"></wpt></gpx>");
    EXPECT_EQ(root.Waypoints_Count(), 2);
    EXPECT_EQ(root.Attribute_Get("creator"), "\"x\"");
    auto& deep = read("<gpx><wpt><a><b><a><b>x</b></a></b></a></wpt>" + std::string(5000, '<') + "</gpx>");
    EXPECT_EQ(deep.Waypoints_Count(), 1);
    std::string nested = "<gpx>";
    for (int i = 0; i < 100000; ++i)
        nested += "<e>";
    auto& many = read(nested); // depth is bounded: no overflow writing or freeing it
    EXPECT_FALSE(many.gpxString().empty());
}

TEST(Reader, EncodingByDeclarationMarkOrContent)
{
    // Undeclared bytes that are not UTF-8: the Windows code page.
    auto& cp = read("<gpx><wpt><name>V\xF6lker \x80</name></wpt></gpx>");
    EXPECT_EQ(text_of(*cp.Elements_Get("wpt")[0], "name"), "V\xC3\xB6lker \xE2\x82\xAC");
    auto& utf8 = read("<gpx><wpt><name>V\xC3\xB6lker</name></wpt></gpx>");
    EXPECT_EQ(text_of(*utf8.Elements_Get("wpt")[0], "name"), "V\xC3\xB6lker");
    auto& latin = read("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><gpx><wpt><name>\xC3\xB6</name></wpt></gpx>");
    EXPECT_EQ(text_of(*latin.Elements_Get("wpt")[0], "name"), "\xC3\x83\xC2\xB6");
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("<gpx><wpt><name>\xF6</name></wpt></gpx>")) {
        utf16 += c;
        utf16 += '\0';
    }
    auto& u16 = read(utf16);
    ASSERT_EQ(u16.Waypoints_Count(), 1);
    EXPECT_EQ(text_of(*u16.Elements_Get("wpt")[0], "name"), "\xC3\xB6");
}

TEST(Reader, ATextRunWithALessThanSignStaysText)
{
    auto& root = read("<gpx><wpt><cmt>5 < 7 &amp; AT&T;</cmt></wpt></gpx>");
    EXPECT_EQ(text_of(*root.Elements_Get("wpt")[0], "cmt"), "5 < 7 & AT&T;");
}

} // namespace
