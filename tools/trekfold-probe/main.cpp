// trekfold-probe: drives the main window (its logic, no view) from the
// command line and prints what it shows as JSON lines on standard output.
// Every later check of the main window goes through it.
#include "main/program/compose.h"
#include "main/app/form.h"
#include "main/app/frm_info.h"
#include "main/app/frm_main.h"
#include "main/app/frm_about.h"
#include "main/settings/frm_properties.h"
#include "main/table/picker.h"
#include "main/files/files.h"
#include "main/hotlink/frm_hotlinking.h"
#include "main/links/gis_links.h"
#include "main/realtime/frm_realtime.h"
#include "main/realtime/realtime.h"
#include "platform/arcobjects/arcobjects.h"
#include "platform/arcobjects/served.h"
#include "platform/windows/windows.h"
#include "main/transfer/discovery.h"
#include "main/transfer/probe/probe.h"
#include "main/transfer/frm_image.h"
#include "main/transfer/garmin_usb.h"
#include "main/transfer/transfer.h"
#include "main/files/table_files.h"
#include "main/realtime/nmea_viewer.h"
#include "main/realtime/realtime.h"
#include "platform/automation/collection_object.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"
#include "main/table/table.h"
#include "main/transfer/probe/probe.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/settings/stored_file.h"
#include "platform/text/vb.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/printer.h"
#include "tools/json-lines/json_lines.h"

#include <QCoreApplication>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <csignal>
#include <stdlib.h>
#include <sys/resource.h>

namespace {

using json = nlohmann::ordered_json; // keys in the order written
namespace vb = platform::vb;

const char* const kUsage = R"USAGE(usage: trekfold-probe [--home DIR] [--port N] [--arcgis] COMMAND...

Runs the main window's start-up (Form_Load, which ends by connecting the
stored port: a start without --port may show "Port 1 does not exist"), the
commands in order, then its shut-down (Form_Unload). Settings live in DIR/trekfold/trekfold.ini (default:
a fresh temporary folder, removed at exit); the program folder is the probe's
own. --port N stores port/port = N before start-up (port n is the device
TREKFOLD_COM<n> names). --arcgis: ArcGIS counts as installed.

Commands:
  menu NAME [INDEX]       choose a menu item, button or option (INDEX: the
                          item's place in a menu array)
  answer TEXT             queue the answer to the next box: a button word
                          (OK, Cancel, Yes, No, Abort, Retry, Ignore), an
                          input box's text; "" cancels. Answers given before
                          any other command answer start-up's boxes; a file
                          dialog's path; "Output Shape" / "Feature Type": an
                          option caption (Point, Line, Polygon, Waypoint,
                          Track, Route) or Cancel (the close box)
  save-array              print {"array":[[...],...]}, the table as the
                          ArcMap link's array, indexed (field, record)
  open-array FILE         load a JSON array of that shape (true/false
                          Boolean, null Empty, numbers Double); prints
                          {"open_array":RESULT}
  filter N                the filter index the next file dialog answers with
                          (else its preset); file dialogs print
                          {"dialog":"save"|"open","filter":F,"filterindex":P,
                          "answer":PATH,"answerindex":N}, the two option
                          dialogs {"dialog":CAPTION,"answer":A,"queued":B}
  type waypoint|track|route|realtime
                          choose the record type
  row FIELD=VALUE...      append one row (fields by name or alias)
  setting SECTION KEY VALUE
                          store a setting
  table                   print the table: {"fields":[...],"aliases":[...]},
                          then {"row":n,"FIELD":"text",...} per data row
  wait MS                 let events run for MS milliseconds
  idle [MS]               let events run until no download or upload runs,
                          no screen is arriving and the link is free (at
                          most MS milliseconds, default 600000)
  connect                 GPS_OpenGarmin: open the stored port (port/port,
                          port/Settings) through the device control and
                          identify the unit (UI state 3, 7 for NMEA, else 1)
  controls N              Set_Controls(N): {"controls":N}
  menus                   {"menus":{"NAME" or "NAME(INDEX)":{"enabled":B,
                          "checked":B}}}
  window NAME             frmMain or frmInfo: {"window":NAME,"loaded":B,
                          "visible":B,"caption":T,"controls":{...}}
                          (frmMain adds "timers":{"Timer1":{"interval":
                          MS,"enabled":B}}); a
                          window driven by control name (frmImage,
                          frmGPSStatus, frmCalculateCEP) adds "menus" as
                          "menus" prints them, and its own extras (lists
                          and combos with "items", "text" and "hint")
  menu WINDOW.CONTROL [INDEX]   click a button, option or menu item (INDEX:
                          its place in a menu array) of such a window
  text WINDOW.CONTROL TEXT      type into its text box (Change runs)
  check WINDOW.CONTROL 0|1      tick or clear its check box
  shiftclick WINDOW.CONTROL [SHIFT]
                          the mouse pressed on a box with that Shift state
                          (1 Shift, 2 Ctrl, 4 Alt, added; default 1), then
                          its click
  resize WINDOW W H       resize such a window (twips), as the user does
  close WINDOW            the window's close box
  choose WINDOW.CONTROL ITEM    choose an entry of its list or combo by text
  cell|dblcell WINDOW.GRID ROW COL [ROWSEL COLSEL]
                          click or double-click a cell of its grid: on a
                          data row the current cell moves there (EnterCell
                          runs when it changed), the selection reaching to
                          (ROWSEL, COLSEL); then the click
  frmHotlinking: "window" adds "width", "height" (twips), "grids":
  {"msfgTable":[[T,...],...]} (row 0 included) and "pictures":
  {"pictPreview":[W,H]} (the preview's drawn size in pixels); the rename
  box takes the next answer.
  frmNMEAViewer: "window" adds "values" (the 35 boxes in their order, 0 or
  1), "text" (the shown lines), "caret" (its caret, a byte offset),
  "width" and "height" (twips).
  leave WINDOW.CONTROL          the focus leaves the control (LostFocus runs)
  key WINDOW CODE [SHIFT]       a key pressed on the window (KeyDown runs;
                          SHIFT 1 Shift, 2 Ctrl, 4 Alt)
  A control disabled is not used: {"disabled":"WINDOW.CONTROL"}. Array
  controls are named NAME(INDEX) (check frmRealTime.chkTolerance(1) 1), or
  clicked with the index (menu frmRealTime.cmdControls 1). window frmRealTime
  adds "tags":{CONTROL:T}, "colors":{"cmdControls(N)":"highlight"|"face"},
  "flags":{"recording","shape_end","ident_prompt","tolerance_bypass"} and
  "pending":N (vertices of the shape being built).
  until rows N [MS]       let events run until the table holds N data rows
  until status TEXT [MS]  ... or until a status text set from now on begins
                          with TEXT (at most MS ms, default 600000);
  until fromdde CODE [MS] ... or until LandView pokes a command of that code
  until hosts N [MS]      ... or until N served map hosts answer
  until file PATH [MS]    ... or until the file PATH exists (another
                          program's go-ahead)
                          prints {"until":"rows N"|"status TEXT"|"fromdde CODE"|"hosts N"|"file PATH",
                          "met":B}; each command LandView pokes prints
                          {"fromdde":TEXT} and, once carried out,
                          {"handled":TEXT}; its END prints {"end":true} and
                          the probe exits 0
  symbols                 {"d103":{KEY:N},"d1xx":{KEY:N}}
  massstorage DIR         read DIR as a mass-storage unit's drive, kept as
                          the connected unit when it is one:
                          {"LoadGPS":B, PROPERTY:T...}
  gpx-save FILE [append]  write the table as a GPX file: {"gpx_save":B}
  gpx-load TYPE FILE      load a GPX file's waypoints, tracks or routes (a
                          unit read by massstorage is every row's model):
                          {"gpx_load":B}
  rows N FIELD=VALUE...   append N rows as "row" does; "{n}" in a value
                          becomes 1..N
  select FIRST LAST       whole rows FIRST to LAST selected, then the grid's
                          selection change: {"select":{"first","last","count"}}
  select R1 C1 R2 C2      current cell (R1, C1), opposite corner (R2, C2),
                          then the selection change (same output)
  click R C               the grid's click with the mouse over cell (R, C);
                          the selection stays
  dblclick                the grid's double-click
  clipboard TEXT|@FILE    set the clipboard: TEXT with \t \r \n \\ escapes,
                          or the bytes of FILE
  clipboard?              {"clipboard":TEXT}
  grid?                   {"rows","cols","row","col","rowsel","colsel",
                          "widths":[twips],"folded":[rows of height 0],
                          "selected":PANEL3,"selection":[first,last,count]}
  picker code|name other|d103
                          tick the waypoint picker's options and run its
                          sort option's click (the picker loaded first)
  picker?                 {"picker":[item texts],"selected":TEXT}
  The picker, when shown, takes the next answer: an item's text (selected,
  then OK) or "Cancel"; without one it answers OK.
  LandView's layer chooser, when shown, prints {"dialog":"Landview Layer
  Selection","items":[...],"answer":A,"queued":Q} and takes the next
  answer: an entry's text (chosen, then OK), "Cancel" or "close" (the close
  box); without one it is cancelled. window frmLandviewLayerSelection adds
  "tags":{"frmLandviewLayerSelection":T,"frmMain":T}.
  While the receiver search waits for a choice it prints {"chooser":{"status":
  T,"items":[...],"text":T,"hint":T}} and takes the next answer: an item's
  text (chosen, then Connect) or "Cancel"; without one it connects the
  list's text.
  kml-save [point|line|polygon] FILE [append]   kml-load TYPE FILE
  lowrance-save FILE [append]   lowrance-load FILE
                          save or load the table's rows; prints {"kml_save":B}
                          and so on (a load error adds "error":TEXT)

The settings dialog (loaded hidden at start-up; a modal show returns at
once and the dialog stays shown until OK or Cancel hides it):
  menu frmProperties.NAME   click a button or option
  check frmProperties.NAME 0|1      set a check box
  text frmProperties.NAME TEXT      type into a text box or combo
  choose frmProperties.NAME ITEM    click a list or combo entry by its text
  key frmProperties.NAME CODE       a key typed (13 = Enter)
  tab frmProperties N               switch to tab N (0..6)
  cell|dblcell frmProperties.GRID ROW COL   click or double-click a cell
  resize frmProperties W H          resize (twips)
  window frmProperties              print the dialog (see below)
  A control disabled, hidden or in a disabled frame is not used:
  {"disabled":"frmProperties.NAME"}. A file dialog takes the next answer
  (its path; "" cancels), as an input box does.
  save KEY FILE [SHAPE] [append]
                          save the table as the save command does for the
                          type key: shp_p, shp_u (SHAPE, default Point), dbf,
                          txt_comma, txt; prints {"save":bool}
  load shp|dbf|txt FILE   load a file into the table; {"load":bool}
  shapetype FILE          {"shapetype":TEXT}
  worldfiles WIDTH LOCATION
                          fill "Add World Files" and click OK when enabled;
                          {"worldfiles":OK enabled}
  log TEXT [FILE]         write a line to the program log (or FILE)
  file-limit BYTES        from here on a write that would make a file larger
                          than BYTES fails (EFBIG, as on a full disk):
                          {"file_limit":BYTES}

GIS programs beside the window:
  announce CLASS TITLE [H]   a window in the window list (H: its handle,
                          else the next free one): {"announced":H}
  arcmap-fake visible|hidden|missing|gone [H]
                          a fake ArcMap in the running-application table
                          with the ArcMap window H announced (default
                          65000): its toolbar shown, hidden, or the
                          extension's class missing; "gone" removes it and
                          its object's calls fail (462). Calls on the table
                          print {"arcmap_app":{"call":M,"args":[...]}} (M
                          "Find" with the UID's text, "Dock" with the flags,
                          "Item0", "Create" with the ProgID), calls on the
                          class object {"arcmap":{"member":M,"args":[...]}};
                          an array argument is JSON's array (a 2-D one its
                          rows, the first index outer), a collection
                          {"collection":[{"key":K,"item":V}...]}, another
                          object "(object)"
  arcmap-answer MEMBER JSON
                          the next result of MEMBER on the class object
                          (open-array's form: an array of fields, or a
                          value; null is Empty)
  nmea TEXT [CHKERR]      the device control's NMEA event with the line TEXT
                          and its checksum verdict (0 or 1, default 0)
  nmea-values             {"nmea_values":{KEY:VALUE}}: the values stored
                          from NMEA sentences (numbers as numbers)

Output, one JSON object per line, as it happens:
  {"launch":[ARGS]}       a program the main window would start (it is not
                          started)
  {"window":"frmAbout",...}
                          the About box when it is shown modally (as
                          "window" prints a window)
  {"file":PATH}           a file the program completed (written whole and
                          renamed into place); a printed page is one, a
                          PNG file in the probe's home
  {"box":TEXT,"title":T,"style":N,"answer":"Yes","queued":true}
      a message box (input boxes carry "input":DEFAULT instead of "style");
      "queued" tells whether the answer came from an answer command
  {"dialog":"Identify Fields","lists":{"ident":TEXT,...},"answer":A,"queued":Q}
      the field dialog with each shown list's selection; it takes an answer
      "OK", "Cancel" or FIELD=COLUMN pairs joined by ";" (then OK)
  {"error":{"number":N,"description":T}}  an error a command passed on
  {"status":TEXT}   the status line, each time it is set
  {"dde":{"topic":T,"execute":S}}  an execute sent to a DDE topic
  {"dde":{"topic":T,"item":I,"poke":S}}  a poke ("error":N when either
                    failed)
  {"raise":H}       a window brought to the top
  {"caption":TEXT}  the window caption, each time it changes
  {"unused":[...]}  at exit: answers no box took
  {"window":"frmProperties","caption":C,"visible":B,"tab":N,"width":W,
   "height":H,"controls":{NAME:{"enabled","visible",...},...},
   "grids":{GRID:[[mark,name,alias,type,length,precision],...]}}
      the dialog: controls carry "caption", "text", "value", "items" (the
      lists lbxDatums and cbxPOSCCodes a "count"); marks "check"/"uncheck"
  A window shown modally (frmInfo) prints as "window" does and closes.

Exit status: 0, or 2 with a message on standard error when a command cannot
be carried out (unknown word, menu name or field, bad argument, an answer
that fits no button of its box).
)USAGE";

using json_lines::print_line;
using json_lines::print_status;

// A command that cannot be carried out.
struct ProbeError {
    std::string message;
};

struct Command {
    std::string word;
    std::vector<std::string> args;
};

bool parse_int(const std::string& text, long long& out, long long lo, long long hi)
{
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno || *end || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool command_word(const std::string& w)
{
    static const std::set<std::string> words{
        "menu",      "answer",        "type",       "row",          "setting",       "table",     "wait",
        "idle",      "save",          "load",       "shapetype",    "worldfiles",    "log",       "connect",
        "controls",  "menus",         "window",     "symbols",      "massstorage",   "gpx-save",  "gpx-load",
        "rows",      "select",        "click",      "dblclick",     "clipboard",     "clipboard?", "grid?",
        "picker",    "picker?",       "check",      "text",         "choose",        "key",       "tab",
        "cell",      "dblcell",       "resize",     "kml-save",     "kml-load",      "lowrance-save",
        "lowrance-load", "filter", "save-array", "open-array", "file-limit", "announce", "arcmap-fake",
        "arcmap-answer", "nmea", "nmea-values", "shiftclick", "leave", "until", "close"};
    return words.count(w) > 0;
}

std::vector<Command> parse_commands(const std::vector<std::string>& words)
{
    std::vector<Command> out;
    std::size_t i = 0;
    auto need = [&](const std::string& word, std::size_t n) {
        if (i + n > words.size()) throw ProbeError{"\"" + word + "\" needs " + std::to_string(n) + " argument(s)"};
        std::vector<std::string> a(words.begin() + i, words.begin() + i + n);
        i += n;
        return a;
    };
    long long n = 0;
    while (i < words.size()) {
        std::string w = words[i++];
        Command c{w, {}};
        if (w == "menu") {
            c.args = need(w, 1);
            if (i < words.size() && parse_int(words[i], n, 0, 32767)) c.args.push_back(words[i++]);
        } else if (w == "answer" || w == "window") {
            c.args = need(w, 1);
        } else if (w == "announce" || w == "arcmap-fake" || w == "arcmap-answer") {
            c.args = need(w, w == "arcmap-fake" ? 1 : 2);
            if (w == "arcmap-fake" && c.args[0] != "visible" && c.args[0] != "hidden" && c.args[0] != "missing" &&
                c.args[0] != "gone")
                throw ProbeError{"\"arcmap-fake\" takes visible, hidden, missing or gone"};
            if (w != "arcmap-answer" && i < words.size() && parse_int(words[i], n, 1, 0x3fffffff)) c.args.push_back(words[i++]);
        } else if (w == "open-array") {
            c.args = need(w, 1);
        } else if (w == "save-array" || w == "nmea-values") {
        } else if (w == "nmea" || w == "shiftclick") {
            c.args = need(w, 1);
            if (i < words.size() && parse_int(words[i], n, w == "nmea" ? 0 : -32768, w == "nmea" ? 1 : 32767))
                c.args.push_back(words[i++]);
        } else if (w == "filter") {
            c.args = need(w, 1);
            if (!parse_int(c.args[0], n, 1, 32767)) throw ProbeError{"\"filter\" needs a number from 1"};
        } else if (w == "check" || w == "text" || w == "choose" || w == "key" || w == "tab") {
            c.args = need(w, 2);
            if (w == "key" && c.args[0].find('.') == std::string::npos && i < words.size() &&
                parse_int(words[i], n, 0, 7))
                c.args.push_back(words[i++]);
        } else if (w == "leave") {
            c.args = need(w, 1);
        } else if (w == "until") {
            c.args = need(w, 2);
            if (c.args[0] != "rows" && c.args[0] != "status" && c.args[0] != "fromdde" && c.args[0] != "hosts" &&
                c.args[0] != "file")
                throw ProbeError{"\"until\" needs rows N, status TEXT, fromdde CODE, hosts N or file PATH"};
            if ((c.args[0] == "rows" || c.args[0] == "hosts") && !parse_int(c.args[1], n, 0, 1000000)) throw ProbeError{"bad row count \"" + c.args[1] + "\""};
            if (i < words.size() && parse_int(words[i], n, 0, 86400000)) c.args.push_back(words[i++]);
        } else if (w == "cell" || w == "dblcell" || w == "resize") {
            c.args = need(w, 3);
            // A cell of a window other than the settings dialog may name the
            // selection's far corner too.
            if (w != "resize" && c.args[0].rfind("frmProperties.", 0) != 0 && i + 1 < words.size() &&
                parse_int(words[i], n, 0, 4000000) && parse_int(words[i + 1], n, 0, 4000000)) {
                c.args.push_back(words[i++]);
                c.args.push_back(words[i++]);
            }
        } else if (w == "close") {
            c.args = need(w, 1);
        } else if (w == "type") {
            c.args = need(w, 1);
            static const std::set<std::string> types{"waypoint", "track", "route", "realtime"};
            if (!types.count(c.args[0])) throw ProbeError{"unknown record type \"" + c.args[0] + "\""};
        } else if (w == "row") {
            while (i < words.size() && words[i].find('=') != std::string::npos) c.args.push_back(words[i++]);
            if (c.args.empty()) throw ProbeError{"\"row\" needs FIELD=VALUE words"};
        } else if (w == "setting") {
            c.args = need(w, 3);
        } else if (w == "table") {
        } else if (w == "wait") {
            c.args = need(w, 1);
            if (!parse_int(c.args[0], n, 0, 86400000)) throw ProbeError{"bad milliseconds \"" + c.args[0] + "\""};
        } else if (w == "idle") {
            if (i < words.size() && parse_int(words[i], n, 0, 86400000)) c.args.push_back(words[i++]);
        } else if (w == "rows") {
            c.args = need(w, 1);
            if (!parse_int(c.args[0], n, 1, 32766)) throw ProbeError{"bad row count \"" + c.args[0] + "\""};
            while (i < words.size() && words[i].find('=') != std::string::npos) c.args.push_back(words[i++]);
            if (c.args.size() < 2) throw ProbeError{"\"rows\" needs FIELD=VALUE words"};
        } else if (w == "select" || w == "click") {
            while (i < words.size() && c.args.size() < 4 && parse_int(words[i], n, 0, 4000000)) c.args.push_back(words[i++]);
            if (c.args.size() != 2 && (w == "click" || c.args.size() != 4))
                throw ProbeError{"\"" + w + "\" needs " + (w == "click" ? "2" : "2 or 4") + " row and column numbers"};
        } else if (w == "clipboard" || w == "picker") {
            c.args = need(w, w == "picker" ? 2 : 1);
            if (w == "picker" && ((c.args[0] != "code" && c.args[0] != "name") || (c.args[1] != "other" && c.args[1] != "d103")))
                throw ProbeError{"\"picker\" needs code|name other|d103"};
        } else if (w == "dblclick" || w == "clipboard?" || w == "grid?" || w == "picker?") {
        } else if (w == "connect" || w == "menus" || w == "symbols") {
        } else if (w == "controls") {
            c.args = need(w, 1);
            if (!parse_int(c.args[0], n, -32768, 32767)) throw ProbeError{"bad state \"" + c.args[0] + "\""};
        } else if (w == "massstorage") {
            c.args = need(w, 1);
        } else if (w == "gpx-save") {
            c.args = need(w, 1);
            if (i < words.size() && words[i] == "append") c.args.push_back(words[i++]);
        } else if (w == "gpx-load") {
            c.args = need(w, 2);
        } else if (w == "kml-save" || w == "kml-load" || w == "lowrance-save" || w == "lowrance-load") {
            // [SHAPE] FILE [append] / TYPE FILE / FILE [append] / FILE
            bool save = w.find("save") != std::string::npos;
            if (w == "kml-save") {
                bool shape = i + 1 < words.size() && std::set<std::string>{"point", "line", "polygon"}.count(vb::LCase(words[i]));
                c.args.push_back(shape ? words[i++] : "point");
            }
            for (const auto& a : need(w, w == "kml-load" ? 2 : 1)) c.args.push_back(a);
            if (save && i < words.size() && words[i] == "append") c.args.push_back(words[i++]);
        } else if (w == "save") {
            c.args = need(w, 2);
            static const std::set<std::string> keys{"shp_p", "shp_u", "dbf", "txt_comma", "txt"};
            if (!keys.count(c.args[0])) throw ProbeError{"unknown type key \"" + c.args[0] + "\""};
            if (i < words.size() && words[i] != "append" && !command_word(words[i])) c.args.push_back(words[i++]);
            if (c.args.size() == 2) c.args.push_back("Point");
            if (i < words.size() && words[i] == "append") c.args.push_back(words[i++]);
        } else if (w == "load") {
            c.args = need(w, 2);
            if (c.args[0] != "shp" && c.args[0] != "dbf" && c.args[0] != "txt")
                throw ProbeError{"unknown file kind \"" + c.args[0] + "\""};
        } else if (w == "file-limit") {
            c.args = need(w, 1);
            if (!parse_int(c.args[0], n, 0, 1ll << 50)) throw ProbeError{"bad byte count \"" + c.args[0] + "\""};
        } else if (w == "shapetype") {
            c.args = need(w, 1);
        } else if (w == "worldfiles") {
            c.args = need(w, 2);
        } else if (w == "log") {
            c.args = need(w, 1);
            if (i < words.size() && !command_word(words[i])) c.args.push_back(words[i++]);
        } else {
            throw ProbeError{"unknown command \"" + w + "\""};
        }
        out.push_back(std::move(c));
    }
    return out;
}

using json_lines::PrintingLauncher;
using json_lines::ProbeDialogs;

// A modal window other than the settings dialog prints as "window" does.
json about_window(const app::frmAbout& a)
{
    json controls = json::object();
    for (const app::Control* c : {&a.lblTitle, &a.lblPath, &a.lblVersion, &a.tbxText, &a.lblDisclaimer, &a.cmdOK,
                                  &a.cmdSysInfo, &a.lblVersionLabel, &a.lblPathLabel})
        controls[c->name] = {{"text", c->caption}, {"enabled", c->enabled}, {"visible", c->visible}, {"value", c->value}};
    return {{"window", "frmAbout"}, {"loaded", a.window.loaded}, {"visible", a.window.visible},
            {"caption", a.window.caption}, {"controls", controls}};
}

class Probe {
public:
    Probe(platform::Settings& settings, ProbeDialogs& dialogs, platform::PortMap& ports, const std::string& folder)
        : dialogs_(dialogs), main_({settings, dialogs, cursor_, platform::qt_event_pump(), ports}, folder),
          files_(main_)
    {
        app::install_subsystems(main_);
        main_.set_launcher(&launcher_);
        main_.show_about_modal = [](app::frmAbout& a) { print_line(about_window(a)); };
        main_.frmWptSelect().on_show = [this](flxgrd::frmWptSelect& p) { answer_picker(p); };
        std::string why;
        if (auto control = app::make_brenvik_control(why)) main_.host_garmin_owned(std::move(control));
        main_.on_show_modal = [this](const std::string& name) {
            print_line(transfer::probe::window(main_, name));
        };
        files_.show_fields = [this](files::frmFields& f) { answer_fields(f); };
        transfer::GPS_Status(main_).wait_choice = [this](transfer::frmGPSStatus& f) { answer_chooser(f); };
        if (auto* fe = dynamic_cast<files::FileFrontEnd*>(&main_.files())) {
            fe->table_files().show_fields = files_.show_fields;
            fe->show_shape = [this](files::frmShape& f) {
                answer_options(f.Caption, f, {{"Polygon", &f.optPolygon}, {"Line", &f.optLine}, {"Point", &f.optPoint}});
            };
            fe->show_feature_type = [this](files::frmFeatureType& f) {
                answer_options(f.Caption, f,
                               {{"Waypoint", &f.optWaypoint}, {"Track", &f.optTrack}, {"Route", &f.optRoute}});
            };
        }
        if (auto* gis = dynamic_cast<links::Links*>(&main_.links())) {
            gis->on_raise = [](std::int32_t h) { print_line({{"raise", h}}); };
            gis->LayerSelection().show_modal = [this](links::frmLandviewLayerSelection& f) { answer_layers(f); };
            gis->on_fromdde = [this](const std::string& text) {
                print_line({{"fromdde", text}});
                const std::string code = platform::vb::UCase(links::LV_GetTheWord(text, 1));
                if (fromdde_wanted_ && code == *fromdde_wanted_) fromdde_seen_ = true;
            };
            gis->on_fromdde_done = [](const std::string& text) { print_line({{"handled", text}}); };
            gis->on_end = [] {
                print_line({{"end", true}});
                std::fflush(nullptr);
                std::_Exit(0);
            };
            gis->on_dde = [](const std::string& topic, const std::string& item, const std::string& data, int error) {
                json d = {{"topic", topic}};
                if (item.empty())
                    d["execute"] = data;
                else
                    d["item"] = item, d["poke"] = data;
                if (error) d["error"] = error;
                print_line({{"dde", d}});
            };
        }
        main_.on_changed = [this](unsigned what) {
            // Set_Msg reports the status line and the quiet-mode window
            // together, and nothing else.
            if (what == (app::ChangeStatus | app::ChangeQuietStatus)) {
                print_status(main_.StatusBar1[1]);
                if (status_wanted_ && main_.StatusBar1[1].rfind(*status_wanted_, 0) == 0) status_seen_ = true;
            }
            if ((what & app::ChangeCaption) && main_.Caption != caption_) {
                caption_ = main_.Caption;
                print_line({{"caption", caption_}});
            }
        };
    }

    // Printed pages go to PNG files in `folder` (reported as files).
    void print_to(const std::string& folder) { main_.set_printer(platform::make_png_printer(folder)); }

    // ArcGIS installed: its "RealVersion" and "InstallDir" (HOME/arcgis/)
    // join the registry view (the file TREKFOLD_REGISTRY names, if any).
    static void arcgis(const std::string& home)
    {
        std::string text, why;
        if (const char* r = std::getenv("TREKFOLD_REGISTRY"); r && *r)
            platform::read_stored_file(r, platform::max_stored_file_bytes, text, why);
        text += "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ESRI\\ArcGIS]\nRealVersion=9.2\nInstallDir=" + home + "/arcgis/\n";
        const std::string path = home + "/registry.ini";
        std::ofstream(path, std::ios::binary) << text;
        ::setenv("TREKFOLD_REGISTRY", path.c_str(), 1);
    }

    void start()
    {
        main_.Form_Load();
        check_answers();
    }
    void stop()
    {
        int cancel = 0;
        main_.Form_Unload(cancel);
    }

    // The settings dialog's words ("menu frmProperties.NAME" goes through
    // menu()); "window" names frmProperties there, else frmMain or frmInfo.
    inline static const std::set<std::string> kDialogWords{"window", "check", "text", "choose", "key",
                                                           "tab",    "cell",  "dblcell", "resize"};

    void run(const Command& c)
    {
        const auto& a = c.args;
        if (c.word == "menu")
            menu(a[0], a.size() > 1 ? std::stoi(a[1]) : -1);
        else if (c.word == "answer")
            dialogs_.answers.push_back(a[0]);
        else if (c.word == "filter")
            dialogs_.filter = std::stoi(a[0]);
        else if (c.word == "type")
            type(a[0]);
        else if (c.word == "row")
            row(a);
        else if (c.word == "setting")
            main_.settings().SaveSetting(a[0], a[1], a[2]);
        else if (c.word == "table")
            table();
        else if (c.word == "wait")
            main_.pump().wait_until([] { return false; }, deadline(std::stoll(a[0])));
        else if (c.word == "save" || c.word == "load" || c.word == "shapetype" || c.word == "worldfiles" ||
                 c.word == "log")
            table_files(c.word, a);
        else if (c.word == "idle")
            main_.pump().wait_until(
                [this] {
                    const app::AppState& s = main_.state();
                    return !s.transfer_busy && !s.transfer_running && !transfer::Screen_Window(main_).arriving();
                },
                deadline(a.empty() ? 600000 : std::stoll(a[0])));
        else if (c.word == "connect")
            connect();
        else if (c.word == "controls")
            print_line(transfer::probe::controls(main_, static_cast<std::int16_t>(std::stoi(a[0]))));
        else if (c.word == "menus")
            print_line(transfer::probe::menus(main_));
        else if (c.word == "symbols")
            print_line(transfer::probe::symbols(main_));
        else if (c.word == "massstorage")
            print_line(transfer::probe::massstorage(main_, a[0]));
        else if (c.word == "file-limit")
            file_limit(std::stoll(a[0]));
        else if (c.word == "gpx-save")
            print_line({{"gpx_save", files::GPXFile_Save(main_, a[0], a.size() > 1)}});
        else if (c.word == "gpx-load")
            print_line({{"gpx_load", gpx_load(a[0], a[1])}});
        else if (c.word == "window" && vb::LCase(a[0]) != "frmproperties")
            print_line(window(a[0]));
        else if (c.word == "key" && a[0].find('.') == std::string::npos)
            key(a);
        else if (c.word == "leave")
            leave(a[0]);
        else if (c.word == "until")
            until(a);
        else if (c.word == "close")
            form_named(a[0]).Close();

        else if (kDialogWords.count(c.word))
            dialog(c.word, a);
        else if (c.word == "kml-save")
            print_line({{"kml_save", files::KMLFile_Save(main_, a[0], a[1], a.size() > 2)}});
        else if (c.word == "kml-load")
            print_line({{"kml_load", files::KMLFile_Load(main_, a[0], a[1])}});
        else if (c.word == "lowrance-save")
            print_line({{"lowrance_save", files::LowranceFile_Save(main_, a[0], a.size() > 1)}});
        else if (c.word == "save-array" || c.word == "open-array")
            table_array(c.word, a);
        else if (c.word == "announce" || c.word == "arcmap-fake" || c.word == "arcmap-answer")
            gis_word(c.word, a);
        else if (c.word == "nmea")
            main_.realtime().garmin_NMEA(a[0], a.size() > 1 && a[1] == "1");
        else if (c.word == "nmea-values")
            nmea_values();
        else if (c.word == "shiftclick")
            shiftclick(a[0], a.size() > 1 ? number(a[1]) : 1);
        else if (c.word == "lowrance-load")
            try {
                print_line({{"lowrance_load", files::LowranceFile_Load(main_, a[0])}});
            } catch (const platform::VbError& e) {
                print_line({{"lowrance_load", false}, {"error", "Error #" + std::to_string(e.number) + " - " + e.description}});
            }
        else
            table_word(c);
        check_answers();
    }

private:
    // "window NAME"; the real-time window adds its tags, button colours,
    // flags and pending vertices.
    json window_of(const std::string& name)
    {
        json out = transfer::probe::window(main_, name);
        if (name == "frmHotlinking") add_hotlinking(out);
        if (name == "frmLandviewLayerSelection")
            if (auto* gis = dynamic_cast<links::Links*>(&main_.links()))
                out["tags"] = {{"frmLandviewLayerSelection", gis->LayerSelection().Tag}, {"frmMain", main_.Tag}};
        if (name != "frmRealTime") return out;
        const realtime::frmRealTime& w = main_.realtime().RealTimeWindow();
        json tags = json::object();
        for (const char* t : {"optDataType(0)", "optDataType(1)", "optDataType(2)", "chkGISDisplay"}) tags[t] = w.Tag(t);
        json colors = json::object();
        for (int i = 0; i < 4; ++i)
            colors["cmdControls(" + std::to_string(i) + ")"] =
                w.ButtonColor(i) == realtime::frmRealTime::kHighlight ? "highlight" : "face";
        const app::AppState& s = main_.state();
        out["tags"] = tags;
        out["colors"] = colors;
        out["flags"] = {{"recording", w.recording()}, {"shape_end", w.shape_end()}, {"ident_prompt", s.ident_prompt},
                        {"tolerance_bypass", s.tolerance_bypass}};
        out["pending"] = w.pending_vertices();
        return out;
    }

    // The hotlinking window's size, its photo list (row 0 included) and the
    // preview's drawn size.
    void add_hotlinking(json& out)
    {
        auto* w = dynamic_cast<hotlink::frmHotlinking*>(main_.form("frmHotlinking"));
        if (!w) return;
        json rows = json::array();
        const platform::Grid& g = w->msfgTable;
        for (int r = 0; r < g.Rows(); ++r) {
            json row = json::array();
            for (int col = 0; col < g.Cols(); ++col) row.push_back(g.TextMatrix(r, col));
            rows.push_back(row);
        }
        out["width"] = w->Width;
        out["height"] = w->Height;
        out["grids"] = {{"msfgTable", rows}};
        out["pictures"] = {{"pictPreview", {w->pictPreview().width, w->pictPreview().height}}};
    }

    app::Form& form_named(const std::string& name)
    {
        app::Form* form = main_.form(name);
        if (!form) throw ProbeError{"no window \"" + name + "\""};
        return *form;
    }

    void key(const std::vector<std::string>& a)
    {
        app::Form& form = form_named(a[0]);
        if (form.KeyDown(number(a[1]), a.size() > 2 ? number(a[2]) : 0) == app::Form::Disabled)
            print_line({{"disabled", a[0]}});
    }

    void leave(const std::string& target)
    {
        const std::size_t dot = target.find('.');
        if (dot == std::string::npos) throw ProbeError{"\"leave\" needs WINDOW.CONTROL"};
        app::Form::Result r = form_named(target.substr(0, dot)).LostFocus(target.substr(dot + 1));
        if (r == app::Form::Disabled) print_line({{"disabled", target}});
        if (r == app::Form::NoControl) throw ProbeError{"no control for \"leave\": \"" + target + "\""};
    }

    int data_rows() const
    {
        const platform::Grid& g = main_.MSFlexGrid1;
        int n = 0;
        for (int r = 1; r < g.Rows(); ++r) n += !g.TextMatrix(r, 0).empty();
        return n;
    }

    void until(const std::vector<std::string>& a)
    {
        const long long ms = a.size() > 2 ? std::stoll(a[2]) : 600000;
        bool met = false;
        if (a[0] == "rows") {
            const int want = std::stoi(a[1]);
            met = main_.pump().wait_until([&] { return data_rows() >= want; }, deadline(ms));
        } else if (a[0] == "hosts" || a[0] == "file") {
            // Hosts and files come and go outside the loop's events: looked
            // at each 50 ms.
            const int want = a[0] == "hosts" ? std::stoi(a[1]) : 0;
            auto there = [&] {
                std::error_code ec;
                return a[0] == "file" ? std::filesystem::exists(a[1], ec)
                                      : platform::arcobjects::Running_Table(nullptr)->Count() == want;
            };
            const std::int64_t end = deadline(ms);
            while (!(met = there()) && main_.pump().clock().now_us() < end)
                main_.pump().wait_until([] { return false; }, std::min(end, main_.pump().clock().now_us() + 50'000));
        } else if (a[0] == "fromdde") {
            fromdde_seen_ = false;
            fromdde_wanted_ = platform::vb::UCase(a[1]);
            met = main_.pump().wait_until([&] { return fromdde_seen_; }, deadline(ms));
            fromdde_wanted_.reset();
        } else {
            status_seen_ = false;
            status_wanted_ = a[1];
            met = main_.pump().wait_until([&] { return status_seen_; }, deadline(ms));
            status_wanted_.reset();
        }
        print_line({{"until", a[0] + " " + a[1]}, {"met", met}});
    }

    std::int64_t deadline(long long ms) { return main_.pump().clock().now_us() + ms * 1000; }

    // A GPX file loaded as the File menu loads it: a connected mass-storage
    // unit is every point's model.
    bool gpx_load(const std::string& type, const std::string& file)
    {
        std::optional<std::string> model;
        if (const auto& unit = main_.state().GPS_MassStorageUnit) model = unit->Description;
        return files::GPXFile_Load(main_, type, file, model);
    }

    // The connection set-up: GPS_OpenGarmin on the stored port and settings.
    void connect()
    {
        if (!main_.garmin) throw ProbeError{"no device control could be made"};
        transfer::GPS_OpenGarmin(main_);
    }

    // The receiver chooser, while the search waits for a choice: printed,
    // then answered from the queue (an item's text chooses it and clicks
    // Connect, "Cancel" clicks Cancel); no answer connects the list's text.
    void answer_chooser(transfer::frmGPSStatus& f)
    {
        const app::DialogControl& list = f.control("cboGPSUnits");
        print_line({{"chooser",
                     {{"status", f.control("lblStatus").caption},
                      {"items", list.items},
                      {"text", list.text},
                      {"hint", list.tooltip}}}});
        if (dialogs_.answers.empty()) {
            f.Click("cmdConnect");
            return;
        }
        const std::string word = dialogs_.answers.front();
        dialogs_.answers.pop_front();
        if (word == "Cancel") {
            f.Click("cmdCancel");
        } else if (f.SetText("cboGPSUnits", word) == app::Form::Done) {
            f.Click("cmdConnect");
        } else {
            if (!dialogs_.misfit) dialogs_.misfit = "answer \"" + word + "\" is no unit of the chooser";
            f.Click("cmdCancel");
        }
    }

    void check_answers()
    {
        if (dialogs_.misfit) throw ProbeError{*dialogs_.misfit};
    }

    // --- the settings dialog -----------------------------------------------
    app::frmProperties& properties() { return static_cast<app::frmProperties&>(main_.frmProperties()); }

    // NAME of "frmProperties.NAME".
    static std::string dialog_control(const std::string& target)
    {
        static const std::string prefix = "frmProperties.";
        if (target.rfind(prefix, 0) != 0) throw ProbeError{"no window control \"" + target + "\""};
        return target.substr(prefix.size());
    }
    static int number(const std::string& text)
    {
        long long n = 0;
        if (!parse_int(text, n, -1000000, 1000000)) throw ProbeError{"bad number \"" + text + "\""};
        return int(n);
    }

    // "menu", "text" and "check" on WINDOW.CONTROL of a window registered
    // by name; false when the target names no such window.
    bool form_word(const std::string& word, const std::vector<std::string>& a, int index = -1)
    {
        const std::size_t dot = a[0].find('.');
        if (dot == std::string::npos) return false;
        app::Form* form = main_.form(a[0].substr(0, dot));
        if (!form) return false;
        const std::string name = a[0].substr(dot + 1);
        app::Form::Result r = app::Form::NoControl;
        if (word == "menu")
            r = form->Click(name, index);
        else if (word == "check")
            r = form->SetValue(name, number(a[1]) != 0);
        else
            r = form->SetText(name, a[1]);
        const std::string target = a[0] + (index >= 0 ? "(" + std::to_string(index) + ")" : std::string());
        if (r == app::Form::Disabled) print_line({{"disabled", target}});
        if (r == app::Form::NoControl) throw ProbeError{"no control for \"" + word + "\": \"" + target + "\""};
        if (r == app::Form::NoItem)
            throw ProbeError{"no entry \"" + (word == "menu" ? std::to_string(index) : a[1]) + "\" in " + a[0]};
        return true;
    }

    // "cell" and "dblcell" on WINDOW.GRID of a window registered by name;
    // false when the target names no such window.
    bool form_cell(bool twice, const std::vector<std::string>& a)
    {
        const std::size_t dot = a[0].find('.');
        if (dot == std::string::npos) return false;
        app::Form* form = main_.form(a[0].substr(0, dot));
        if (!form) return false;
        const int row = number(a[1]), col = number(a[2]);
        const int row_sel = a.size() > 4 ? number(a[3]) : row, col_sel = a.size() > 4 ? number(a[4]) : col;
        app::Form::Result r = form->CellClick(a[0].substr(dot + 1), row, col, row_sel, col_sel, twice);
        if (r == app::Form::Disabled) print_line({{"disabled", a[0]}});
        if (r == app::Form::NoControl) throw ProbeError{"no grid \"" + a[0] + "\""};
        if (r == app::Form::NoItem) throw ProbeError{"no cell " + a[1] + " " + a[2] + " in " + a[0]};
        return true;
    }

    void dialog(const std::string& word, const std::vector<std::string>& a)
    {
        if ((word == "check" || word == "text" || word == "choose") && form_word(word, a)) return;
        if ((word == "cell" || word == "dblcell") && form_cell(word == "dblcell", a)) return;
        app::frmProperties& p = properties();
        if (word == "resize" && a[0] != "frmProperties") return resize(a);
        if (word == "window" || word == "tab" || word == "resize") {
            if (a[0] != "frmProperties") throw ProbeError{"no window \"" + a[0] + "\""};
            if (word == "window") return window();
            if (word == "tab") return p.SSTProperties_Click(number(a[1]));
            return p.Form_Resize(number(a[1]), number(a[2]));
        }
        const std::string name = dialog_control(a[0]);
        app::frmProperties::Result r = app::frmProperties::NoControl;
        if (word == "menu")
            r = p.Click(name);
        else if (word == "check")
            r = p.SetValue(name, number(a[1]) != 0);
        else if (word == "text")
            r = p.SetText(name, a[1]);
        else if (word == "choose")
            r = p.Choose(name, a[1]);
        else if (word == "key")
            r = p.KeyPress(name, number(a[1]));
        else
            r = p.CellClick(name, number(a[1]), number(a[2]), word == "dblcell");
        if (r == app::frmProperties::Disabled) print_line({{"disabled", a[0]}});
        if (r == app::frmProperties::NoControl) throw ProbeError{"no control for \"" + word + "\": \"" + a[0] + "\""};
        if (r == app::frmProperties::NoItem) throw ProbeError{"no entry \"" + a[1] + "\" in " + a[0]};
    }

    // "window NAME" of every window but the settings dialog; the NMEA
    // viewer adds its box values, its text, its caret and its size.
    json window(const std::string& name)
    {
        json out = window_of(name);
        if (name == "frmNMEAViewer") {
            const realtime::frmNMEAViewer& v = main_.realtime().NMEAViewer();
            json values = json::array();
            for (const app::DialogControl* box : v.getNMEACodes()) values.push_back(box->value ? 1 : 0);
            out["values"] = values;
            out["text"] = v.Text();
            out["caret"] = v.SelStart();
            out["width"] = v.Width;
            out["height"] = v.Height;
        }
        return out;
    }

    // resize WINDOW W H of a window registered by name.
    void resize(const std::vector<std::string>& a)
    {
        app::Form* form = main_.form(a[0]);
        if (!form) throw ProbeError{"no window \"" + a[0] + "\""};
        app::Form::Result r = form->Resize(number(a[1]), number(a[2]));
        if (r == app::Form::Disabled) print_line({{"disabled", a[0]}});
        if (r == app::Form::NoControl) throw ProbeError{"\"" + a[0] + "\" cannot be resized"};
    }

    // shiftclick WINDOW.CONTROL [SHIFT]: the mouse pressed, then the click.
    void shiftclick(const std::string& target, int shift)
    {
        const std::size_t dot = target.find('.');
        app::Form* form = dot == std::string::npos ? nullptr : main_.form(target.substr(0, dot));
        if (!form) throw ProbeError{"no window control \"" + target + "\""};
        const std::string name = target.substr(dot + 1);
        app::Form::Result r = form->MouseDown(name, shift);
        if (r == app::Form::Done) r = form->Click(name);
        if (r == app::Form::Disabled) print_line({{"disabled", target}});
        if (r == app::Form::NoControl) throw ProbeError{"no control for \"shiftclick\": \"" + target + "\""};
    }

    // {"nmea_values":{KEY:VALUE}} in the order stored.
    void nmea_values()
    {
        json values = json::object();
        for (const auto& e : main_.state().nmea_values) {
            const platform::Variant& v = e.item;
            if (v.Type() == platform::VarType::String)
                values[e.key] = v.ToString();
            else
                values[e.key] = v.ToDouble();
        }
        print_line({{"nmea_values", values}});
    }

    void window()
    {
        app::frmProperties& p = properties();
        json controls = json::object();
        for (const app::DialogControl& c : p.controls()) {
            json j = {{"enabled", c.enabled}, {"visible", c.visible}};
            if (!c.caption.empty()) j["caption"] = c.caption;
            if (c.kind == app::DialogControl::Option || c.kind == app::DialogControl::Check) j["value"] = c.value;
            if (c.kind == app::DialogControl::Text || c.kind == app::DialogControl::Combo ||
                c.kind == app::DialogControl::List)
                j["text"] = c.text;
            if (c.name == "lbxDatums" || c.name == "cbxPOSCCodes")
                j["count"] = c.items.size();
            else if (c.kind == app::DialogControl::Combo || c.kind == app::DialogControl::List)
                j["items"] = c.items;
            j["left"] = c.left, j["top"] = c.top, j["width"] = c.width, j["height"] = c.height;
            controls[c.name] = j;
        }
        json grids = json::object();
        for (int i = 0; i < 4; ++i) {
            const platform::Grid& g = p.grid(i);
            json rows = json::array();
            for (int r = 1; r < g.Rows(); ++r) {
                if (g.TextMatrix(r, 1).empty()) continue;
                json row = {p.mark(i, r) ? "check" : "uncheck"};
                for (int c = 1; c < 6; ++c) row.push_back(g.TextMatrix(r, c));
                rows.push_back(row);
            }
            grids[app::frmProperties::kGrids[i]] = rows;
        }
        print_line({{"window", "frmProperties"}, {"caption", p.Caption}, {"visible", p.Visible()}, {"tab", p.tab()},
                    {"width", p.Width}, {"height", p.Height}, {"controls", controls}, {"grids", grids}});
    }

    // The table's file writers and readers, as the File menu calls them.
    void table_files(const std::string& word, const std::vector<std::string>& a)
    {
        try {
            if (word == "save") {
                const std::string& key = a[0];
                const bool append = a.size() > 3;
                bool ok = key == "dbf"         ? files_.Save_DBF(a[1], append)
                          : key == "txt_comma" ? files_.Save_TextFile(a[1], ",", append)
                          : key == "txt"       ? files_.Save_TextFile(a[1], ";", append)
                                               : files_.Shapefile_Save(a[2], key == "shp_p", a[1], append);
                print_line({{"save", ok}});
            } else if (word == "load") {
                bool ok = a[0] == "shp"   ? files_.Shapefile_Load(a[1])
                          : a[0] == "dbf" ? files_.Open_DBF(a[1])
                                          : files_.Open_Textfile(a[1]);
                print_line({{"load", ok}});
            } else if (word == "shapetype") {
                print_line({{"shapetype", files_.get_ShapeFileType(a[0])}});
            } else if (word == "worldfiles") {
                files::frmWorldFiles& d = files_.world_files_dialog();
                d.tbxWidth_Change(a[0]);
                d.cboLocation = a[1];
                const bool enabled = d.cmdOK_Enabled;
                files_.frmWorldFiles_cmdOK_Click();
                print_line({{"worldfiles", enabled}});
            } else {
                files_.Logfile_Write(a[0], a.size() > 1 ? a[1] : "", false, false);
            }
        } catch (const platform::VbError& e) {
            print_line({{"error", {{"number", e.number}, {"description", e.description}}}});
        }
    }

    // "Identify Fields" answered from the queue: OK, Cancel, or
    // FIELD=COLUMN pairs (then OK).
    void answer_fields(files::frmFields& f)
    {
        json lists = json::object();
        for (files::FieldList* l : f.lists())
            if (l->visible && (f.cpSpatial_visible || l->tag == "ident" || l->tag == "comment")) lists[l->tag] = l->Text();
        bool queued = !dialogs_.answers.empty();
        std::string word = queued ? dialogs_.answers.front() : "Cancel";
        if (queued) dialogs_.answers.pop_front();
        print_line({{"dialog", f.Caption}, {"lists", lists}, {"answer", word}, {"queued", queued}});
        if (vb::LCase(word) == "cancel" || word.empty()) return f.cmdCancel_Click();
        if (vb::LCase(word) != "ok")
            for (const std::string& pair : vb::Split(word, ";")) {
                const std::size_t eq = pair.find('=');
                bool done = false;
                for (files::FieldList* l : f.lists())
                    if (eq != std::string::npos && vb::LCase(pair.substr(0, eq)) == l->tag)
                        done = l->select(pair.substr(eq + 1));
                if (!done && !dialogs_.misfit) dialogs_.misfit = "answer \"" + pair + "\" fits no list of \"Identify Fields\"";
            }
        f.cmdOK_Click();
    }

    // save-array: {"array":[[...],...]} indexed (field, record); open-array
    // FILE: a JSON array of that shape (Boolean, null Empty, numbers Double).
    void table_array(const std::string& word, const std::vector<std::string>& a)
    {
        if (word == "save-array") {
            platform::Variant v = files_.Save_Array();
            json out = json::array();
            if (v.IsArray()) {
                platform::VariantArray& arr = v.ArrayRef();
                for (int f = arr.LBound(1); f <= arr.UBound(1); ++f) {
                    json field = json::array();
                    for (int r = arr.LBound(2); r <= arr.UBound(2); ++r) field.push_back(arr.at(f, r).ToString());
                    out.push_back(field);
                }
            }
            return print_line({{"array", out}});
        }
        std::ifstream in(a[0]);
        json j = json::parse(in, nullptr, false);
        if (!j.is_array() || j.empty() || !j[0].is_array()) throw ProbeError{"\"" + a[0] + "\" holds no array of fields"};
        platform::VariantArray arr(0, std::int32_t(j.size()), 0, std::int32_t(j[0].size()));
        for (std::size_t f = 0; f < j.size(); ++f)
            for (std::size_t r = 0; r < j[0].size() && r < j[f].size(); ++r) {
                const json& x = j[f][r];
                platform::Variant& cell = arr.at(std::int32_t(f), std::int32_t(r));
                if (x.is_boolean()) cell = x.get<bool>();
                else if (x.is_number()) cell = x.get<double>();
                else if (x.is_string()) cell = x.get<std::string>();
            }
        platform::Variant v(std::move(arr));
        print_line({{"open_array", files_.Open_Array(v)}});
    }

    static platform::Variant variant_of(const json& x)
    {
        if (x.is_boolean()) return platform::Variant(x.get<bool>());
        if (x.is_number()) return platform::Variant(x.get<double>());
        if (x.is_string()) return platform::Variant(x.get<std::string>());
        if (x.is_array() && !x.empty() && x[0].is_array()) {
            platform::VariantArray arr(0, std::int32_t(x.size()), 0, std::int32_t(x[0].size()));
            for (std::size_t f = 0; f < x.size(); ++f)
                for (std::size_t r = 0; r < x[0].size() && r < x[f].size(); ++r)
                    arr.at(std::int32_t(f), std::int32_t(r)) = variant_of(x[f][r]);
            return platform::Variant(std::move(arr));
        }
        return platform::Variant();
    }

    // An argument as JSON: a 2-D array as its rows (first index outer, the
    // form arcmap-answer takes), a keyed collection as its entries.
    static json json_of(const platform::Variant& v)
    {
        if (v.IsObject()) {
            const auto* c = dynamic_cast<const platform::CollectionObject*>(v.ToObject().get());
            if (!c) return "(object)";
            json entries = json::array();
            for (long i = 1; i <= c->items().Count(); ++i)
                entries.push_back({{"key", c->items().KeyOf(i)}, {"item", json_of(c->items().Item(i))}});
            return {{"collection", entries}};
        }
        if (v.Type() == platform::VarType::Array) {
            const platform::VariantArray& a = v.ToArray();
            json out = json::array();
            if (a.Dimensions() == 2) {
                for (std::int32_t i = a.LBound(1); i <= a.UBound(1); ++i) {
                    json row = json::array();
                    for (std::int32_t j = a.LBound(2); j <= a.UBound(2); ++j) row.push_back(json_of(a.at(i, j)));
                    out.push_back(std::move(row));
                }
            } else {
                for (const auto& item : a.items()) out.push_back(json_of(item));
            }
            return out;
        }
        if (v.Type() == platform::VarType::ByteArray) return *v.BytesPtr();
        if (v.IsEmpty()) return nullptr;
        if (v.Type() == platform::VarType::Boolean) return v.ToBool();
        if (v.Type() == platform::VarType::String) return v.ToString();
        if (v.Type() == platform::VarType::Long || v.Type() == platform::VarType::Integer) return v.ToInt32();
        return v.ToDouble();
    }

    void gis_word(const std::string& word, const std::vector<std::string>& a)
    {
        namespace ao = platform::arcobjects;
        if (word == "announce") {
            std::int32_t h = platform::windows::Announce(a[0], a[1], a.size() > 2 ? std::stoi(a[2]) : 0);
            announced_.push_back(h);
            return print_line({{"announced", h}});
        }
        if (!fakes_) {
            fakes_ = std::make_shared<ao::FakeArcMaps>();
            fakes_->on_app_call = [](const ao::FakeCall& call) {
                json args = json::array();
                for (const auto& v : call.args) args.push_back(json_of(v));
                print_line({{"arcmap_app", {{"call", call.member}, {"args", args}}}});
            };
            fakes_->on_object_call = [](const ao::FakeCall& call) {
                json args = json::array();
                for (const auto& v : call.args) args.push_back(json_of(v));
                print_line({{"arcmap", {{"member", call.member}, {"args", args}}}});
            };
            // The fakes first, the served hosts beside them.
            ao::Install_Source([f = fakes_, &pump = main_.pump()] { return ao::Running_Table(&pump, f); });
        }
        if (word == "arcmap-answer") {
            json j = json::parse(a[1], nullptr, false);
            if (j.is_discarded()) throw ProbeError{"\"arcmap-answer\" needs JSON"};
            return fakes_->answers[vb::LCase(a[0])].push_back(variant_of(j));
        }
        const std::int32_t h = a.size() > 1 ? std::stoi(a[1]) : 65000;
        if (a[0] == "gone") {
            fakes_->remove(h);
            platform::windows::Withdraw(h);
            return;
        }
        ao::FakeArcMaps::Entry e;
        e.hwnd = h;
        e.bar_visible = a[0] != "hidden";
        e.creatable = a[0] != "missing";
        fakes_->add(e);
        platform::windows::Announce("Afx:00400000:b:10011", "Untitled - ArcMap", h);
        announced_.push_back(h);
    }

public:
    ~Probe()
    {
        for (auto h : announced_) platform::windows::Withdraw(h);
        platform::arcobjects::Install_Source(nullptr);
    }

private:
    // The process's file-size limit; SIGXFSZ ignored, so a write past it
    // fails as one to a full disk does instead of ending the probe.
    static void file_limit(long long bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = rlim_t(bytes);
        if (limit.rlim_max != RLIM_INFINITY && limit.rlim_cur > limit.rlim_max) limit.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) throw ProbeError{"cannot set the file-size limit"};
        print_line({{"file_limit", bytes}});
    }

    // "Output Shape" and "Feature Type" answered with an option caption or
    // "Cancel" (the close box); unanswered they confirm the option shown.
    template <class Form>
    void answer_options(const std::string& caption, Form& f, std::vector<std::pair<std::string, bool*>> options)
    {
        bool queued = !dialogs_.answers.empty();
        std::string word;
        for (auto& [name, on] : options)
            if (*on && word.empty()) word = name;
        if (queued) word = dialogs_.answers.front(), dialogs_.answers.pop_front();
        print_line({{"dialog", caption}, {"answer", word}, {"queued", queued}});
        if (vb::LCase(word) == "cancel") return f.close();
        bool known = false;
        for (auto& [name, on] : options) known |= vb::LCase(name) == vb::LCase(word);
        if (!known && !dialogs_.misfit) dialogs_.misfit = "answer \"" + word + "\" fits no option of \"" + caption + "\"";
        for (auto& [name, on] : options) *on = known ? vb::LCase(name) == vb::LCase(word) : *on;
        f.cmdOK_Click();
    }

    void menu(const std::string& name, int index)
    {
        if (name.rfind("frmProperties.", 0) == 0) return dialog("menu", {name});
        if (form_word("menu", {name}, index)) return;
        static const std::set<std::string> controls{"cmdAdvanced", "cmdAddRec", "cmdDeleteSel", "cmdClearSel",
                                                    "cmdCopy",     "cmdPaste",  "cmdConvert",   "optWpt",
                                                    "optTrk",      "optRte",    "optRTWpt"};
        if (!main_.menus().find(name, index) && !(index < 0 && controls.count(name)))
            throw ProbeError{"no menu item, button or option \"" + name +
                             (index >= 0 ? "(" + std::to_string(index) + ")" : std::string()) + "\""};
        main_.menu_Click(name, index);
    }

    void type(const std::string& t)
    {
        if (t == "waypoint")
            main_.optWpt_Click();
        else if (t == "track")
            main_.optTrk_Click();
        else if (t == "route")
            main_.optRte_Click();
        else
            main_.optRTWpt_Click();
    }

    void row(const std::vector<std::string>& pairs)
    {
        // The fields are looked up in the table of the current type (laid
        // out first when the table is still empty).
        flxgrd::Table& t = main_.table();
        if (main_.MSFlexGrid1.Cols() < 2 || main_.MSFlexGrid1.TextMatrix(0, 1).empty())
            t.Table_SetType(main_.state().record_type);
        static const char kSep[] = "\x1f";
        std::string values, columns;
        for (const std::string& p : pairs) {
            std::size_t eq = p.find('=');
            std::string field = p.substr(0, eq);
            int col = t.Column_Find(field, true);
            if (col < 0) throw ProbeError{"no field \"" + field + "\" in the " + main_.state().record_type + " table"};
            if (!columns.empty()) values += kSep, columns += ';';
            values += p.substr(eq + 1);
            columns += std::to_string(col);
        }
        t.Records_Insert(values, columns, "", kSep, false);
    }

    void table()
    {
        const platform::Grid& g = main_.MSFlexGrid1;
        flxgrd::Table& t = main_.table();
        std::vector<std::string> fields, aliases;
        for (int c = 1; c < g.Cols(); ++c) {
            const std::string& alias = g.TextMatrix(0, c);
            std::string name = t.Field_GetName(alias, main_.state().record_type);
            fields.push_back(name.empty() ? alias : name);
            aliases.push_back(alias);
        }
        print_line({{"fields", fields}, {"aliases", aliases}});
        for (int r = 1; r < g.Rows(); ++r) {
            if (g.TextMatrix(r, 0).empty()) continue; // the empty table's blank row
            json row = {{"row", r}};
            for (int c = 1; c < g.Cols(); ++c) row[fields[c - 1]] = g.TextMatrix(r, c);
            print_line(row);
        }
    }

    // --- the records table's words ----------------------------------------
    void table_word(const Command& c)
    {
        const auto& a = c.args;
        platform::Grid& g = main_.MSFlexGrid1;
        auto num = [](const std::string& t) { return std::stoi(t); };
        if (c.word == "rows") {
            for (int k = 1; k <= num(a[0]); ++k) {
                std::vector<std::string> pairs(a.begin() + 1, a.end());
                for (auto& p : pairs) p = vb::Replace(p, "{n}", std::to_string(k));
                row(pairs);
            }
        } else if (c.word == "select" && a.size() == 2) {
            print_line(transfer::probe::select(main_, num(a[0]), num(a[1])));
        } else if (c.word == "select") {
            g.SetRow(num(a[0]));
            g.SetCol(num(a[1]));
            g.SetRowSel(num(a[2]));
            g.SetColSel(num(a[3]));
            main_.grid_Event("SelChange");
            const app::AppState& s = main_.state();
            print_line({{"select", {{"first", s.first_selected_row}, {"last", s.last_selected_row}, {"count", s.selection_count}}}});
        } else if (c.word == "click") {
            if (num(a[0]) >= g.Rows() || num(a[1]) >= g.Cols()) throw ProbeError{"no cell " + a[0] + " " + a[1]};
            g.set_mouse(num(a[0]), num(a[1]));
            main_.grid_Event("Click");
        } else if (c.word == "dblclick") {
            main_.grid_Event("DblClick");
        } else if (c.word == "clipboard") {
            main_.clipboard().SetText(clipboard_text(a[0]));
        } else if (c.word == "clipboard?") {
            print_line({{"clipboard", main_.clipboard().GetText()}});
        } else if (c.word == "grid?") {
            std::vector<int> widths, folded;
            for (int k = 0; k < g.Cols(); ++k) widths.push_back(g.ColWidth(k));
            for (int r = 0; r < g.Rows(); ++r)
                if (g.RowHeight(r) == 0) folded.push_back(r);
            const app::AppState& s = main_.state();
            print_line({{"rows", g.Rows()}, {"cols", g.Cols()}, {"row", g.Row()}, {"col", g.Col()}, {"rowsel", g.RowSel()},
                        {"colsel", g.ColSel()}, {"widths", widths}, {"folded", folded}, {"selected", main_.StatusBar1[2]},
                        {"selection", {s.first_selected_row, s.last_selected_row, s.selection_count}}});
        } else if (c.word == "picker") {
            flxgrd::frmWptSelect& p = main_.frmWptSelect();
            if (!p.loaded) p.Form_Load();
            p.optID = {a[1] == "other", a[1] == "d103"};
            p.optSort_Click(a[0] == "name" ? 1 : 0);
        } else if (c.word == "picker?") {
            const flxgrd::frmWptSelect& p = main_.frmWptSelect();
            std::vector<std::string> items;
            for (const auto& item : p.listView) items.push_back(item.text);
            print_line({{"picker", items}, {"selected", p.SelectedItem() ? p.SelectedItem()->text : ""}});
        }
    }

    // TEXT with its escapes undone, or the bytes of @FILE.
    static std::string clipboard_text(const std::string& arg)
    {
        if (arg.rfind('@', 0) == 0) {
            std::ifstream in(arg.substr(1), std::ios::binary);
            if (!in) throw ProbeError{"cannot read \"" + arg.substr(1) + "\""};
            return std::string(std::istreambuf_iterator<char>(in), {});
        }
        std::string out;
        for (std::size_t k = 0; k < arg.size(); ++k) {
            if (arg[k] != '\\' || k + 1 == arg.size()) {
                out += arg[k];
                continue;
            }
            char e = arg[++k];
            out += e == 't' ? '\t' : e == 'r' ? '\r' : e == 'n' ? '\n' : e;
        }
        return out;
    }

    // The layer chooser takes the next answer: an entry's text (then OK),
    // "Cancel" or "close"; unanswered it is cancelled.
    void answer_layers(links::frmLandviewLayerSelection& f)
    {
        const bool queued = !dialogs_.answers.empty();
        const std::string word = queued ? dialogs_.answers.front() : std::string("Cancel");
        if (queued) dialogs_.answers.pop_front();
        print_line({{"dialog", f.Caption()}, {"items", f.items()}, {"answer", word}, {"queued", queued}});
        if (word == "close") return f.Close();
        if (word != "Cancel" && f.SetText("ActiveLayers", word) == app::Form::Done) {
            f.Click("cmdOK");
            return;
        }
        if (word != "Cancel" && !dialogs_.misfit) dialogs_.misfit = "answer \"" + word + "\" is no layer of the chooser";
        f.Click("cmdClose");
    }

    // The shown picker takes the next answer: an item's text, or Cancel.
    void answer_picker(flxgrd::frmWptSelect& p)
    {
        const bool queued = !dialogs_.answers.empty();
        const std::string word = queued ? dialogs_.answers.front() : std::string();
        if (queued) dialogs_.answers.pop_front();
        auto it = std::find_if(p.listView.begin(), p.listView.end(), [&](const auto& item) { return item.text == word; });
        if (!queued) {
            p.OKButton_Click();
        } else if (it != p.listView.end()) {
            p.selected = int(it - p.listView.begin());
            p.OKButton_Click();
        } else {
            if (word != "Cancel" && !dialogs_.misfit) dialogs_.misfit = "answer \"" + word + "\" is no item of the picker";
            p.CancelButton_Click();
        }
        print_line({{"box", p.Caption}, {"title", "frmWptSelect"}, {"answer", p.Tag}, {"queued", queued}});
    }

    std::shared_ptr<platform::arcobjects::FakeArcMaps> fakes_;
    std::vector<std::int32_t> announced_;
    ProbeDialogs& dialogs_;
    platform::RecordingCursor cursor_;
    PrintingLauncher launcher_; // outlives the window that holds it
    app::frmMain main_;
    files::TableFiles files_;
    std::string caption_;
    std::optional<std::string> fromdde_wanted_; // "until fromdde": the command code looked for
    bool fromdde_seen_ = false;
    std::optional<std::string> status_wanted_; // "until status": the beginning looked for
    bool status_seen_ = false;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication qapp(argc, argv);
    std::vector<std::string> words(argv + 1, argv + argc);

    std::string home;
    std::optional<std::string> port;
    bool arcgis = false;
    std::size_t i = 0;
    std::vector<Command> commands;
    try {
        for (; i < words.size() && words[i].rfind("--", 0) == 0; ++i) {
            if (words[i] == "--help") {
                std::cout << kUsage;
                return 0;
            }
            if (words[i] == "--arcgis") {
                arcgis = true;
                continue;
            }
            if ((words[i] == "--home" || words[i] == "--port") && i + 1 < words.size()) {
                (words[i] == "--home" ? home : port.emplace()) = words[i + 1];
                ++i;
                continue;
            }
            throw ProbeError{"unknown option \"" + words[i] + "\""};
        }
        long long n = 0;
        if (port && !parse_int(*port, n, 0, 20)) throw ProbeError{"bad port \"" + *port + "\""};
        commands = parse_commands({words.begin() + i, words.end()});
    } catch (const ProbeError& e) {
        std::cerr << "trekfold-probe: " << e.message << "\n" << kUsage;
        return 2;
    }

    bool temporary_home = home.empty();
    if (temporary_home) {
        std::string tmpl = std::filesystem::temp_directory_path().string() + "/trekfold-probe-XXXXXX";
        if (!::mkdtemp(tmpl.data())) {
            std::cerr << "trekfold-probe: cannot make a temporary folder\n";
            return 2;
        }
        home = tmpl;
    }
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    if (arcgis) Probe::arcgis(home);

    int status = 0;
    {
        const std::string settings_path = home + "/trekfold/trekfold.ini";
        platform::Settings settings(settings_path);
        // Every file the program completes, but the settings store itself.
        platform::observe_saves([&settings_path](const std::string& path) {
            if (path != settings_path) print_line({{"file", path}});
        });
        ProbeDialogs dialogs;
        platform::PortMap ports(&settings);
        Probe probe(settings, dialogs, ports, QCoreApplication::applicationDirPath().toStdString());
        try {
            if (port) settings.SaveSetting("port", "port", *port);
            probe.print_to(home);
            // Answers before the first other command are start-up's.
            std::size_t c = 0;
            for (; c < commands.size() && commands[c].word == "answer"; ++c) dialogs.answers.push_back(commands[c].args[0]);
            probe.start();
            for (; c < commands.size(); ++c) probe.run(commands[c]);
        } catch (const ProbeError& e) {
            std::cerr << "trekfold-probe: " << e.message << "\n";
            status = 2;
        } catch (const std::exception& e) {
            std::cerr << "trekfold-probe: " << e.what() << "\n";
            status = 2;
        }
        probe.stop();
        platform::observe_saves(nullptr);
        print_line({{"unused", std::vector<std::string>(dialogs.answers.begin(), dialogs.answers.end())}});
    }
    if (temporary_home) {
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }
    return status;
}
