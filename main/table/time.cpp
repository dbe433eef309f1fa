// The date normaliser and the local/UTC time columns.
#include "main/table/table.h"

#include "platform/automation/vb_error.h"

#include <cstdio>
#include <ctime>

namespace flxgrd {

namespace vb = platform::vb;

namespace {

// Reads "yyyy-mm-dd hh:mm:ss" or "yyyy/mm/dd hh:mm:ss" directly (the form
// every GPX time takes once normalised), anything else as CDate does.
bool read_date(std::string_view t, vb::Date& d)
{
    auto num = [&](size_t at, size_t n, int& out) {
        out = 0;
        for (size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9')
                return false;
            out = out * 10 + (t[i] - '0');
        }
        return true;
    };
    if (t.size() == 19 && (t[4] == '-' || t[4] == '/') && t[7] == t[4] && t[10] == ' ' && t[13] == ':' &&
        t[16] == ':' && num(0, 4, d.year) && num(5, 2, d.month) && num(8, 2, d.day) && num(11, 2, d.hour) &&
        num(14, 2, d.minute) && num(17, 2, d.second) && d.year >= 100 && vb::ValidDate(d.year, d.month, d.day) &&
        d.hour < 24 && d.minute < 60 && d.second < 60)
        return true;
    if (!vb::IsDate(t))
        return false;
    d = vb::CDate(t);
    return true;
}

} // namespace

std::string Date_Validate(std::string& text, bool to_iso)
{
    std::string t = vb::Replace(text, "CRTD", "");
    if (!t.empty() && (t.back() == 'z' || t.back() == 'Z')) {
        // An ISO 8601 UTC time, as GPX files give them.
        std::string out;
        out.reserve(t.size());
        for (char c : t)
            if (c != 'z' && c != 'Z')
                out += (c == 't' || c == 'T') ? ' ' : c;
        t = std::move(out);
    } else {
        // A receiver comment such as "CRTD 14:05 01-MAY-06".
        t = vb::Replace(t, "-", " ");
    }
    vb::Date d;
    bool valid = read_date(t, d);
    if (!valid) {
        // An EXIF time such as "2006:05:01 12:00:00".
        for (int k = 0; k < 2; ++k) {
            size_t colon = t.find(':');
            if (colon == std::string::npos)
                break;
            t[colon] = '/';
        }
        valid = read_date(t, d);
    }
    if (to_iso && valid) {
        t = vb::Format(d, "yyyy-mm-dd") + "T" + vb::Format(d, "hh:mm:ss") + "Z";
    }
    text = t;
    return t;
}

namespace {

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

std::int64_t to_seconds(const vb::Date& d)
{
    return days_from_civil(d.year, unsigned(d.month), unsigned(d.day)) * 86400 + d.hour * 3600 + d.minute * 60 +
           d.second;
}

vb::Date from_tm(const std::tm& tm)
{
    return vb::Date{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

vb::Date from_seconds(std::int64_t s)
{
    std::time_t t = std::time_t(s);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return from_tm(tm);
}

// The zone's offset from UTC, in seconds, at an instant.
long offset_at(std::int64_t utc)
{
    std::time_t t = std::time_t(utc);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_gmtoff;
}

// Local wall-clock time of a UTC time, by the zone's rules at that date.
vb::Date utc_to_local(const vb::Date& d)
{
    std::time_t t = std::time_t(to_seconds(d));
    std::tm tm{};
    localtime_r(&t, &tm);
    return from_tm(tm);
}

// UTC of a local wall-clock time. A time the autumn change repeats takes
// the earlier (daylight) offset; a time the spring change skips takes the
// offset in force before the change.
vb::Date local_to_utc(const vb::Date& d)
{
    const std::int64_t wall = to_seconds(d);
    const long before = offset_at(wall - 86400), after = offset_at(wall + 86400);
    std::int64_t best = 0;
    bool found = false;
    for (long o : {before, after}) {
        std::int64_t u = wall - o;
        if (offset_at(u) == o && (!found || u < best)) {
            best = u;
            found = true;
        }
    }
    return from_seconds(found ? best : wall - before);
}

} // namespace

void Time_CalculateLocal(Table& table, const std::string& time_zone, bool to_utc)
{
    auto& ctx = table.context();
    auto& g = ctx.grid;
    try {
        int time_col = table.Column_Find("time", false);
        int comment_col = table.Column_Find("comment", false);
        int date_col = table.Column_Find("date", false);
        int ltime_col = table.Column_Find("ltime", false);
        if (ltime_col < 0)
            return;
        if (to_utc && time_col < 0)
            return;
        const bool computer = vb::LCase(time_zone) == "local computer time";
        int hours = 0;
        if (computer) {
            tzset(); // TZ may have changed since the last conversion
        } else {
            auto words = vb::Split(time_zone, " ");
            hours = vb::CInt(words.empty() ? std::string_view() : std::string_view(words[0]));
        }
        for (int r = 1; r < g.Rows(); ++r) {
            try {
                std::string text;
                if (to_utc) {
                    text = g.TextMatrix(r, ltime_col);
                    if (text.empty() && comment_col >= 0)
                        text = g.TextMatrix(r, comment_col);
                } else if (date_col >= 0) {
                    text = g.TextMatrix(r, date_col);
                    if (time_col >= 0)
                        text += " " + g.TextMatrix(r, time_col);
                } else if (time_col >= 0) {
                    text = g.TextMatrix(r, time_col);
                }
                Date_Validate(text, false);
                vb::Date d;
                if (!read_date(text, d))
                    continue;
                vb::Date out;
                if (computer)
                    out = to_utc ? local_to_utc(d) : utc_to_local(d);
                else
                    out = from_seconds(to_seconds(d) + std::int64_t(to_utc ? -hours : hours) * 3600);
                char stamp[32]; // "yyyy/MM/dd HH:mm:ss"
                std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d:%02d", out.year, out.month, out.day,
                              out.hour, out.minute, out.second);
                g.SetTextMatrix(r, to_utc ? time_col : ltime_col, stamp);
            } catch (const platform::VbError&) {
                // A row that does not convert is left as it is.
            }
        }
        table.Column_FitWidth(to_utc ? time_col : ltime_col);
    } catch (const platform::VbError& e) {
        ctx.dialogs.MsgBox("Error: " + std::to_string(e.number) + " -- " + e.description, platform::vbCritical,
                           "Time_CalculateLocal");
    }
}

} // namespace flxgrd
