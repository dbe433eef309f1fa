// Photo matching: records linked to photos by capture time or list order,
// the "GPSMatch" column, and the imaging server's two queries.
#include "main/hotlink/matching.h"

#include "main/table/table.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/vb_error.h"
#include "platform/grid/grid.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

#include <limits>
#include <new>

namespace hotlink {

namespace vb = platform::vb;
using platform::Variant;
using platform::VbError;

namespace {

constexpr const char* kImageClass = "glimmerax.image";

// The box of an error a procedure trapped.
void error_box(platform::Dialogs& dialogs, int number, const std::string& description, const std::string& source,
               const char* procedure)
{
    dialogs.MsgBox("Error " + std::to_string(number) + ": " + description + ". Source: " +
                       (source.empty() ? "Trekfold" : source),
                   platform::vbCritical, std::string("frmHotlinking.") + procedure);
}

// Runs a procedure's body, its errors ending in its box; false after one.
template <class F>
bool trapped(platform::Dialogs& dialogs, const char* procedure, F&& body)
{
    try {
        body();
        return true;
    } catch (const VbError& e) {
        error_box(dialogs, e.number, e.description, e.source, procedure);
    } catch (const std::bad_alloc&) {
        error_box(dialogs, 7, "Out of memory", "", procedure);
    } catch (const std::exception&) {
        error_box(dialogs, 51, "Internal error", "", procedure);
    }
    return false;
}

// Seconds of a calendar value from the date variants' day 0.
std::int64_t seconds_of(const vb::Date& d) { return vb::DateDiff_Seconds(vb::Date{}, d); }

// A photo's capture date, as the EXIF block writes it ("2006:05:04
// 12:00:00") or as any date-time text; absent when neither reads.
std::optional<std::int64_t> photo_seconds(const std::string& text)
{
    if (vb::IsDate(text)) return seconds_of(vb::CDate(text));
    std::string t = text;
    for (int k = 0; k < 2; ++k) {
        const std::size_t colon = t.find(':');
        if (colon == std::string::npos) break;
        t[colon] = '/';
    }
    if (vb::IsDate(t)) return seconds_of(vb::CDate(t));
    return std::nullopt;
}

// The grid's redraw off while a procedure writes many cells.
class RedrawOff {
public:
    explicit RedrawOff(platform::Grid& g) : g_(g), was_(g.Redraw()) { g_.SetRedraw(false); }
    ~RedrawOff() { g_.SetRedraw(was_); }

private:
    platform::Grid& g_;
    bool was_;
};

} // namespace

// --- the imaging server ---------------------------------------------------------

ImagingServer::ImagingServer(platform::Dialogs& dialogs, const std::string& folder)
    : dialogs_(dialogs), registry_(std::make_unique<platform::ClassRegistry>())
{
    if (!folder.empty()) registry_->AddFolder(folder);
}

ImagingServer::~ImagingServer() = default;

std::string ImagingServer::getInternalDate(const std::string& path)
{
    std::string date;
    trapped(dialogs_, "getInternalDate", [&] {
        platform::ObjectRef image = registry_->CreateObject(kImageClass);
        std::vector<Variant> args{Variant(path), Variant::Missing(), Variant()};
        image->Invoke(platform::IdOfName(*image, "GetImageInfo"), platform::InvokeKind::Method, args);
        platform::ObjectRef info = args[2].ToObject();
        if (!info) return;
        const Variant item = platform::GetByName(*info, "Item", {Variant("DateTimeOriginal")});
        date = item.IsEmpty() ? std::string() : item.ToString();
    });
    return date;
}

bool ImagingServer::getImageDimensions(const std::string& path, int& width, int& height)
{
    bool known = false;
    trapped(dialogs_, "getImageDimensions", [&] {
        platform::ObjectRef image = registry_->CreateObject(kImageClass);
        std::vector<Variant> args{Variant(path), Variant(), Variant(), Variant::Missing(), Variant()};
        image->Invoke(platform::IdOfName(*image, "GetFileDimensions"), platform::InvokeKind::Method, args);
        width = args[1].ToInt32();
        height = args[2].ToInt32();
        known = args[4].ToInt32() > 0;
    });
    return known;
}

// --- matching ----------------------------------------------------------------------

std::int64_t Threshold_Seconds(const std::string& threshold)
{
    const std::vector<std::string> parts = vb::Split(threshold, ":");
    if (parts.size() < 3) throw VbError(9, "", "Subscript out of range");
    const std::int64_t sum = std::int64_t(vb::CLng(vb::CDbl(parts[0]) * 3600)) +
                             std::int64_t(vb::CLng(parts[1])) * 60 + std::int64_t(vb::CLng(parts[2]));
    if (sum > std::numeric_limits<std::int32_t>::max() || sum < std::numeric_limits<std::int32_t>::min())
        throw VbError(6, "", "Overflow");
    return sum;
}

bool createHotlinkCollection(MatchRequest& r, int date_col)
{
    return trapped(r.dialogs, "createHotlinkCollection", [&] {
        const platform::Grid& photos = r.msfgTable;
        const int name_col = r.table.Column_Find(photos, "FileName", false);
        HotlinkCollection fresh;
        fresh.reserve(std::size_t(std::max(0, photos.Rows() - 1)));
        for (int i = 1; i < photos.Rows(); ++i) {
            const std::string& date = photos.TextMatrix(i, date_col);
            fresh.push_back(Hotlink{date, photos.TextMatrix(i, name_col), photo_seconds(date)});
        }
        r.hotlinks = std::move(fresh);
    });
}

std::string matchDates(const MatchRequest& r, const std::string& record_time)
{
    std::string result;
    trapped(r.dialogs, "matchDates", [&] {
        const std::int64_t limit = Threshold_Seconds(r.threshold);
        const std::int64_t calibration = vb::CLng(r.calibration);
        const std::int64_t record = seconds_of(vb::CDate(record_time));
        std::int64_t best = -1;
        for (const Hotlink& h : r.hotlinks) {
            if (!h.seconds) continue;
            std::int64_t diff = (*h.seconds - record) - calibration;
            if (diff < 0) diff = -diff;
            // Strictly smaller replaces: of equal differences the first wins;
            // a difference equal to the threshold does not qualify.
            if (best == -1 || diff < best) {
                best = diff;
                if (best < limit || limit == 0) result = h.name;
            }
        }
    });
    return result;
}

void cmdMatch(MatchRequest& r)
{
    trapped(r.dialogs, "cmdMatch_Click", [&] {
        flxgrd::Table& table = r.table;
        platform::Grid& g = table.context().grid;
        const int file_col = table.Column_Find("filename", true);
        if (file_col == -1) return;
        const std::string type = vb::LCase(table.context().record_type);
        const int time_col = table.Column_Find(type == "waypoint" || type == "route" ? "comment" : "time", true);
        const int date_col = table.Column_Find("date", true);
        const platform::Grid& photos = r.msfgTable;
        const int name_col = table.Column_Find(photos, "FileName", false);
        const int internal_col = table.Column_Find(photos, "InternalDate", false);
        createHotlinkCollection(r, internal_col);

        {
            RedrawOff quiet(g);
            for (int i = 1; i < g.Rows(); ++i) {
                std::string when = g.TextMatrix(i, time_col);
                if (type == "rtimewpt") when = g.TextMatrix(i, date_col) + " " + when;
                flxgrd::Date_Validate(when, false);
                if (r.best_match) {
                    if (!vb::IsDate(when)) continue;
                    const std::string name = matchDates(r, when);
                    if (!name.empty()) g.SetTextMatrix(i, file_col, r.folder + "/" + name);
                } else if (i <= photos.Rows() - 1) {
                    // An empty list row (a folder without photos) links nothing.
                    const std::string& name = photos.TextMatrix(i, name_col);
                    if (!name.empty()) g.SetTextMatrix(i, file_col, r.folder + "/" + name);
                }
            }
        }
        checkForExistingHotlink(table, r.msfgTable, r.folder, r.dialogs);
        table.Columns_AutoFit(r.msfgTable);
    });
}

platform::Collection<WaypointLink> createWaypointCollection(flxgrd::Table& table, platform::Dialogs& dialogs)
{
    platform::Collection<WaypointLink> links;
    const bool ok = trapped(dialogs, "createWaypointCollection", [&] {
        const int file_col = table.Column_Find("filename", true);
        if (file_col == -1) return;
        const int ident_col = table.Column_Find("ident", true);
        const platform::Grid& g = table.context().grid;
        for (int i = 1; i < g.Rows(); ++i) {
            const std::string& file = g.TextMatrix(i, file_col);
            if (file.empty()) continue;
            const std::string& ident = g.TextMatrix(i, ident_col);
            if (links.Exists(file)) {
                WaypointLink& link = links.Item(file);
                link.idents += ",";
                link.idents += ident;
            } else {
                links.Add(WaypointLink{file, ident}, file);
            }
        }
    });
    if (!ok) links.Clear();
    return links;
}

void checkForExistingHotlink(flxgrd::Table& table, platform::Grid& photos, const std::string& folder,
                             platform::Dialogs& dialogs)
{
    trapped(dialogs, "checkForExistingHotlink", [&] {
        const platform::Collection<WaypointLink> links = createWaypointCollection(table, dialogs);
        const int name_col = table.Column_Find(photos, "FileName", false);
        const int match_col = table.Column_Find(photos, "GPSMatch", false);
        RedrawOff quiet(photos);
        for (int i = 1; i < photos.Rows(); ++i) {
            photos.SetTextMatrix(i, match_col, "");
            if (const WaypointLink* link = links.Find(folder + "/" + photos.TextMatrix(i, name_col)))
                photos.SetTextMatrix(i, match_col, link->idents);
        }
    });
}

} // namespace hotlink
