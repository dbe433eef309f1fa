// The image information object: camera photos, hand-made EXIF blocks in
// both byte orders, maker notes and IPTC records.
#include "support.h"

#include "platform/automation/enumerator.h"

using namespace imaging_test;

namespace {

struct Info {
    std::int32_t error, type, count;
    std::vector<std::string> names;
    platform::ObjectRef object;
    Variant item(const std::string& k) const { return platform::GetByName(*object, "Item", {Variant(k)}); }
};

Info info(Variant source, Variant type = missing())
{
    auto o = glimmerax::CreateImageObject();
    Args r = call(*o, "GetImageInfo", {std::move(source), std::move(type), out()});
    Info i{};
    i.object = r[2].ToObject();
    i.error = platform::GetByName(*i.object, "ErrorCode").ToInt32();
    i.type = platform::GetByName(*i.object, "Type").ToInt32();
    i.count = platform::GetByName(*i.object, "Count").ToInt32();
    auto e = std::dynamic_pointer_cast<platform::Enumerator>(platform::GetByName(*i.object, "_NewEnum").ToObject());
    std::vector<Variant> got;
    while (e && e->Next(1, got) == platform::S_OK) i.names.push_back(got[0].ToString());
    return i;
}

// A TIFF structure in either byte order: directories of (tag, type, count,
// value bytes); values over four bytes go after the directories.
struct Exif {
    bool big;
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count;
        Bytes value; // elements in host order of the numbers below
    };
    Bytes u16(std::uint32_t v) const { return big ? Bytes{std::uint8_t(v >> 8), std::uint8_t(v)} : Bytes{std::uint8_t(v), std::uint8_t(v >> 8)}; }
    Bytes u32(std::uint32_t v) const
    {
        Bytes a = u16(big ? v >> 16 : v), b = u16(big ? v : v >> 16);
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    Entry ascii(std::uint16_t tag, const std::string& s) const { Bytes v(s.begin(), s.end()); v.push_back(0); return {tag, 2, std::uint32_t(v.size()), v}; }
    Entry shorts(std::uint16_t tag, std::initializer_list<std::uint32_t> vs, std::uint16_t type = 3) const
    {
        Bytes v;
        for (auto x : vs) { Bytes b = u16(x); v.insert(v.end(), b.begin(), b.end()); }
        return {tag, type, std::uint32_t(vs.size()), v};
    }
    Entry longs(std::uint16_t tag, std::initializer_list<std::uint32_t> vs, std::uint16_t type = 4) const
    {
        Bytes v;
        for (auto x : vs) { Bytes b = u32(x); v.insert(v.end(), b.begin(), b.end()); }
        return {tag, type, std::uint32_t(type == 5 || type == 10 ? vs.size() / 2 : vs.size()), v};
    }
    // IFD0 at 8, the Exif directory after it (linked by tag 34665).
    Bytes build(std::vector<Entry> ifd0, const std::vector<Entry>& exif) const
    {
        Bytes t = big ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
        Bytes v = u16(42);
        t.insert(t.end(), v.begin(), v.end());
        v = u32(8);
        t.insert(t.end(), v.begin(), v.end());
        std::size_t ifd0_size = 2 + 12 * (ifd0.size() + 1) + 4, exif_at = 8 + ifd0_size;
        ifd0.push_back(longs(34665, {std::uint32_t(exif_at)}));
        std::size_t data_at = exif_at + 2 + 12 * exif.size() + 4;
        Bytes data;
        auto dir = [&](const std::vector<Entry>& d) {
            Bytes n = u16(std::uint32_t(d.size()));
            t.insert(t.end(), n.begin(), n.end());
            for (const Entry& e : d) {
                for (const Bytes& b : {u16(e.tag), u16(e.type), u32(e.count)}) t.insert(t.end(), b.begin(), b.end());
                if (e.value.size() <= 4) {
                    Bytes f = e.value;
                    f.resize(4, 0);
                    t.insert(t.end(), f.begin(), f.end());
                } else {
                    Bytes off = u32(std::uint32_t(data_at + data.size()));
                    t.insert(t.end(), off.begin(), off.end());
                    data.insert(data.end(), e.value.begin(), e.value.end());
                }
            }
            t.insert(t.end(), 4, 0);
        };
        dir(ifd0);
        dir(exif);
        t.insert(t.end(), data.begin(), data.end());
        return t;
    }
};

Bytes app1(const Bytes& tiff)
{
    Bytes d{'E', 'x', 'i', 'f', 0, 0};
    d.insert(d.end(), tiff.begin(), tiff.end());
    return segment(0xE1, d);
}

std::string identify_date(const std::string& file)
{
    std::string cmd = "identify -format '%[EXIF:DateTimeOriginal]' '" + file + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    char buf[128] = {};
    if (p) {
        if (!fgets(buf, sizeof buf, p)) buf[0] = 0;
        pclose(p);
    }
    return buf;
}

Bytes synthetic(bool big)
{
    Exif x{big};
    return jpeg({app1(x.build({x.ascii(271, "Acme"), x.longs(282, {72, 1}, 5), x.shorts(274, {6})},
                              {x.shorts(34855, {100}), x.ascii(36867, "2006:05:04 12:34:56"), x.ascii(37520, "7"),
                               x.shorts(40962, {0xFFFF, 2}, 8), Exif::Entry{41729, 6, 3, {0xFF, 1, 0x80}},
                               Exif::Entry{36864, 7, 4, {'0', '2', '2', '0'}}, x.longs(33434, {0xFFFFFFFF, 3}, 5)}))});
}

} // namespace

TEST(ImageInfo, CameraPhotos)
{
    Info c = info(Variant(data_file("Canon_40D.jpg")));
    EXPECT_EQ(c.error, 0);
    EXPECT_EQ(c.type, 1);
    EXPECT_EQ(c.count, std::int32_t(c.names.size()));
    EXPECT_TRUE(std::is_sorted(c.names.begin(), c.names.end()));
    Variant xv = c.item("XResolution");
    const auto& xres = xv.ToArray();
    EXPECT_EQ(xres.UBound(1), 1);
    EXPECT_EQ(xres.at(0).ToInt32(), 72);
    EXPECT_EQ(xres.at(1).ToInt32(), 1);
    EXPECT_EQ(c.item("ISOSpeedRating").Type(), platform::VarType::Long);
    EXPECT_EQ(c.item("ISOSpeedRating").ToInt32(), 100);
    EXPECT_EQ(c.item("DateTimeOriginal").ToString(), "2008:05:30 15:56:01");
    EXPECT_TRUE(c.item("datetimeoriginal").IsEmpty());
    EXPECT_EQ(c.item("Make").ToString(), "Canon");
    // DSCN0010's maker note ends the reading; what came before it stays.
    Info d = info(Variant(data_file("DSCN0010.jpg")));
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(d.item("Make").ToString(), "NIKON");
    EXPECT_GT(d.count, 10);
    for (const char* f : {"Canon_40D.jpg", "Nikon_D70.jpg", "DSCN0010.jpg"}) {
        std::string theirs = identify_date(data_file(f));
        if (theirs.empty()) GTEST_SKIP() << "identify is not installed";
        EXPECT_EQ(info(Variant(data_file(f))).item("DateTimeOriginal").ToString(), theirs) << f;
    }
}

TEST(ImageInfo, BothByteOrdersGiveTheSameItemsByTheStoringRules)
{
    Info le = info(Variant(synthetic(false))), be = info(Variant(synthetic(true)));
    EXPECT_EQ(le.names, be.names);
    for (const std::string& n : le.names) EXPECT_TRUE(le.item(n) == be.item(n)) << n;
    EXPECT_EQ(le.names, (std::vector<std::string>{"DateTimeOriginal", "ExifImageWidth", "ExposureTime", "ISOSpeedRating",
                                                  "Make", "Orientation", "SceneType", "SubsecTime", "XResolution"}));
    EXPECT_EQ(le.item("Orientation").ToInt32(), 6);
    EXPECT_EQ(le.item("SubsecTime").ToString(), "7");
    Variant wv = le.item("ExifImageWidth"), sv = le.item("SceneType");
    const auto& w = wv.ToArray(); // SSHORT array: Integers
    EXPECT_EQ(w.at(0).Type(), platform::VarType::Integer);
    EXPECT_EQ(w.at(0).ToInt32(), -1);
    const auto& s = sv.ToArray(); // SBYTE array, sign-extended
    EXPECT_EQ(s.at(0).ToInt32(), -1);
    EXPECT_EQ(s.at(2).ToInt32(), -128);
    EXPECT_EQ(le.item("ExposureTime").ToArray().at(0).ToInt32(), -1); // unsigned above 2^31 - 1 reads negative
}

TEST(ImageInfo, OutcomesOfTheSegmentWalk)
{
    EXPECT_EQ(info(Variant((temp_dir() / "missing.jpg").string())).error, 1);
    Bytes png{0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 0};
    Info p = info(Variant(png));
    EXPECT_EQ(std::vector<int>({p.error, p.type, p.count}), std::vector<int>({2, 0, 0}));
    Bytes jfif = jpeg({segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0})});
    EXPECT_EQ(info(Variant(jfif)).error, 3);
    EXPECT_EQ(info(Variant(synthetic(false)), L(2)).error, 3);
    EXPECT_EQ(info(Variant(synthetic(false)), L(1)).type, 1);
    EXPECT_EQ(info(Variant(synthetic(false)), L(7)).error, 3);
}

TEST(ImageInfo, IptcRecordsUpToTheSegmentsEnd)
{
    Bytes d{'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0, '8', 'B', 'I', 'M', 4, 4, 0, 0, 0, 0, 0, 40};
    auto record = [&](std::uint8_t ds, const std::string& text) {
        Bytes r{0x1C, 2, ds, 0, std::uint8_t(text.size())};
        r.insert(r.end(), text.begin(), text.end());
        d.insert(d.end(), r.begin(), r.end());
    };
    record(5, "Harbour"), record(80, "Someone"), record(25, "boats"), record(25, "sea");
    Info i = info(Variant(jpeg({segment(0xED, d)})));
    EXPECT_EQ(i.error, 0);
    EXPECT_EQ(i.type, 2);
    EXPECT_EQ(i.names, (std::vector<std::string>{"ByLine", "Keywords", "ObjectName"}));
    EXPECT_EQ(i.item("Keywords").ToString(), "sea");
    EXPECT_EQ(i.item("ObjectName").ToString(), "Harbour");
}

TEST(ImageInfo, MakerNotesAndUnreadableValues)
{
    Exif x{false};
    // An Olympus note: "OLYMP", 0, two version bytes, then its directory.
    Bytes note{'O', 'L', 'Y', 'M', 'P', 0, 1, 0, 1, 0, 0x01, 0x02, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
    Bytes tiff = x.build({x.ascii(271, "OLYMPUS")}, {Exif::Entry{37500, 7, std::uint32_t(note.size()), note}});
    Info o = info(Variant(jpeg({app1(tiff)})));
    EXPECT_EQ(o.item("Olympus JpegQual").ToInt32(), 2);
    // A RATIONAL count of 0x20000001 and a value past the segment are
    // unreadable: the rest of the directory is skipped, earlier items stay.
    Bytes bad = x.build({x.ascii(271, "Acme"), Exif::Entry{282, 5, 0x20000001, Bytes(8, 1)}, x.shorts(274, {6})}, {});
    Info b = info(Variant(jpeg({app1(bad)})));
    EXPECT_EQ(b.names, (std::vector<std::string>{"Make"}));
    Bytes past = x.build({x.ascii(271, "Acme"), Exif::Entry{305, 2, 9, Bytes{'a', 'b', 'c', 'd', 'e'}}}, {});
    past.resize(past.size() - 2); // the value's last bytes lie beyond the segment
    Bytes j = jpeg({app1(past)});
    j.insert(j.end() - 2, 64, 'x'); // bytes after the segment are not its value
    EXPECT_EQ(info(Variant(j)).names, (std::vector<std::string>{"Make"}));
    // An Exif directory of 101 entries ends the reading; IFD0's items stay.
    std::vector<Exif::Entry> many(101, x.shorts(34855, {5}));
    Info m = info(Variant(jpeg({app1(x.build({x.ascii(271, "Acme")}, many))})));
    EXPECT_EQ(m.names, (std::vector<std::string>{"Make"}));
}
