// Record transfers driven the way a host program drives the control: the
// records as JSON (the keys the receiver simulator uses: "ident", "lat",
// "lon" in degrees, "comment", "symbol", "time" as "YYYY-MM-DDTHH:MM:SSZ"
// ...), a download that waits for the control's end event, and an upload
// that fills the control's current record object and sends the next record
// on each acknowledgement (serial) or all in one loop (USB, Port 0).
//
// Used by brenvik-probe's transfer commands, the command tests and the
// transfer benches. Header only.
#pragma once

#include "device/protocols/brenvik.h"
#include "platform/events/events.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brenvik::probe {

using nlohmann::json;

// ---- time ----------------------------------------------------------------

// Receiver time counts seconds from 1989-12-31 00:00:00 UTC.
inline constexpr std::int64_t kDeviceEpoch = 631065600;

inline std::optional<std::uint32_t> Iso_To_Device_Seconds(const std::string& text)
{
    int y, mo, d, h, mi, s;
    char z = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &z) < 6)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    const std::int64_t unix_time = timegm(&tm);
    const std::int64_t v = unix_time - kDeviceEpoch;
    if (v < 0 || v > 0xFFFFFFFELL) return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

inline std::string Device_Seconds_To_Iso(std::uint32_t seconds)
{
    std::time_t t = static_cast<std::time_t>(kDeviceEpoch + std::int64_t(seconds));
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

// A time is known when it is neither 0 nor the receiver's "unknown" value.
inline bool Known_Time(std::int32_t seconds) { return seconds != 0 && seconds != -1; }

// The receiver's "no value" for floating-point fields.
inline constexpr double kNo_Value = 1.0e25;
inline bool Known_Float(double v) { return std::fabs(v) < 1.0e24; }

// ---- records and JSON ------------------------------------------------------

namespace detail {

inline void put_text(json& j, const char* key, const std::string& v)
{
    if (!v.empty()) j[key] = v;
}
template <class T>
void put_number(json& j, const char* key, T v)
{
    if (v != 0) j[key] = v;
}
// Every known value goes out, 0 included: only the receiver's "no value"
// is left out, and an absent key goes up as "no value" again.
inline void put_float(json& j, const char* key, double v)
{
    if (Known_Float(v)) j[key] = v;
}
inline std::string text(const json& j, const char* key)
{
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}
inline double number(const json& j, const char* key, double def = 0)
{
    auto it = j.find(key);
    if (it == j.end()) return def;
    if (it->is_number()) return it->get<double>();
    if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
    return def;
}
// A float field; an absent one is the receiver's "no value".
inline float measure(const json& j, const char* key) { return static_cast<float>(number(j, key, kNo_Value)); }
// The time; an absent one is the receiver's "unknown" (all bits set).
inline std::int32_t seconds(const json& j)
{
    auto it = j.find("time");
    if (it != j.end() && it->is_string())
        if (auto s = Iso_To_Device_Seconds(it->get<std::string>())) return static_cast<std::int32_t>(*s);
    if (it != j.end() && it->is_number()) return static_cast<std::int32_t>(it->get<std::int64_t>());
    return static_cast<std::int32_t>(number(j, "seconds", -1));
}

} // namespace detail

inline json Waypoint_Json(const cWaypoint& w)
{
    using namespace detail;
    json j{{"ident", w.Ident}, {"lat", w.Lat}, {"lon", w.Lon}};
    put_text(j, "comment", w.Cmnt);
    put_number(j, "symbol", w.Smbl);
    put_number(j, "display", w.Dspl);
    put_number(j, "color", w.Color);
    put_float(j, "alt", w.Alt);
    put_float(j, "depth", w.Dpth);
    put_float(j, "dist", w.Dist);
    put_float(j, "temp", w.Temp);
    put_number(j, "class", w.Wpt_Class);
    put_text(j, "subclass", w.Sub_Class);
    put_number(j, "prox_index", w.Prox_Index);
    put_text(j, "state", w.State);
    put_text(j, "country", w.Country);
    put_text(j, "city", w.City);
    put_text(j, "address", w.Address);
    put_text(j, "facility", w.Facility);
    put_text(j, "cross_road", w.Cross_Road);
    put_text(j, "link", w.Link);
    put_number(j, "category", w.Wpt_Category);
    if (Known_Time(w.Time_Seconds)) j["time"] = Device_Seconds_To_Iso(static_cast<std::uint32_t>(w.Time_Seconds));
    return j;
}

inline void Waypoint_From_Json(const json& j, cWaypoint& w)
{
    using namespace detail;
    w.Clear();
    w.Ident = text(j, "ident");
    w.Lat = number(j, "lat");
    w.Lon = number(j, "lon");
    w.Cmnt = text(j, "comment");
    w.Smbl = static_cast<std::int16_t>(number(j, "symbol"));
    w.Dspl = static_cast<std::int16_t>(number(j, "display"));
    w.Color = static_cast<std::int32_t>(number(j, "color"));
    w.Alt = measure(j, "alt");
    w.Dpth = measure(j, "depth");
    w.Dist = measure(j, "dist");
    w.Temp = measure(j, "temp");
    w.Wpt_Class = static_cast<std::int16_t>(number(j, "class"));
    w.Sub_Class = text(j, "subclass");
    w.Prox_Index = static_cast<std::int16_t>(number(j, "prox_index"));
    w.State = text(j, "state");
    w.Country = text(j, "country");
    w.City = text(j, "city");
    w.Address = text(j, "address");
    w.Facility = text(j, "facility");
    w.Cross_Road = text(j, "cross_road");
    w.Link = text(j, "link");
    w.Wpt_Category = static_cast<std::int16_t>(number(j, "category"));
    w.Time_Seconds = seconds(j);
}

inline json Track_Point_Json(const cTrack& t)
{
    using namespace detail;
    json j{{"lat", t.Lat}, {"lon", t.Lon}};
    if (Known_Time(t.Seconds)) j["time"] = Device_Seconds_To_Iso(static_cast<std::uint32_t>(t.Seconds));
    put_float(j, "alt", t.Alt);
    put_float(j, "depth", t.Dpth);
    put_float(j, "temp", t.Temp);
    if (t.New_Segment) j["new_segment"] = true;
    return j;
}

inline void Track_Point_From_Json(const json& j, cTrack& t)
{
    using namespace detail;
    t.Lat = number(j, "lat");
    t.Lon = number(j, "lon");
    t.Seconds = seconds(j);
    t.Time.clear();
    t.Alt = measure(j, "alt");
    t.Dpth = measure(j, "depth");
    t.Temp = measure(j, "temp");
    t.New_Segment = number(j, "new_segment") != 0;
}

inline void Track_Header_From_Json(const json& j, cTrack& t)
{
    using namespace detail;
    t.Clear();
    t.Ident = text(j, "ident");
    t.Color = static_cast<std::uint8_t>(number(j, "color", 255));
    t.Dspl = number(j, "display", 1) != 0;
    t.Index = static_cast<std::int16_t>(number(j, "index"));
}

// Routes: header fields, the route's points, and the fields of its last link.
inline json Routes_Json(const RecordList<cRoute>& routes)
{
    json out = json::array();
    for (const auto& r : routes) {
        if (!r) continue;
        json j{{"number", r->Number}};
        detail::put_text(j, "ident", r->Ident);
        detail::put_text(j, "comment", r->Cmnt);
        j["points"] = json::array();
        if (r->Waypoints)
            for (const auto& w : *r->Waypoints)
                if (w) j["points"].push_back(Waypoint_Json(*w));
        if (r->Link_Class != 0 || !r->Link_Ident.empty() || !r->Link_Sub_Class.empty())
            j["last_link"] = json{{"class", r->Link_Class}, {"subclass", r->Link_Sub_Class}, {"ident", r->Link_Ident}};
        out.push_back(std::move(j));
    }
    return out;
}

// Tracks as the control hands them over: header records (no time) followed
// by their points, each point carrying its track's name, colour and display
// flag. Units without headers give one track of points.
inline json Tracks_Json(const RecordList<cTrack>& list)
{
    json out = json::array();
    for (const auto& t : list) {
        if (!t) continue;
        const bool header = t->Time.empty();
        if (header || out.empty()) {
            json j{{"ident", t->Ident}, {"color", t->Color}, {"display", t->Dspl}};
            if (t->Index != 0) j["index"] = t->Index;
            j["points"] = json::array();
            out.push_back(std::move(j));
            if (header) continue;
        }
        out.back()["points"].push_back(Track_Point_Json(*t));
    }
    return out;
}

// ---- the host side -----------------------------------------------------------

// Records the control's events and feeds acknowledgements to an upload.
struct Transfer_Events : BrenvikEvents {
    struct Error {
        std::int16_t code;
        std::string message;
        ByteArray packet;
    };
    std::vector<Error> errors;
    std::vector<std::uint8_t> received_ids;  // Receive, packet IDs in order
    int received_waypoints = 0, received_routes = 0, received_tracks = 0, receive_counts = 0;
    RecordListRef<cWaypoint> waypoints;
    RecordListRef<cRoute> routes;
    RecordListRef<cTrack> tracks;
    std::int16_t counts[4] = {0, 0, 0, 0};  // waypoints, proximity, routes, tracks
    std::function<void(const ByteArray&)> on_receive;
    std::function<void(const std::string&)> on_debug;

    void Receive(const ByteArray& p) override
    {
        if (p.size() > 1) received_ids.push_back(p[1]);
        if (on_receive) on_receive(p);
    }
    void HexDebug(const std::string& t) override
    {
        if (on_debug) on_debug(t);
    }
    void cError(std::int16_t c, const std::string& m, const ByteArray& p) override { errors.push_back({c, m, p}); }
    void ReceivedWaypoints(const RecordListRef<cWaypoint>& w) override
    {
        ++received_waypoints;
        waypoints = w;
    }
    void ReceivedRoutes(const RecordListRef<cRoute>& r) override
    {
        ++received_routes;
        routes = r;
    }
    void ReceivedTracks(const RecordListRef<cTrack>& t) override
    {
        ++received_tracks;
        tracks = t;
    }
    void ReceiveCounts(std::int16_t w, std::int16_t p, std::int16_t r, std::int16_t t) override
    {
        ++receive_counts;
        counts[0] = w;
        counts[1] = p;
        counts[2] = r;
        counts[3] = t;
    }
};

enum class Kind { Waypoints, Prox_Waypoints, Routes, Tracks };

// Starts a download and lets events run until its end event, an error, or
// the time limit. True when the end event came.
inline bool Download(Brenvik& gps, Transfer_Events& ev, platform::EventPump& pump, Kind kind,
                     std::int64_t limit_ms = 60000)
{
    const std::size_t errors = ev.errors.size();
    int* counter = kind == Kind::Routes   ? &ev.received_routes
                   : kind == Kind::Tracks ? &ev.received_tracks
                                          : &ev.received_waypoints;
    const int before = *counter;
    switch (kind) {
    case Kind::Waypoints: gps.Request_Waypoints(); break;
    case Kind::Prox_Waypoints: gps.Request_Prox_Waypoints(); break;
    case Kind::Routes: gps.Request_Routes(); break;
    case Kind::Tracks: gps.Request_Tracks(); break;
    }
    auto done = [&] { return *counter != before || ev.errors.size() != errors; };
    pump.wait_until(done, pump.clock().now_us() + limit_ms * 1000);
    return *counter != before;
}

// One packet of an upload: fill the control's current object, then send.
struct Upload_Step {
    std::uint8_t (Brenvik::*pid)();  // the packet ID it sends, as acknowledged
    std::function<void(Brenvik&)> send;
};

// The packets an upload of `set` makes, in order. `set` holds the arrays
// "waypoints", "proximity", "routes" and "tracks"; each non-empty array is
// one transfer. Links go between route points when the unit's route
// protocol carries them (a route link format is named).
inline std::vector<std::vector<Upload_Step>> Upload_Plan(Brenvik& gps, const json& set)
{
    std::vector<std::vector<Upload_Step>> transfers;
    auto arr = [&](const char* k) {
        auto it = set.find(k);
        return it != set.end() && it->is_array() ? *it : json::array();
    };
    const json wpts = arr("waypoints"), prox = arr("proximity"), routes = arr("routes"), tracks = arr("tracks");
    if (!wpts.empty()) {
        std::vector<Upload_Step> t;
        for (const json& w : wpts)
            t.push_back({&Brenvik::PID_Wpt_Data, [w](Brenvik& g) {
                Waypoint_From_Json(w, *g.Waypoint());
                g.Send_Waypoint();
            }});
        transfers.push_back(std::move(t));
    }
    if (!prox.empty()) {
        std::vector<Upload_Step> t;
        for (const json& w : prox)
            t.push_back({&Brenvik::PID_Prx_Wpt_Data, [w](Brenvik& g) {
                Waypoint_From_Json(w, *g.Waypoint());
                g.Send_Prox_Waypoint();
            }});
        transfers.push_back(std::move(t));
    }
    if (!routes.empty()) {
        const std::string lf = gps.Route_Link_Format();
        const bool links = lf.find_first_not_of(' ') != std::string::npos;
        std::vector<Upload_Step> t;
        for (const json& r : routes) {
            t.push_back({&Brenvik::PID_Rte_Hdr, [r](Brenvik& g) {
                cRoute& route = *g.Route();
                route.Clear();
                route.Number = static_cast<std::int16_t>(detail::number(r, "number"));
                route.Ident = detail::text(r, "ident");
                route.Cmnt = detail::text(r, "comment");
                g.Send_Route_Header();
            }});
            const json pts = r.value("points", json::array());
            const json lks = r.value("links", json::array());
            for (std::size_t i = 0; i < pts.size(); ++i) {
                const json p = pts[i];
                t.push_back({&Brenvik::PID_Rte_Wpt_Data, [p](Brenvik& g) {
                    Waypoint_From_Json(p, *g.Waypoint());
                    g.Send_Route_Waypoint();
                }});
                if (links && i + 1 < pts.size()) {
                    const json l = i < lks.size() ? lks[i] : json::object();
                    t.push_back({&Brenvik::PID_Rte_Link, [l](Brenvik& g) {
                        cRoute& route = *g.Route();
                        route.Link_Class = static_cast<std::int16_t>(detail::number(l, "class", 3));
                        route.Link_Sub_Class = detail::text(l, "subclass");
                        route.Link_Ident = detail::text(l, "ident");
                        g.Send_Route_Link();
                    }});
                }
            }
        }
        transfers.push_back(std::move(t));
    }
    if (!tracks.empty()) {
        const std::string hf = gps.Track_Header_Format();
        const bool headers = hf.find_first_not_of(' ') != std::string::npos;
        std::vector<Upload_Step> t;
        for (const json& trk : tracks) {
            if (headers)
                t.push_back({&Brenvik::PID_Trk_Hdr, [trk](Brenvik& g) {
                    Track_Header_From_Json(trk, *g.Track());
                    g.Send_Track_Header();
                }});
            const json pts = trk.value("points", json::array());
            for (std::size_t i = 0; i < pts.size(); ++i) {
                json p = pts[i];
                if (i == 0 && !p.contains("new_segment")) p["new_segment"] = true;
                t.push_back({&Brenvik::PID_Trk_Data, [trk, p](Brenvik& g) {
                    cTrack& point = *g.Track();
                    Track_Header_From_Json(trk, point);
                    Track_Point_From_Json(p, point);
                    g.Send_Track();
                }});
            }
        }
        transfers.push_back(std::move(t));
    }
    return transfers;
}

// Drives one upload transfer. Serial: Start_of_Records, then each
// acknowledgement (seen in Receive) sends the next record, from inside the
// Receive handler, and the last one End_of_Records; the transfer ends with
// the acknowledgement of the transfer-complete packet. USB: everything in
// one loop. Any error event ends it.
class Uploader {
public:
    Uploader(Brenvik& gps, Transfer_Events& ev, platform::EventPump& pump) : gps_(gps), ev_(ev), pump_(pump) {}

    // True when the receiver acknowledged the transfer-complete packet
    // (serial) or every packet went out (USB) without an error event.
    bool Run(const std::vector<Upload_Step>& steps, std::int64_t ack_limit_ms = 5000)
    {
        steps_ = &steps;
        next_ = 0;
        done_ = false;
        failed_ = false;
        const std::size_t errors = ev_.errors.size();
        if (steps.size() > 32767) return false;
        if (gps_.Port() == 0) {
            gps_.Start_of_Records(static_cast<std::int16_t>(steps.size()));
            for (const auto& s : steps) s.send(gps_);
            gps_.End_of_Records();
            return ev_.errors.size() == errors;
        }
        volatile char base = 0;
        top_ = reinterpret_cast<std::uintptr_t>(&base);
        low_ = low_early_ = 0;
        ev_.on_receive = [this](const ByteArray& p) { On_Receive(p); };
        awaiting_ = gps_.PID_Records();
        last_progress_us_ = pump_.clock().now_us();
        gps_.Start_of_Records(static_cast<std::int16_t>(steps.size()));
        for (;;) {
            const std::int64_t deadline = last_progress_us_ + ack_limit_ms * 1000;
            const std::uint64_t seen = progress_;
            pump_.wait_until([&] { return done_ || failed_ || progress_ != seen || ev_.errors.size() != errors; },
                             deadline);
            if (done_ || failed_ || ev_.errors.size() != errors) break;
            if (progress_ == seen && pump_.clock().now_us() >= deadline) {
                failed_ = true;  // no acknowledgement came
                break;
            }
        }
        ev_.on_receive = nullptr;
        return done_ && !failed_ && ev_.errors.size() == errors;
    }

    // How far the Receive handler's frames lay below Run's: over the whole
    // upload, and over its first hundred records.
    std::uintptr_t Stack_Depth() const { return top_ && low_ ? top_ - low_ : 0; }
    std::uintptr_t Stack_Depth_Early() const { return top_ && low_early_ ? top_ - low_early_ : 0; }
    std::size_t Sent() const { return next_; }
    bool Done() const { return done_; }
    bool Failed() const { return failed_; }
    // The last packets the handler saw, oldest first (for diagnostics).
    std::string Trail() const
    {
        std::string s;
        for (std::size_t k = 0; k < 8; ++k)
            if (!trail_[(trail_at_ + k) % 8].empty()) s += trail_[(trail_at_ + k) % 8] + "; ";
        return s;
    }

private:
    void On_Receive(const ByteArray& p)
    {
        volatile char marker = 0;
        const auto here = reinterpret_cast<std::uintptr_t>(&marker);
        if (!low_ || here < low_) low_ = here;
        if (next_ < 100 && (!low_early_ || here < low_early_)) low_early_ = here;
        if (p.size() > 3) {
            trail_[trail_at_++ % 8] = std::to_string(p[1]) + "/" + std::to_string(p[3]) + " awaiting " +
                                      std::to_string(awaiting_) + " next " + std::to_string(next_);
        }
        if (p.size() < 4 || p[1] != gps_.PID_Ack_Byte() || p[3] != awaiting_) return;
        ++progress_;
        last_progress_us_ = pump_.clock().now_us();
        if (awaiting_ == gps_.PID_Xfer_Cmplt()) {
            done_ = true;
            return;
        }
        if (next_ < steps_->size()) {
            const std::size_t errors = ev_.errors.size();
            const Upload_Step& step = (*steps_)[next_++];
            awaiting_ = (gps_.*step.pid)();
            step.send(gps_);
            if (ev_.errors.size() != errors) failed_ = true;  // refused: no acknowledgement will come
            return;
        }
        awaiting_ = gps_.PID_Xfer_Cmplt();
        gps_.End_of_Records();
    }

    Brenvik& gps_;
    Transfer_Events& ev_;
    platform::EventPump& pump_;
    const std::vector<Upload_Step>* steps_ = nullptr;
    std::size_t next_ = 0;
    std::uint8_t awaiting_ = 0;
    bool done_ = false, failed_ = false;
    std::uint64_t progress_ = 0;
    std::int64_t last_progress_us_ = 0;
    std::uintptr_t top_ = 0, low_ = 0, low_early_ = 0;
    std::string trail_[8];
    std::size_t trail_at_ = 0;
};

} // namespace brenvik::probe
