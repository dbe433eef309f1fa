#include "tools/gpsim/scenario.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/gpsim/codec.h"

namespace gpsim {

namespace {

[[noreturn]] void fail(const std::string& origin, const std::string& why) {
  throw std::runtime_error(origin + ": " + why);
}

LinkIds l002_ids() {
  LinkIds ids;
  ids.command = 11; ids.xfer_cmplt = 12; ids.date_time = 20; ids.position = 24; ids.prx_wpt = 27;
  ids.records = 35; ids.rte_hdr = 37; ids.rte_wpt = 39; ids.almanac = 4; ids.wpt_data = 43;
  ids.cmd_abort = 0; ids.cmd_alm = 4; ids.cmd_prx = 17; ids.cmd_rte = 8; ids.cmd_time = 20;
  ids.cmd_wpt = 21; ids.cmd_off = 26;
  return ids;
}

// The formats a protocol array names, read the way the receiver means them:
// each A entry is followed by the D formats it carries, in order.
Formats formats_from_array(const std::vector<std::string>& arr) {
  Formats f;
  f.date_time.clear(); f.position.clear(); f.pvt.clear();
  std::string a;
  int nd = 0;
  for (const auto& e : arr) {
    if (e.size() < 2) continue;
    char tag = e[0];
    int n = std::atoi(e.c_str() + 1);
    if (tag == 'A') { a = e; nd = 0; continue; }
    if (tag != 'D') continue;
    ++nd;
    if (a == "A100") f.waypoint = e;
    else if (a == "A200") { if (nd == 1) f.route_header = e; else f.route_waypoint = e; }
    else if (a == "A201") { if (nd == 1) f.route_header = e; else if (nd == 2) f.route_waypoint = e; else f.route_link = e; }
    else if (a == "A300") f.track_point = e;
    else if (a == "A301" || a == "A302") { if (n >= 310) f.track_header = e; else f.track_point = e; }
    else if (a == "A400") f.proximity = e;
    else if (a == "A500") f.almanac = e;
    else if (a == "A600") f.date_time = e;
    else if (a == "A700") f.position = e;
    else if (a == "A800") f.pvt = e;
  }
  return f;
}

std::string str_or(const json& j, const char* key, const std::string& def) {
  auto it = j.find(key);
  return it != j.end() && it->is_string() ? it->get<std::string>() : def;
}

void check_format(const std::string& origin, const std::string& what, const std::string& f) {
  if (!f.empty() && !known_format(f)) fail(origin, what + " format " + f + " is not known");
}

json array_or_empty(const json& j, const char* key, const std::string& origin) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return json::array();
  if (!it->is_array()) fail(origin, std::string("\"") + key + "\" must be an array");
  return *it;
}

}  // namespace

Scenario parse_scenario(const json& j, const std::string& origin) {
  if (!j.is_object()) fail(origin, "the scenario must be a JSON object");
  Scenario s;
  s.name = str_or(j, "name", origin);

  const json prod = j.value("product", json::object());
  s.product_id = prod.value("id", 0);
  if (prod.contains("version")) {
    const json& v = prod["version"];
    double d = v.is_string() ? std::atof(v.get<std::string>().c_str()) : v.is_number() ? v.get<double>() : 0.0;
    s.software_version = static_cast<int>(std::lround(d * 100));
  }
  for (const auto& d : prod.value("descriptions", json::array())) s.descriptions.push_back(d.get<std::string>());
  for (const auto& d : prod.value("ext_descriptions", json::array())) s.ext_descriptions.push_back(d.get<std::string>());

  if (j.contains("unit_id") && j["unit_id"].is_number()) {
    s.unit_id = j["unit_id"].get<std::uint32_t>();
    s.has_unit_id = true;
  }
  s.unit_name = str_or(j, "unit_name", "");
  if (j.contains("voltages") && j["voltages"].is_object()) {
    s.has_voltages = true;
    s.internal_voltage = j["voltages"].value("internal", 0.0);
    s.external_voltage = j["voltages"].value("external", 0.0);
  }
  if (j.contains("protocol_array") && j["protocol_array"].is_array()) {
    s.has_protocol_array = true;
    for (const auto& e : j["protocol_array"]) {
      std::string name = e.get<std::string>();
      bool digits = name.size() >= 4 && name.size() <= 6 &&
                    name.find_first_not_of("0123456789", 1) == std::string::npos &&
                    std::atoi(name.c_str() + 1) <= 65535;
      if (!digits || std::string("PLAD").find(name[0]) == std::string::npos)
        fail(origin, "protocol array entry \"" + name + "\" is not P, L, A or D and a number of three to five digits");
      s.protocol_array.push_back(name);
    }
  }

  s.link = str_or(j, "link", "");
  if (s.link.empty()) {
    s.link = "L001";
    for (const auto& e : s.protocol_array)
      if (e[0] == 'L') s.link = e;
  }
  if (s.link == "L002") s.ids = l002_ids();
  else if (s.link != "L001") fail(origin, "link protocol " + s.link + " is not L001 or L002");

  if (j.contains("ids")) {
    const json& o = j["ids"];
    auto set = [&](const char* k, int& v) { if (o.contains(k)) v = o[k].get<int>(); };
    set("rte_wpt", s.ids.rte_wpt); set("rte_hdr", s.ids.rte_hdr); set("wpt_data", s.ids.wpt_data);
    set("records", s.ids.records); set("command", s.ids.command); set("prx_wpt", s.ids.prx_wpt);
    set("trk_hdr", s.ids.trk_hdr); set("trk_data", s.ids.trk_data); set("rte_link", s.ids.rte_link);
  }

  if (j.contains("formats")) {
    const json& f = j["formats"];
    s.formats.waypoint = str_or(f, "waypoint", "");
    s.formats.route_header = str_or(f, "route_header", "");
    s.formats.route_waypoint = str_or(f, "route_waypoint", "");
    s.formats.route_link = str_or(f, "route_link", "");
    s.formats.track_header = str_or(f, "track_header", "");
    s.formats.track_point = str_or(f, "track_point", "");
    s.formats.proximity = str_or(f, "proximity", "");
    s.formats.almanac = str_or(f, "almanac", "");
    s.formats.date_time = str_or(f, "date_time", "D600");
    s.formats.position = str_or(f, "position", "D700");
    s.formats.pvt = str_or(f, "pvt", "D800");
  } else if (s.has_protocol_array) {
    s.formats = formats_from_array(s.protocol_array);
  } else {
    fail(origin, "a scenario needs \"formats\" or a \"protocol_array\"");
  }
  const Formats& F = s.formats;
  check_format(origin, "waypoint", F.waypoint);
  check_format(origin, "route header", F.route_header);
  check_format(origin, "route waypoint", F.route_waypoint);
  check_format(origin, "route link", F.route_link);
  check_format(origin, "track header", F.track_header);
  check_format(origin, "track point", F.track_point);
  check_format(origin, "proximity", F.proximity);
  check_format(origin, "almanac", F.almanac);
  check_format(origin, "date and time", F.date_time);
  check_format(origin, "position", F.position);
  check_format(origin, "PVT", F.pvt);

  const json serial = j.value("serial", json::object());
  s.speed = serial.value("speed", s.speed);
  s.any_speed = serial.value("any_speed", s.any_speed);
  s.baud_change = serial.value("baud_change", s.baud_change);
  if (serial.contains("baud_rates")) s.baud_rates = serial["baud_rates"].get<std::vector<int>>();
  s.answers = serial.value("answers", s.answers);
  s.nmea = serial.value("nmea", s.nmea);
  s.nmea_period_ms = serial.value("nmea_period_ms", s.nmea_period_ms);
  if (s.nmea_period_ms < 0) fail(origin, "nmea_period_ms must not be negative");
  if (s.speed <= 0) fail(origin, "speed must be positive");

  s.waypoints = array_or_empty(j, "waypoints", origin);
  s.proximity = array_or_empty(j, "proximity", origin);
  s.routes = array_or_empty(j, "routes", origin);
  s.tracks = array_or_empty(j, "tracks", origin);
  s.almanac = array_or_empty(j, "almanac", origin);
  s.satellites = array_or_empty(j, "satellites", origin);
  s.laps = array_or_empty(j, "laps", origin);
  s.flightbook = array_or_empty(j, "flightbook", origin);
  s.screens = array_or_empty(j, "screens", origin);
  s.icons = j.value("icons", false);
  for (const auto& sc : s.screens) {
    const int bits = sc.is_object() ? sc.value("bits", 0) : 0;
    if (!sc.is_object() || sc.value("pixels", 0) <= 0 || sc.value("lines", 0) <= 0 || bits <= 0)
      fail(origin, "a screen needs \"bits\", \"pixels\" and \"lines\" above 0");
    const int chunk = sc.value("chunk", 200);
    if (chunk < 1 || chunk > 240) fail(origin, "a screen's \"chunk\" must be 1 to 240");
  }
  s.date_time = j.value("date_time", json::object());
  s.position = j.value("position", json::object());
  s.pvt = j.value("pvt", json::object());
  s.pvt_path = j.value("pvt_path", json::array());
  if (!s.pvt_path.is_array()) fail(origin, "\"pvt_path\" must be an array of fixes");
  for (const auto& f : s.pvt_path)
    if (!f.is_object()) fail(origin, "each fix of \"pvt_path\" must be an object");
  for (const auto& r : s.routes)
    if (!r.is_object() || (r.contains("points") && !r["points"].is_array())) fail(origin, "a route must be an object with an array \"points\"");
  for (const auto& t : s.tracks)
    if (!t.is_object() || (t.contains("points") && !t["points"].is_array())) fail(origin, "a track must be an object with an array \"points\"");
  return s;
}

Scenario load_scenario_file(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(path + ": cannot open");
  json j;
  try {
    j = json::parse(in);
  } catch (const json::exception& e) {
    throw std::runtime_error(path + ": " + e.what());
  }
  try {
    return parse_scenario(j, path);
  } catch (const json::exception& e) {
    throw std::runtime_error(path + ": " + e.what());
  }
}

}  // namespace gpsim
