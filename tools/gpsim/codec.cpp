#include "tools/gpsim/codec.h"

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

namespace gpsim {

namespace {

constexpr double kUnknownFloat = 1.0e25;  // the receivers' "no value"
constexpr std::uint32_t kDeviceEpochUnix = 631065600;  // 1989-12-31 00:00:00 UTC

enum class F {
  U8,       // byte
  I16,      // int16
  I32,      // int32
  U32,      // uint32
  F32,      // float
  F64,      // double
  RAD,      // double, radians on the wire, degrees in JSON
  SEMI,     // int32 semicircles, degrees in JSON
  TXT,      // fixed text of n bytes, padded with blanks
  A16,      // int16 altitude, rounded
  CONST,    // one constant byte (def), also readable as key
  ZSTR,     // NUL-terminated text
  SUB18,    // subclass: "subclass" text when given, else the default subclass
  COLDSP,   // colour (bits 0-4) and display (bits 5-6) in one byte
  BOOL8,    // byte 0/1
  TIME,     // uint32 device seconds; JSON "time" text or "seconds"
  PAD,      // n zero bytes
};

struct Field {
  F type;
  const char* key;
  int n;        // width for TXT/PAD
  double def;   // default when the key is absent (and the CONST value)
};

struct Format {
  const char* name;
  std::vector<Field> fields;
};

// ---- helpers ------------------------------------------------------------

void put_le(Bytes& out, std::uint64_t v, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

double num(const json& rec, const char* key, double def) {
  auto it = rec.find(key);
  if (it == rec.end() || it->is_null()) return def;
  if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
  if (it->is_number()) return it->get<double>();
  return def;
}

std::string text(const json& rec, const char* key) {
  auto it = rec.find(key);
  if (it == rec.end() || !it->is_string()) return {};
  return to_device_text(it->get<std::string>());
}

std::int64_t round_even(double v) { return static_cast<std::int64_t>(std::nearbyint(v)); }

std::int64_t clamp64(double v, double lo, double hi) {
  if (std::isnan(v)) return 0;
  if (v < lo) v = lo;
  if (v > hi) v = hi;
  return round_even(v);
}

const Bytes kDefaultSubclass = {0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// A bounded little-endian reader over one packet's data.
class Reader {
 public:
  explicit Reader(const Bytes& d) : d_(d) {}
  bool has(std::size_t n) const { return pos_ + n <= d_.size(); }
  std::uint64_t le(int width) {
    std::uint64_t v = 0;
    for (int i = 0; i < width; ++i) v |= std::uint64_t(d_[pos_ + i]) << (8 * i);
    pos_ += width;
    return v;
  }
  std::string bytes(std::size_t n) {
    std::string s(d_.begin() + pos_, d_.begin() + pos_ + n);
    pos_ += n;
    return s;
  }
  // NUL-terminated string; false when no NUL remains.
  bool zstr(std::string& s) {
    for (std::size_t i = pos_; i < d_.size(); ++i) {
      if (d_[i] == 0) {
        s.assign(d_.begin() + pos_, d_.begin() + i);
        pos_ = i + 1;
        return true;
      }
    }
    return false;
  }
  std::size_t pos() const { return pos_; }
  std::size_t size() const { return d_.size(); }

 private:
  const Bytes& d_;
  std::size_t pos_ = 0;
};

float as_float(std::uint32_t u) { float f; std::memcpy(&f, &u, 4); return f; }
double as_double(std::uint64_t u) { double f; std::memcpy(&f, &u, 8); return f; }
std::uint32_t float_bits(float f) { std::uint32_t u; std::memcpy(&u, &f, 4); return u; }
std::uint64_t double_bits(double f) { std::uint64_t u; std::memcpy(&u, &f, 8); return u; }

std::string trim_field(std::string s) {
  auto nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  std::size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return s.substr(b);
}

std::string hex(const std::string& s) {
  static const char* d = "0123456789ABCDEF";
  std::string h;
  for (unsigned char c : s) { h += d[c >> 4]; h += d[c & 15]; }
  return h;
}

// ---- the format table ---------------------------------------------------

std::vector<Field> d100_block() {
  return {{F::TXT, "ident", 6, 0}, {F::SEMI, "lat", 0, 0}, {F::SEMI, "lon", 0, 0},
          {F::U32, "unused1", 0, 0}, {F::TXT, "comment", 40, 0}};
}

std::vector<Field> d150_block() {
  return {{F::TXT, "ident", 6, 0},     {F::TXT, "country", 2, 0}, {F::U8, "class", 0, 0},
          {F::SEMI, "lat", 0, 0},      {F::SEMI, "lon", 0, 0},    {F::A16, "alt", 0, 0},
          {F::TXT, "city", 24, 0},     {F::TXT, "state", 2, 0},   {F::TXT, "facility", 30, 0},
          {F::TXT, "comment", 40, 0}};
}

std::vector<Field> d151_block() {
  return {{F::TXT, "ident", 6, 0},     {F::SEMI, "lat", 0, 0},     {F::SEMI, "lon", 0, 0},
          {F::U32, "unused1", 0, 0},   {F::TXT, "comment", 40, 0}, {F::F32, "dist", 0, 0},
          {F::TXT, "facility", 30, 0}, {F::TXT, "city", 24, 0},    {F::TXT, "state", 2, 0},
          {F::A16, "alt", 0, 0},       {F::TXT, "country", 2, 0},  {F::U8, "unused2", 0, 0},
          {F::U8, "class", 0, 0}};
}

std::vector<Field> six_strings() {
  return {{F::ZSTR, "ident", 0, 0},    {F::ZSTR, "comment", 0, 0}, {F::ZSTR, "facility", 0, 0},
          {F::ZSTR, "city", 0, 0},     {F::ZSTR, "address", 0, 0}, {F::ZSTR, "cross_road", 0, 0}};
}

std::vector<Field> cat(std::vector<Field> a, const std::vector<Field>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<Field> d108_like(int kind) {  // 108, 109, 110
  std::vector<Field> f;
  if (kind != 108) f.push_back({F::CONST, "dtype", 0, 1});
  f.push_back({F::U8, "class", 0, 0});
  if (kind == 108) {
    f.push_back({F::U8, "color", 0, 0});
    f.push_back({F::U8, "display", 0, 0});
  } else {
    f.push_back({F::COLDSP, "color", 0, 0});
  }
  f.push_back({F::CONST, "attrib", 0, kind == 108 ? 96.0 : kind == 109 ? 112.0 : 128.0});
  f.push_back({F::I16, "symbol", 0, 0});
  f.push_back({F::SUB18, "subclass", 0, 0});
  f.push_back({F::SEMI, "lat", 0, 0});
  f.push_back({F::SEMI, "lon", 0, 0});
  f.push_back({F::F32, "alt", 0, kUnknownFloat});
  f.push_back({F::F32, "depth", 0, kUnknownFloat});
  f.push_back({F::F32, "dist", 0, kUnknownFloat});
  f.push_back({F::TXT, "state", 2, 0});
  f.push_back({F::TXT, "country", 2, 0});
  if (kind != 108) f.push_back({F::U32, "ete", 0, 0xFFFFFFFFu});
  if (kind == 110) {
    f.push_back({F::F32, "temp", 0, kUnknownFloat});
    f.push_back({F::TIME, "time", 0, 0xFFFFFFFFu});
    f.push_back({F::I16, "category", 0, 0});
  }
  return cat(f, six_strings());
}

std::vector<Field> trk_point(int kind) {
  std::vector<Field> f = {{F::SEMI, "lat", 0, 0}, {F::SEMI, "lon", 0, 0}, {F::TIME, "time", 0, 0}};
  switch (kind) {
    case 300: f.push_back({F::BOOL8, "new_segment", 0, 0}); break;
    case 301:
      f.insert(f.end(), {{F::F32, "alt", 0, kUnknownFloat}, {F::F32, "depth", 0, kUnknownFloat},
                         {F::BOOL8, "new_segment", 0, 0}});
      break;
    case 302:
      f.insert(f.end(), {{F::F32, "alt", 0, kUnknownFloat}, {F::F32, "depth", 0, kUnknownFloat},
                         {F::F32, "temp", 0, kUnknownFloat}, {F::BOOL8, "new_segment", 0, 0}});
      break;
    case 303:
      f.insert(f.end(), {{F::F32, "alt", 0, kUnknownFloat}, {F::I16, "depth", 0, 0}, {F::PAD, "", 2, 0},
                         {F::F32, "temp", 0, kUnknownFloat}, {F::BOOL8, "new_segment", 0, 0}});
      break;
    case 304:
      f.insert(f.end(), {{F::F32, "alt", 0, kUnknownFloat}, {F::PAD, "", 4, 0}, {F::U8, "depth", 0, 0},
                         {F::PAD, "", 3, 0}, {F::BOOL8, "new_segment", 0, 0}});
      break;
  }
  return f;
}

std::vector<Field> almanac(bool with_svid, bool with_health) {
  std::vector<Field> f;
  if (with_svid) f.push_back({F::U8, "svid", 0, 0});
  f.push_back({F::I16, "wn", 0, 0});
  for (const char* k : {"toa", "af0", "af1", "e", "sqrta", "m0", "w", "omg0", "odot", "i"})
    f.push_back({F::F32, k, 0, 0});
  if (with_health) f.push_back({F::F32, "hlth", 0, 0});
  return f;
}

std::vector<Field> satellites() {
  std::vector<Field> f;
  static const char* keys[12][5] = {
#define SAT(n) {"svid" #n, "snr" #n, "elev" #n, "azimuth" #n, "status" #n}
      SAT(0), SAT(1), SAT(2), SAT(3), SAT(4), SAT(5), SAT(6), SAT(7), SAT(8), SAT(9), SAT(10), SAT(11)
#undef SAT
  };
  for (auto& k : keys) {
    f.push_back({F::U8, k[0], 0, 255});
    f.push_back({F::I16, k[1], 0, 0});
    f.push_back({F::U8, k[2], 0, 0});
    f.push_back({F::I16, k[3], 0, 0});
    f.push_back({F::U8, k[4], 0, 0});
  }
  return f;
}

const std::vector<Format>& formats() {
  static const std::vector<Format> table = [] {
    std::vector<Format> t;
    auto d100 = d100_block();
    t.push_back({"D100", d100});
    t.push_back({"D101", cat(d100, {{F::F32, "dist", 0, 0}, {F::U8, "symbol", 0, 0}})});
    t.push_back({"D102", cat(d100, {{F::F32, "dist", 0, 0}, {F::I16, "symbol", 0, 0}})});
    t.push_back({"D103", cat(d100, {{F::U8, "symbol", 0, 0}, {F::U8, "display", 0, 0}})});
    t.push_back({"D104", cat(d100, {{F::F32, "dist", 0, 0}, {F::I16, "symbol", 0, 0}, {F::U8, "display", 0, 0}})});
    t.push_back({"D105", {{F::SEMI, "lat", 0, 0}, {F::SEMI, "lon", 0, 0}, {F::I16, "symbol", 0, 0},
                          {F::ZSTR, "ident", 0, 0}}});
    t.push_back({"D106", {{F::U8, "class", 0, 0}, {F::TXT, "subclass", 13, 0}, {F::SEMI, "lat", 0, 0},
                          {F::SEMI, "lon", 0, 0}, {F::I16, "symbol", 0, 0}, {F::ZSTR, "ident", 0, 0},
                          {F::ZSTR, "link", 0, 0}}});
    t.push_back({"D107", cat(d100, {{F::U8, "symbol", 0, 0}, {F::U8, "display", 0, 0},
                                    {F::F32, "dist", 0, 0}, {F::U8, "color", 0, 0}})});
    t.push_back({"D108", d108_like(108)});
    t.push_back({"D109", d108_like(109)});
    t.push_back({"D110", d108_like(110)});
    t.push_back({"D150", d150_block()});
    auto d151 = d151_block();
    t.push_back({"D151", d151});
    t.push_back({"D152", d151});
    t.push_back({"D154", cat(d151, {{F::I16, "symbol", 0, 0}})});
    t.push_back({"D155", cat(d151, {{F::I16, "symbol", 0, 0}, {F::U8, "display", 0, 0}})});
    // Proximity waypoints: the plain record followed by the distance.
    t.push_back({"D400", cat(d100, {{F::F32, "dist", 0, 0}})});
    t.push_back({"D403", cat(cat(d100, {{F::U8, "symbol", 0, 0}, {F::U8, "display", 0, 0}}),
                             {{F::F32, "dist", 0, 0}})});
    t.push_back({"D450", cat(cat({{F::I16, "prox_index", 0, 0}}, d150_block()), {{F::F32, "dist", 0, 0}})});
    // Routes.
    t.push_back({"D200", {{F::U8, "number", 0, 0}}});
    t.push_back({"D201", {{F::U8, "number", 0, 0}, {F::TXT, "comment", 20, 0}}});
    t.push_back({"D202", {{F::ZSTR, "ident", 0, 0}}});
    t.push_back({"D210", {{F::I16, "class", 0, 0}, {F::SUB18, "subclass", 0, 0}, {F::ZSTR, "ident", 0, 0}}});
    // Tracks.
    for (int k : {300, 301, 302, 303, 304}) t.push_back({k == 300 ? "D300" : k == 301 ? "D301" : k == 302 ? "D302" : k == 303 ? "D303" : "D304", trk_point(k)});
    t.push_back({"D310", {{F::BOOL8, "display", 0, 1}, {F::U8, "color", 0, 255}, {F::ZSTR, "ident", 0, 0}}});
    t.push_back({"D311", {{F::I16, "index", 0, 0}}});
    t.push_back({"D312", {{F::BOOL8, "display", 0, 1}, {F::U8, "color", 0, 255}, {F::ZSTR, "ident", 0, 0}}});
    // Almanac.
    t.push_back({"D500", almanac(false, false)});
    t.push_back({"D501", almanac(false, true)});
    t.push_back({"D550", almanac(true, false)});
    t.push_back({"D551", almanac(true, true)});
    // Laps and the flight book.
    t.push_back({"D906", {{F::TIME, "time", 0, 0}, {F::I32, "total_time", 0, 0}, {F::F32, "total_distance", 0, 0},
                          {F::SEMI, "begin_lat", 0, 0}, {F::SEMI, "begin_lon", 0, 0}, {F::SEMI, "end_lat", 0, 0},
                          {F::SEMI, "end_lon", 0, 0}, {F::I16, "calories", 0, 0}, {F::U8, "track_index", 0, 0},
                          {F::U8, "unused", 0, 0}}});
    t.push_back({"D650", {{F::TIME, "takeoff_time", 0, 0}, {F::TIME, "landing_time", 0, 0},
                          {F::SEMI, "takeoff_lat", 0, 0}, {F::SEMI, "takeoff_lon", 0, 0},
                          {F::SEMI, "landing_lat", 0, 0}, {F::SEMI, "landing_lon", 0, 0},
                          {F::I32, "night_time", 0, 0}, {F::I32, "num_landings", 0, 0},
                          {F::F32, "max_speed", 0, 0}, {F::F32, "max_alt", 0, 0}, {F::F32, "distance", 0, 0},
                          {F::U8, "cross_country", 0, 0}, {F::ZSTR, "departure_name", 0, 0},
                          {F::ZSTR, "departure_ident", 0, 0}, {F::ZSTR, "arrival_name", 0, 0},
                          {F::ZSTR, "arrival_ident", 0, 0}, {F::ZSTR, "aircraft_id", 0, 0}}});
    // Date and time, position, PVT, satellites.
    t.push_back({"D600", {{F::U8, "month", 0, 1}, {F::U8, "day", 0, 1}, {F::I16, "year", 0, 1990},
                          {F::I16, "hour", 0, 0}, {F::U8, "minute", 0, 0}, {F::U8, "second", 0, 0}}});
    t.push_back({"D700", {{F::RAD, "lat", 0, 0}, {F::RAD, "lon", 0, 0}}});
    t.push_back({"D800", {{F::F32, "alt", 0, 0},       {F::F32, "epe", 0, 0},       {F::F32, "eph", 0, 0},
                          {F::F32, "epv", 0, 0},       {F::I16, "fix", 0, 3},       {F::F64, "tow", 0, 0},
                          {F::RAD, "lat", 0, 0},       {F::RAD, "lon", 0, 0},       {F::F32, "east", 0, 0},
                          {F::F32, "north", 0, 0},     {F::F32, "up", 0, 0},        {F::F32, "msl_hght", 0, 0},
                          {F::I16, "leap_scnds", 0, 0}, {F::I32, "wn_days", 0, 0}}});
    t.push_back({"SAT", satellites()});
    return t;
  }();
  return table;
}

const Format* find_format(std::string_view name) {
  for (const auto& f : formats())
    if (name == f.name) return &f;
  return nullptr;
}

}  // namespace

// ---- conversions ----------------------------------------------------------

std::int32_t degrees_to_semicircles(double deg) {
  return static_cast<std::int32_t>(clamp64(deg * 2147483648.0 / 180.0, -2147483648.0, 2147483647.0));
}

double semicircles_to_degrees(std::int32_t sc) { return sc * 180.0 / 2147483648.0; }

namespace {
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
}  // namespace

std::optional<std::uint32_t> device_seconds(const json& t) {
  if (t.is_number()) {
    double v = t.get<double>();
    if (v < 0 || v > 4294967295.0) return std::nullopt;
    return static_cast<std::uint32_t>(v);
  }
  if (!t.is_string()) return std::nullopt;
  int y, mo, d, h = 0, mi = 0, s = 0;
  const std::string str = t.get<std::string>();
  if (std::sscanf(str.c_str(), "%d-%d-%d%*c%d:%d:%d", &y, &mo, &d, &h, &mi, &s) < 3) return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60)
    return std::nullopt;
  std::int64_t unix = days_from_civil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
  std::int64_t dev = unix - kDeviceEpochUnix;
  if (dev < 0 || dev > 0xFFFFFFFFll) return std::nullopt;
  return static_cast<std::uint32_t>(dev);
}

std::string device_time_text(std::uint32_t seconds) {
  std::int64_t unix = std::int64_t(seconds) + kDeviceEpochUnix;
  std::int64_t days = unix / 86400, rem = unix % 86400;
  // civil_from_days
  days += 719468;
  const std::int64_t era = days / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp + (mp < 10 ? 3 : -9);
  y += m <= 2;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", static_cast<long long>(y), m, d,
                static_cast<long long>(rem / 3600), static_cast<long long>(rem / 60 % 60),
                static_cast<long long>(rem % 60));
  return buf;
}

std::string to_device_text(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = s[i];
    unsigned cp;
    int len;
    if (c < 0x80) { cp = c; len = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
    else { out += '?'; ++i; continue; }
    if (i + len > s.size()) { out += '?'; break; }
    bool ok = true;
    for (int k = 1; k < len; ++k) {
      unsigned char cc = s[i + k];
      if ((cc & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) { out += '?'; ++i; continue; }
    out += cp < 256 ? static_cast<char>(cp) : '?';
    i += len;
  }
  return out;
}

std::string from_device_text(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool known_format(std::string_view format) { return find_format(format) != nullptr; }

// ---- encode / decode ------------------------------------------------------

std::optional<Bytes> encode_record(std::string_view format, const json& rec) {
  const Format* fmt = find_format(format);
  if (!fmt) return std::nullopt;
  const json& r = rec.is_object() ? rec : json::object();
  // Variable-length texts share what the one-byte size leaves after the
  // fixed fields, in order; a receiver cuts what does not fit.
  std::size_t fixed = 0, strings = 0;
  for (const Field& f : fmt->fields) {
    switch (f.type) {
      case F::ZSTR: ++strings; break;
      case F::U8: case F::BOOL8: case F::CONST: case F::COLDSP: fixed += 1; break;
      case F::I16: case F::A16: fixed += 2; break;
      case F::I32: case F::U32: case F::F32: case F::SEMI: case F::TIME: fixed += 4; break;
      case F::F64: case F::RAD: fixed += 8; break;
      case F::TXT: case F::PAD: fixed += static_cast<std::size_t>(f.n); break;
      case F::SUB18: fixed += 18; break;
    }
  }
  std::size_t text_budget = fixed + strings < 255 ? 255 - fixed - strings : 0;
  Bytes out;
  for (const Field& f : fmt->fields) {
    switch (f.type) {
      case F::U8: case F::BOOL8:
        put_le(out, static_cast<std::uint64_t>(clamp64(num(r, f.key, f.def), -128, 255)), 1);
        break;
      case F::CONST:
        put_le(out, static_cast<std::uint64_t>(clamp64(num(r, f.key, f.def), 0, 255)), 1);
        break;
      case F::I16:
        put_le(out, static_cast<std::uint64_t>(clamp64(num(r, f.key, f.def), -32768, 65535)), 2);
        break;
      case F::A16:
        put_le(out, static_cast<std::uint64_t>(clamp64(num(r, f.key, f.def), -32768, 32767)), 2);
        break;
      case F::I32: case F::U32:
        put_le(out, static_cast<std::uint64_t>(clamp64(num(r, f.key, f.def), -2147483648.0, 4294967295.0)), 4);
        break;
      case F::F32:
        put_le(out, float_bits(static_cast<float>(num(r, f.key, f.def))), 4);
        break;
      case F::F64:
        put_le(out, double_bits(num(r, f.key, f.def)), 8);
        break;
      case F::RAD:
        put_le(out, double_bits(num(r, f.key, f.def) * M_PI / 180.0), 8);
        break;
      case F::SEMI:
        put_le(out, static_cast<std::uint32_t>(degrees_to_semicircles(num(r, f.key, f.def))), 4);
        break;
      case F::TXT: {
        std::string s = text(r, f.key);
        s.resize(f.n, ' ');
        out.insert(out.end(), s.begin(), s.end());
        break;
      }
      case F::ZSTR: {
        std::string s = text(r, f.key);
        if (s.size() > text_budget) s.resize(text_budget);
        text_budget -= s.size();
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
        break;
      }
      case F::SUB18: {
        if (r.contains(f.key) && r[f.key].is_string()) {
          std::string s = text(r, f.key);
          s.resize(18, ' ');
          out.insert(out.end(), s.begin(), s.end());
        } else {
          out.insert(out.end(), kDefaultSubclass.begin(), kDefaultSubclass.end());
        }
        break;
      }
      case F::COLDSP: {
        auto color = clamp64(num(r, "color", 0), 0, 31);
        auto display = clamp64(num(r, "display", 0), 0, 3);
        put_le(out, static_cast<std::uint64_t>(color | (display << 5)), 1);
        break;
      }
      case F::TIME: {
        std::uint32_t secs = static_cast<std::uint32_t>(f.def);
        if (r.contains("seconds") && r["seconds"].is_number()) {
          secs = static_cast<std::uint32_t>(clamp64(r["seconds"].get<double>(), 0, 4294967295.0));
        } else if (r.contains(f.key)) {
          if (auto s = device_seconds(r[f.key])) secs = *s;
        }
        put_le(out, secs, 4);
        break;
      }
      case F::PAD:
        out.insert(out.end(), f.n, 0);
        break;
    }
  }
  return out;
}

json decode_record(std::string_view format, const Bytes& data) {
  const Format* fmt = find_format(format);
  if (!fmt) return json{{"error", "unknown format " + std::string(format)}};
  json r = json::object();
  Reader rd(data);
  auto need = [&](std::size_t n, const Field& f) {
    if (rd.has(n)) return true;
    r["error"] = std::string("data ends inside field ") + (f.key[0] ? f.key : "padding") + " at offset " +
                 std::to_string(rd.pos());
    return false;
  };
  for (const Field& f : fmt->fields) {
    switch (f.type) {
      case F::U8: case F::CONST:
        if (!need(1, f)) return r;
        r[f.key] = static_cast<int>(rd.le(1));
        break;
      case F::BOOL8:
        if (!need(1, f)) return r;
        r[f.key] = rd.le(1) == 1;
        break;
      case F::I16: case F::A16:
        if (!need(2, f)) return r;
        r[f.key] = static_cast<std::int16_t>(rd.le(2));
        break;
      case F::I32:
        if (!need(4, f)) return r;
        r[f.key] = static_cast<std::int32_t>(rd.le(4));
        break;
      case F::U32:
        if (!need(4, f)) return r;
        r[f.key] = static_cast<std::uint32_t>(rd.le(4));
        break;
      case F::F32:
        if (!need(4, f)) return r;
        r[f.key] = static_cast<double>(as_float(static_cast<std::uint32_t>(rd.le(4))));
        break;
      case F::F64:
        if (!need(8, f)) return r;
        r[f.key] = as_double(rd.le(8));
        break;
      case F::RAD:
        if (!need(8, f)) return r;
        r[f.key] = as_double(rd.le(8)) * 180.0 / M_PI;
        break;
      case F::SEMI:
        if (!need(4, f)) return r;
        r[f.key] = semicircles_to_degrees(static_cast<std::int32_t>(rd.le(4)));
        break;
      case F::TXT:
        if (!need(f.n, f)) return r;
        r[f.key] = from_device_text(trim_field(rd.bytes(f.n)));
        break;
      case F::ZSTR: {
        std::string s;
        if (!rd.zstr(s)) {
          r["error"] = std::string("no NUL after ") + f.key + " at offset " + std::to_string(rd.pos());
          return r;
        }
        r[f.key] = from_device_text(s);
        break;
      }
      case F::SUB18: {
        if (!need(18, f)) return r;
        std::string raw = rd.bytes(18);
        r["subclass_hex"] = hex(raw);
        if (r.contains("class") && r["class"].get<int>() >= 128 && r["class"].get<int>() != 255)
          r["subclass"] = from_device_text(trim_field(raw));
        break;
      }
      case F::COLDSP: {
        if (!need(1, f)) return r;
        int b = static_cast<int>(rd.le(1));
        r["color"] = b & 0x1F;
        r["display"] = (b & 0x60) >> 5;
        break;
      }
      case F::TIME: {
        if (!need(4, f)) return r;
        auto secs = static_cast<std::uint32_t>(rd.le(4));
        r["seconds"] = secs;
        if (secs != 0xFFFFFFFFu) r[f.key] = device_time_text(secs);
        break;
      }
      case F::PAD:
        if (!need(f.n, f)) return r;
        rd.bytes(f.n);
        break;
    }
  }
  if (rd.pos() < rd.size()) r["extra_bytes"] = rd.size() - rd.pos();
  return r;
}

}  // namespace gpsim
