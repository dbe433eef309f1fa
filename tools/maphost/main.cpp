// maphost: the map host that plays ArcMap's part. It loads extension
// libraries through the class registry, holds a document, and either runs
// words given on the command line and prints what happens as JSON lines
// (as trekfold-probe does for the main window), or shows a thin Qt view
// until it is closed.
#include "tools/json-lines/json_lines.h"
#include "tools/maphost/host.h"
#include "tools/maphost/view.h"

#include "platform/arcobjects/document_json.h"
#include "platform/arcobjects/layers.h"
#include "platform/arcobjects/served.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/launcher/launcher.h"
#include "platform/settings/settings.h"
#include "platform/ui/qt_dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using json = maphost::json;
using json_lines::print_line;
using json_lines::print_status;
namespace ao = platform::arcobjects;

const char* const kUsage = R"USAGE(usage: maphost [--doc FILE] [--extension LIB]... [--headless] [--no-launch] [--serve] WORD...
       maphost --attach WORD...
       maphost --register LIB | --unregister LIB | --help

Plays ArcMap's part for the Trekfold extension: loads each LIB given with
--extension (its DllRegisterServer runs) and every library registered
before, opens the document FILE (else an empty one: one map "Layers"
without a coordinate system), runs the words in order and prints what
happens as JSON lines on standard output. Without words (and without
--headless) it shows its window (toolbars, status bar, the focus map's
graphics drawn in its extent) until it is closed.

  --register LIB     run LIB's DllRegisterServer and keep its classes and
                     categories in the registration file beside the settings
                     ($XDG_CONFIG_HOME/trekfold/registrations.ini), so later
                     runs find them without --extension
  --unregister LIB   run LIB's DllUnregisterServer and drop its classes
  --no-launch        programs the libraries start are printed, not started
  --serve            serve the application to other programs while the host
                     runs: its window is announced (class "Afx:00400000:b:"
                     and digits, title "Untitled - ArcMap") and a socket
                     named by the window handle listens in the per-user
                     folder $TREKFOLD_APPS_DIR, else $XDG_RUNTIME_DIR/
                     trekfold-apps, else trekfold-<uid>/apps in the system's
                     temporary folder; prints {"serving":HANDLE,"socket":PATH}.
                     Without words (and with --headless) it serves until it
                     is ended (SIGTERM, SIGINT); the window and the socket
                     are removed then. Started by the name "arcmap" (a
                     link), the host serves as with --serve
  --attach           run the words in the first served host (lowest handle)
                     through its socket, as another program would: create,
                     call, dump, wait and toolbar; the select words are
                     carried out by the host itself and print the host's
                     line. click, answer and serve do not attach: a click
                     and a box's answer are the host's own person's (its
                     view, or its own words), serving is the host's own

Words:
  toolbar CLSID      show the toolbar of that class (creating its items by
                     ProgID; each command's OnCreate gets the application);
                     prints {"toolbar":CLSID,"found":B,"name":N}
  click PROGID       click the command (a created item of a shown toolbar,
                     else one made now and given the application first);
                     prints {"click":PROGID}
  create PROGID      make an object with the application's object factory;
                     prints {"create":PROGID,"object":N}; later calls go to it
  call MEMBER ARG... call the member of the last created object; each ARG is
                     one JSON value, up to the first word that is not JSON:
                       number Double, "text" String, true/false Boolean,
                       null Empty, [..] a 1-D array from 0,
                       {"2d":[[..],..]} a 2-D array indexed (first, second),
                       {"envelope":[x1,y1,x2,y2]}, {"object":N} an earlier
                       object, {"long":N} a Long, {"missing":true} a left-out
                       argument, {"layer":NAME} the focus map's layer
  call MEMBER @FILE  the same with the arguments as one JSON array in FILE
  answer TEXT        queue the answer of the next box ("OK", "Yes", "No", ...;
                     "" Cancel), file dialog (the path), browse dialog (a
                     dataset's full path, "" Cancel) or library window
                     (frmDataFrameUnits: "Meters", "Feet", "Other N",
                     "Cancel", "Close")
  answer @FILE       an answer given later, as a person gives it: the box,
                     dialog or window that takes it waits (the host serves
                     on meanwhile) until FILE exists, and answers with
                     FILE's first line; prints {"waiting":FILE} first
  select-layer NAME...|none         select layers of the focus map in the
                     table of contents; prints {"select-layer":[NAME...]}
  select-features LAYER OID...|none select features of a feature layer;
                     prints {"select-features":LAYER,"oids":[OID...]}
  select-graphics all|none|INDEX... select elements of the focus map's
                     active graphics layer (indexes in z-order, 0 the top);
                     prints {"select-graphics":[INDEX...]}
  dump               print the whole state (below)
  wait MS            let events run for MS milliseconds
  serve [MS]         serve (as --serve does), then end after MS milliseconds,
                     or without MS when the host is ended

Output lines, one JSON object each:
  {"toolbar":CLSID,"found":B,"name":N}    a toolbar shown (or not found)
  {"click":PROGID}                        a command clicked
  {"create":PROGID,"object":N}            an object made, number N
  {"call":M,"result":V,"args":[A...]}     a call returned V; A the arguments
                                          after the call (by reference)
  {"error":{"number","source","description"}}  a word's call raised
  {"launch":[ARGS]}                       a program started (with
                                          --no-launch: only printed)
  {"window":NAME,"caption":C,"controls":{NAME:{"text","enabled","visible",
     "value"}}}                           a modal window, printed and closed
  {"redraw":{"whole":true}} or {"redraw":{"whole":false,"phase":P,
     "what":KIND,"area":[x1,y1,x2,y2]}}   a view asked to redraw
  {"status":TEXT}                         the status bar's message pane
  {"box":TEXT,"title":T,"style":N,"answer":BUTTON,"queued":B}  a message box
  {"box","title","input","answer","queued"}  an input box
  {"dialog":"open"|"save","filter","filterindex","answer","answerindex"}
  {"dialog":"Save To Existing Feature Class","filter":F,"start":PATH,"answer":A}
                                          the browse dialog ("" cancelled)
  {"dump":STATE}
  {"waiting":FILE}                        a box waits for an answer given later
  {"serving":HANDLE,"socket":PATH}        the host serves (--serve, serve)
  Values V and A use the argument forms above; an object result reads
  {"object":N,"kind":K} (a geometry also "geometry"), Null {"null":true},
  a date {"date":DAYS}, a byte array {"bytes":[...]}.

Document (--doc FILE, every key optional):
  {"title":"Untitled", "view":"data"|"layout", "refresh_flag":false,
   "rotation":0, "focus_map":0,
   "maps":[{"name":"Layers",
            "spatial_reference": 26915 | "EPSG:26915" | "<ESRI WKT>" |
                                 "file.prj" (beside FILE) | "unknown" | null,
            "extent":[x1,y1,x2,y2],
            "graphics":[ELEMENT...],                     basic graphics layer
            "layers":[{"name":N,"graphics":[ELEMENT...]}], its sub-layers
            "active_graphics_layer":N,
            "contents":[LAYER...]}],              data layers, the top first
   "selected_layers":[NAME...]}                  the contents selection
  LAYER: {"type":"feature","name","data":".../roads.shp" | ".../f.gdb/Tracks"
          (beside FILE when relative),"hotlink_field","hotlink_type",
          "selected":[OID...]} | {"type":"group","name","layers":[LAYER...]}
          | {"type":"raster","name","source"}
  ELEMENT: {"type":"marker"|"line"|"polygon"|"rectangle","geometry":G,
            marker: "symbol":{"clsid","style","color":[r,g,b],"transparency",
                              "size","angle"}
            line: "color":[r,g,b],"transparency","width"
            polygon, rectangle: "fill":{"color","transparency"},
                                "outline":{"color","transparency","width"}}
  G: {"point":[x,y]} | {"multipoint":[[x,y]...]} | {"polyline":[[[x,y]...]...]}
     | {"polygon":[[[x,y]...]...]} | {"envelope":[x1,y1,x2,y2]}
     (dumped also {"circle":{"center":[x,y],"radius":R}}: a full circle)

Dump ({"dump":STATE}):
  {"application":{"hwnd","caption","status":[PANE...],"mouse_pointer","rotation"},
   "document":{"title","view","refresh_flag","focus_map","maps":[MAP...],
               "selected_layers":[NAME...],"selected_layer":NAME|null (unless
               exactly one layer is selected)},
   "toolbars":[{"clsid","name","caption","visible","dock","items":[ITEM...]}],
   "objects":[{"object":N,"kind":K}...]}   (a clsArcMap object also
                                          "window_handle": its Get_WindowHandle)
  MAP: {"name","spatial_reference":null|{"name","kind":"geographic"|"projected"|
        "unknown","code","unit":null|{"name","meters"}},"extent","graphics":LAYER,
        "layers":[GLAYER...],"active_graphics_layer","redraws":COUNT,
        "contents":[DLAYER...]}
  GLAYER: {"name","elements":[ELEMENT...],"selected":[INDEX...]}
  DLAYER: {"type":"feature","name","data","class":{"name","shape_type"
          (1 point, 2 multipoint, 3 polyline, 4 polygon),"feature_dataset",
          "count","fields":[{"name","type" (ArcObjects' field type code),
          "stored" (the name the data holds, when it differs),"length",
          "precision","scale"}],"indexes":[{"name","fields"}]},
          "hotlink_field","hotlink_type","selected":[OID...]}
          | {"type":"group","name","layers":[DLAYER...]}
          | {"type":"raster","name","source"}
  ITEM: {"progid","group","error"(when it could not be made),
         "command":{"enabled","checked","name","caption","tooltip","message",
                    "help_file","help_context_id","bitmap","category"},
         "menu":{"name","caption"},"items":[ITEM...]}

Exit status: 0; 1 when a library, the document or the registration file
fails (the reason on standard error); 2 for a bad word or option, or an
answer that fits no button of its box.
)USAGE";

struct Word {
    std::string word;
    std::vector<std::string> args;
    std::vector<json> values; // a call's arguments, parsed
    std::string file;         // call MEMBER @FILE
};

std::optional<json> as_json(const std::string& text)
{
    json j = json::parse(text, nullptr, false);
    if (j.is_discarded()) return std::nullopt;
    return j;
}

std::vector<Word> parse_words(const std::vector<std::string>& words)
{
    static const std::set<std::string> one{"toolbar", "click", "create", "answer", "wait"};
    std::vector<Word> out;
    for (std::size_t i = 0; i < words.size();) {
        Word w{words[i++], {}, {}, {}};
        if (one.count(w.word)) {
            if (i >= words.size()) throw maphost::BadWord{"\"" + w.word + "\" needs an argument"};
            w.args.push_back(words[i++]);
            if (w.word == "wait") {
                char* end = nullptr;
                const long ms = std::strtol(w.args[0].c_str(), &end, 10);
                if (*end || ms < 0 || ms > 3600000) throw maphost::BadWord{"wait needs milliseconds"};
            }
        } else if (w.word == "call") {
            if (i >= words.size()) throw maphost::BadWord{"\"call\" needs a member"};
            w.args.push_back(words[i++]);
            if (i < words.size() && words[i].size() > 1 && words[i][0] == '@') {
                w.file = words[i++].substr(1);
            } else {
                while (i < words.size()) {
                    auto j = as_json(words[i]);
                    if (!j) break;
                    w.values.push_back(*j);
                    ++i;
                }
            }
        } else if (w.word == "select-layer" || w.word == "select-features" || w.word == "select-graphics") {
            static const std::set<std::string> words_known{"toolbar", "click", "create", "answer", "wait", "call",
                                                           "dump", "select-layer", "select-features",
                                                           "select-graphics", "serve"};
            while (i < words.size() && !words_known.count(words[i])) w.args.push_back(words[i++]);
            if (w.args.size() < (w.word == "select-features" ? 2u : 1u))
                throw maphost::BadWord{"\"" + w.word + "\" needs " +
                                       (w.word == "select-features" ? "a layer and object ids or none" : "its choice")};
        } else if (w.word == "serve") {
            if (i < words.size() && !words[i].empty() &&
                words[i].find_first_not_of("0123456789") == std::string::npos) {
                if (words[i].size() > 7) throw maphost::BadWord{"serve takes at most 3600000 milliseconds"};
                w.args.push_back(words[i++]);
            }
        } else if (w.word != "dump") {
            throw maphost::BadWord{"unknown word \"" + w.word + "\""};
        }
        out.push_back(std::move(w));
    }
    return out;
}

// The words that change the host's selections.
bool selection_word(const std::string& w)
{
    return w == "select-layer" || w == "select-features" || w == "select-graphics";
}

json error_line(const platform::VbError& e)
{
    return {{"error", {{"number", e.number}, {"source", e.source}, {"description", e.description}}}};
}

// An object as the dump lists it: its number and kind, the extension's class
// object also the window handle it was given.
json object_line(std::size_t n, const platform::ObjectRef& o)
{
    auto obj = std::dynamic_pointer_cast<ao::Object>(o);
    json line = {{"object", n}, {"kind", obj ? json(obj->Kind()) : json("automation")}};
    if (obj && obj->Kind() == "clsArcMap") {
        try {
            line["window_handle"] = platform::CallByName(*o, "Get_WindowHandle").ToInt32();
        } catch (const platform::VbError&) {
        }
    }
    return line;
}

// The command item of that ProgID among the shown toolbars' items.
std::shared_ptr<ao::ICommand> find_command(ao::MxApplication& app, const std::string& progid)
{
    std::function<std::shared_ptr<ao::ICommand>(const std::vector<ao::CommandItem>&)> walk =
        [&](const std::vector<ao::CommandItem>& items) -> std::shared_ptr<ao::ICommand> {
        for (const auto& item : items) {
            if (item.command && platform::NameEquals(item.progid, progid)) return item.command;
            if (auto c = walk(item.items)) return c;
        }
        return nullptr;
    };
    for (const auto& bar : app.Document()->CommandBars().Bars())
        if (bar->IsVisible())
            if (auto c = walk(bar->Items())) return c;
    return nullptr;
}

// Set by SIGTERM and SIGINT: a serving host ends.
int stop_pipe[2] = {-1, -1};
bool stopped = false;

void on_stop_signal(int)
{
    const char c = 1;
    [[maybe_unused]] auto n = ::write(stop_pipe[1], &c, 1);
}

void watch_stop_signals()
{
    if (::pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* n = new QSocketNotifier(stop_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(n, &QSocketNotifier::activated, n, [] {
        char c;
        while (::read(stop_pipe[0], &c, 1) > 0) {
        }
        stopped = true;
        if (QCoreApplication::instance()) QCoreApplication::instance()->quit();
    });
    std::signal(SIGTERM, on_stop_signal);
    std::signal(SIGINT, on_stop_signal);
}

// An answer "@FILE" is one a person gives later: the box (or dialog, or
// window) that takes it waits, the host's events running so it serves on,
// until FILE exists, and takes FILE's first line as its answer. Prints
// {"waiting":FILE} as it starts to wait.
void await_answer(std::deque<std::string>& answers, platform::EventPump& pump)
{
    if (answers.empty() || answers.front().size() < 2 || answers.front()[0] != '@') return;
    const std::string file = answers.front().substr(1);
    print_line({{"waiting", file}});
    std::error_code ec;
    // Nothing signals a file's arrival: looked at every 50 ms.
    while (!stopped && !std::filesystem::exists(file, ec))
        pump.wait_until([] { return stopped; }, pump.clock().now_us() + 50'000);
    std::string line;
    std::ifstream in(file);
    std::getline(in, line);
    answers.front() = line;
}

// The headless host's boxes and file dialogs: answered as trekfold-probe
// answers them, an answer given later waited for first.
class HostDialogs : public json_lines::ProbeDialogs {
public:
    explicit HostDialogs(platform::EventPump& pump) : pump_(pump) {}
    void await() { await_answer(answers, pump_); }

protected:
    int show_msgbox(const std::string& prompt, int style, const std::string& title) override
    {
        await();
        return ProbeDialogs::show_msgbox(prompt, style, title);
    }
    bool show_inputbox(const std::string& prompt, const std::string& title, const std::string& default_text,
                       std::string& answer) override
    {
        await();
        return ProbeDialogs::show_inputbox(prompt, title, default_text, answer);
    }
    bool show_open(platform::OpenFileRequest& request, std::string& path) override
    {
        await();
        return ProbeDialogs::show_open(request, path);
    }
    bool show_save(platform::OpenFileRequest& request, std::string& path) override
    {
        await();
        return ProbeDialogs::show_save(request, path);
    }

private:
    platform::EventPump& pump_;
};

class Run {
public:
    Run(ao::MxApplication* app, json_lines::ProbeDialogs& dialogs, platform::EventPump& pump)
        : app_(app), dialogs_(dialogs), pump_(pump)
    {
        objects_.layer_named = [this](const std::string& name) -> platform::ObjectRef {
            if (!app_) return nullptr;
            const auto& map = app_->Document()->FocusMap;
            return map ? ao::Find_Layer(*map, name) : nullptr;
        };
    }
    // Words go to a served host's application instead (--attach).
    void attach(platform::ObjectRef root) { root_ = std::move(root); }
    // What "serve" starts when the host does not serve yet.
    std::function<void()> start_serving;

    void word(const Word& w)
    {
        if (root_ && w.word != "create" && w.word != "call" && w.word != "dump" && w.word != "wait" &&
            w.word != "toolbar" && !selection_word(w.word))
            throw maphost::BadWord{"\"" + w.word + "\" is not available with --attach"};
        if (w.word == "serve") return serve(w);
        if (w.word == "toolbar") return toolbar(w.args[0]);
        if (w.word == "click") return click(w.args[0]);
        if (w.word == "create") return create(w.args[0]);
        if (w.word == "call") return call(w);
        if (w.word == "answer") return dialogs_.answers.push_back(w.args[0]);
        if (w.word == "dump") return dump();
        if (selection_word(w.word)) return print_line(root_ ? remote_selection(w) : selection(w));
        if (w.word == "wait") {
            const std::int64_t until = pump_.clock().now_us() + std::stoll(w.args[0]) * 1000;
            pump_.wait_until([] { return false; }, until);
        }
    }

    // A select word carried out here; its line.
    json selection(const Word& w)
    {
        if (w.word == "select-layer") return select_layer(w.args);
        if (w.word == "select-features") return select_features(w.args);
        return select_graphics(w.args);
    }

private:
    // A select word sent to the served host, which carries it out.
    json remote_selection(const Word& w)
    {
        platform::VariantArray words(0, static_cast<std::int32_t>(w.args.size() + 1));
        words.at(0) = platform::Variant(w.word);
        for (std::size_t i = 0; i < w.args.size(); ++i)
            words.at(static_cast<std::int32_t>(i + 1)) = platform::Variant(w.args[i]);
        try {
            const platform::Variant line_text =
                platform::CallByName(*root_, "Word", {platform::Variant(std::move(words))});
            json line = json::parse(line_text.ToString(), nullptr, false);
            if (line.is_discarded()) throw maphost::BadWord{"the host answered no line"};
            return line;
        } catch (const platform::VbError& e) {
            throw maphost::BadWord{e.description};
        }
    }

    void serve(const Word& w)
    {
        if (start_serving) start_serving();
        const std::int64_t until =
            w.args.empty() ? INT64_MAX : pump_.clock().now_us() + std::stoll(w.args[0]) * 1000;
        while (!stopped && pump_.clock().now_us() < until)
            pump_.wait_until([] { return stopped; }, std::min(until, pump_.clock().now_us() + 1'000'000));
    }

    void toolbar(const std::string& clsid)
    {
        if (root_) return remote_toolbar(clsid);
        auto bar = app_->Document()->CommandBars().Find(clsid);
        if (!bar) return print_line({{"toolbar", clsid}, {"found", false}});
        bar->Show();
        print_line({{"toolbar", clsid}, {"found", true}, {"name", bar->Name()}});
    }

    // The served host shows its toolbar, as the toolbar word does there.
    void remote_toolbar(const std::string& clsid)
    {
        try {
            platform::ObjectRef bar = platform::CallByName(*root_, "FindBar", {platform::Variant(clsid)}).ToObject();
            if (!bar) return print_line({{"toolbar", clsid}, {"found", false}});
            platform::CallByName(*bar, "Show");
            print_line({{"toolbar", clsid}, {"found", true}, {"name", platform::CallByName(*bar, "Name").ToString()}});
        } catch (const platform::VbError& e) {
            print_line(error_line(e));
        }
    }

    void click(const std::string& progid)
    {
        print_line({{"click", progid}});
        try {
            auto command = find_command(*app_, progid);
            if (!command) {
                platform::ObjectRef o = app_->Create(progid);
                command = ao::As<ao::ICommand>(o);
                if (!command) throw maphost::BadWord{"\"" + progid + "\" is no command"};
                command->OnCreate(app_->shared_from_this());
            }
            command->OnClick();
        } catch (const platform::VbError& e) {
            print_line(error_line(e));
        }
    }

    void create(const std::string& progid)
    {
        try {
            current_ = root_ ? platform::CallByName(*root_, "Create", {platform::Variant(progid)}).ToObject()
                             : app_->Create(progid);
            print_line({{"create", progid}, {"object", objects_.Add(current_)}});
        } catch (const platform::VbError& e) {
            print_line(error_line(e));
        }
    }

    void call(const Word& w)
    {
        if (!current_) throw maphost::BadWord{"\"call\" needs an object made by \"create\" first"};
        std::vector<json> values = w.values;
        if (!w.file.empty()) {
            std::ifstream in(w.file, std::ios::binary);
            std::ostringstream s;
            s << in.rdbuf();
            auto j = in ? as_json(s.str()) : std::nullopt;
            if (!j || !j->is_array()) throw maphost::BadWord{"\"" + w.file + "\" holds no JSON array of arguments"};
            values.assign(j->begin(), j->end());
        }
        std::vector<platform::Variant> args;
        args.reserve(values.size());
        for (const json& v : values) args.push_back(maphost::To_Variant(v, objects_));
        try {
            const platform::DispId id = platform::IdOfName(*current_, w.args[0]);
            platform::Variant result = current_->Invoke(id, platform::InvokeKind::Method, args);
            json after = json::array();
            for (const auto& a : args) after.push_back(maphost::To_Json(a, objects_));
            print_line({{"call", w.args[0]}, {"result", maphost::To_Json(result, objects_)}, {"args", after}});
        } catch (const platform::VbError& e) {
            print_line(error_line(e));
        }
    }

    ao::Map& focus_map()
    {
        if (!app_) throw maphost::BadWord{"selections are made in the host's own process, not attached"};
        if (!app_->Document()->FocusMap) throw maphost::BadWord{"the document has no map"};
        return *app_->Document()->FocusMap;
    }

    json select_layer(const std::vector<std::string>& names)
    {
        std::vector<ao::LayerRef> chosen;
        json printed = json::array();
        if (!(names.size() == 1 && names[0] == "none"))
            for (const auto& n : names) {
                auto l = ao::Find_Layer(focus_map(), n);
                if (!l) throw maphost::BadWord{"no layer \"" + n + "\""};
                chosen.push_back(l);
                printed.push_back(n);
            }
        focus_map(); // a local host with a map
        app_->Document()->ContentsSelection = std::move(chosen);
        return {{"select-layer", printed}};
    }

    json select_features(const std::vector<std::string>& args)
    {
        auto layer = ao::As<ao::FeatureLayer>(platform::ObjectRef(ao::Find_Layer(focus_map(), args[0])));
        if (!layer) throw maphost::BadWord{"no feature layer \"" + args[0] + "\""};
        std::vector<std::int64_t> oids;
        if (!(args.size() == 2 && args[1] == "none"))
            for (std::size_t i = 1; i < args.size(); ++i) {
                char* end = nullptr;
                const long long id = std::strtoll(args[i].c_str(), &end, 10);
                if (args[i].empty() || *end || id < 0) throw maphost::BadWord{"\"" + args[i] + "\" is no object id"};
                oids.push_back(id);
            }
        layer->SelectedOIDs = oids;
        return {{"select-features", args[0]}, {"oids", oids}};
    }

    json select_graphics(const std::vector<std::string>& args)
    {
        const auto& layer = focus_map().ActiveGraphicsLayer;
        if (!layer) throw maphost::BadWord{"the focus map has no active graphics layer"};
        const auto& elements = layer->Elements();
        std::vector<std::size_t> chosen;
        if (args.size() == 1 && args[0] == "all") {
            for (std::size_t i = 0; i < elements.size(); ++i) chosen.push_back(i);
        } else if (!(args.size() == 1 && args[0] == "none")) {
            for (const auto& a : args) {
                char* end = nullptr;
                const long n = std::strtol(a.c_str(), &end, 10);
                if (a.empty() || *end || n < 0 || static_cast<std::size_t>(n) >= elements.size())
                    throw maphost::BadWord{"\"" + a + "\" is no graphic's index"};
                chosen.push_back(static_cast<std::size_t>(n));
            }
        }
        layer->UnselectAllElements();
        for (std::size_t i : chosen) layer->SelectElement(elements[i]);
        return {{"select-graphics", chosen}};
    }

    void dump()
    {
        if (root_) {
            try {
                json state = json::parse(platform::CallByName(*root_, "Dump").ToString(), nullptr, false);
                print_line({{"dump", state}});
            } catch (const platform::VbError& e) {
                print_line(error_line(e));
            }
            return;
        }
        json state = ao::Dump(*app_);
        json objects = json::array();
        for (std::size_t i = 0; i < objects_.All().size(); ++i) objects.push_back(object_line(i, objects_.All()[i]));
        state["objects"] = objects;
        print_line({{"dump", state}});
    }

    ao::MxApplication* app_;
    json_lines::ProbeDialogs& dialogs_;
    platform::EventPump& pump_;
    maphost::ObjectTable objects_;
    platform::ObjectRef current_;
    platform::ObjectRef root_;
};

// The objects the served host's factory made for other programs, numbered
// in turn; each goes when the program lets it go or its connection ends.
struct MadeObjects {
    std::size_t count = 0;
    std::vector<std::pair<std::size_t, std::weak_ptr<platform::Dispatch>>> held;
    void add(const platform::ObjectRef& o)
    {
        forget_gone();
        held.emplace_back(count++, o);
    }
    void forget_gone()
    {
        std::erase_if(held, [](const auto& h) { return h.second.expired(); });
    }
};

// The state a served host's Dump() gives: the dump word's, with the objects
// its factory made for other programs that are still held.
json served_dump(ao::MxApplication& app, const MadeObjects& made)
{
    json state = ao::Dump(app);
    json objects = json::array();
    for (const auto& [n, weak] : made.held)
        if (auto o = weak.lock()) objects.push_back(object_line(n, o));
    state["objects"] = objects;
    return state;
}

void watch_views(ao::MxApplication& app)
{
    auto print = [](const ao::Redraw& r) { print_line({{"redraw", ao::Dump_Redraw(r)}}); };
    for (const auto& m : app.Document()->Maps) m->View()->on_redraw = print;
    app.Document()->PageLayout->on_redraw = print;
    app.on_status = [](int pane, const std::string& text) {
        if (pane == 0) print_status(text);
    };
}

// Runs the words in order; a bad word (or an answer that fits no dialog)
// stops them with status 2.
int run_words(Run& run, const std::vector<Word>& words, const json_lines::ProbeDialogs& dialogs)
{
    try {
        for (const Word& w : words) {
            run.word(w);
            if (dialogs.misfit) throw maphost::BadWord{*dialogs.misfit};
        }
    } catch (const maphost::BadWord& b) {
        std::cout.flush();
        std::cerr << "maphost: " << b.message << "\n";
        return 2;
    }
    std::cout.flush();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> rest;
    std::vector<std::string> extensions;
    std::string doc, reg, unreg;
    bool headless = false, no_launch = false, serve = false, attach = false;
    // Started as ArcMap (the installation's bin/arcmap links here), the host
    // serves as a running ArcMap does.
    serve = std::filesystem::path(argv[0]).filename() == "arcmap";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* what) {
            if (i + 1 >= argc) {
                std::cerr << "maphost: " << a << " needs " << what << "\n";
                std::exit(2);
            }
            return std::string(argv[++i]);
        };
        if (!rest.empty()) rest.push_back(a);
        else if (a == "--help" || a == "-h") return std::cout << kUsage, 0;
        else if (a == "--doc") doc = value("a file");
        else if (a == "--extension") extensions.push_back(value("a library"));
        else if (a == "--register") reg = value("a library");
        else if (a == "--unregister") unreg = value("a library");
        else if (a == "--headless") headless = true;
        else if (a == "--no-launch") no_launch = true;
        else if (a == "--serve") serve = true;
        else if (a == "--attach") attach = true;
        else if (a.rfind("--", 0) == 0) {
            std::cerr << "maphost: unknown option " << a << "\n" << kUsage;
            return 2;
        } else
            rest.push_back(a);
    }
    std::vector<Word> words;
    try {
        words = parse_words(rest);
    } catch (const maphost::BadWord& b) {
        std::cerr << "maphost: " << b.message << "\n";
        return 2;
    }
    const bool view = words.empty() && !headless && reg.empty() && unreg.empty() && !attach;

    std::unique_ptr<QCoreApplication> qt;
    if (view) qt = std::make_unique<QApplication>(argc, argv);
    else qt = std::make_unique<QCoreApplication>(argc, argv);

    platform::Settings settings(platform::Settings::default_path());
    platform::System_Launcher system_launcher;
    json_lines::PrintingLauncher printing(no_launch ? nullptr : &system_launcher);
    platform::QtDialogs qt_dialogs;
    platform::EventPump& pump = platform::qt_event_pump();
    HostDialogs probe_dialogs(pump);
    watch_stop_signals();

    if (attach) {
        Run run(nullptr, probe_dialogs, pump);
        platform::ObjectRef root;
        for (std::int32_t h : ao::Served_Handles()) {
            try {
                root = ao::Attach_Host(h, &pump);
                break;
            } catch (const platform::VbError&) {
            }
        }
        if (!root) {
            std::cerr << "maphost: no served host answers\n";
            return 1;
        }
        run.attach(root);
        return run_words(run, words, probe_dialogs);
    }

    platform::ClassRegistry registry;
    registry.UseRegistrationFile(platform::ClassRegistry::DefaultRegistrationFile());
    platform::LibraryServices services;
    services.dialogs = view ? static_cast<platform::Dialogs*>(&qt_dialogs) : &probe_dialogs;
    services.launcher = view ? static_cast<platform::Launcher*>(&system_launcher) : &printing;
    services.settings = &settings;
    services.pump = &pump;
    services.show_modal = view ? maphost::Show_Window : [](const platform::ModalWindow& w) {
        print_line(maphost::Window_Line(w));
    };
    registry.SetServices(services);

    try {
        if (!reg.empty()) {
            registry.RegisterInFile(reg);
            return 0;
        }
        if (!unreg.empty()) {
            registry.UnregisterInFile(unreg);
            return 0;
        }
        for (const std::string& lib : extensions) registry.LoadLibrary(lib);
    } catch (const platform::VbError& e) {
        std::cerr << "maphost: " << e.description << "\n";
        return 1;
    }

    auto app = std::make_shared<ao::MxApplication>(registry);
    if (!doc.empty()) {
        try {
            ao::Load_Document(*app, doc);
        } catch (const platform::VbError& e) {
            std::cerr << "maphost: " << doc << ": " << e.description << "\n";
            return 1;
        }
    }
    app->Document()->CommandBars().Load();

    auto host_services = view ? maphost::View_Services() : maphost::Headless_Services(probe_dialogs, [&] { probe_dialogs.await(); });
    app->Services = host_services.get();
    std::unique_ptr<ao::ServedHost> served;
    MadeObjects made;
    std::function<void()> raise;
    std::function<std::string(const std::vector<std::string>&)> host_selection;
    bool serve_refused = false;
    auto start_serving = [&] {
        if (served || serve_refused) return;
        try {
            served = std::make_unique<ao::ServedHost>(*app, pump, [&] { return served_dump(*app, made).dump(); });
        } catch (const platform::VbError& e) {
            // No folder of ours to serve in (refused, with its reason, on
            // standard error already): the host goes on, unseen by others.
            std::cerr << "maphost: cannot serve: " << e.description << "\n";
            serve_refused = true;
            return;
        }
        served->on_create = [&](const std::string&, const platform::ObjectRef& o) { made.add(o); };
        served->on_closed = [&] { made.forget_gone(); };
        served->on_word = [&](const std::vector<std::string>& texts) {
            if (!host_selection) throw platform::VbError(438, "", "Object doesn't support this property or method");
            return host_selection(texts);
        };
        served->on_raise = [&] {
            if (raise) raise();
            else print_line({{"raised", served->Handle()}});
        };
        print_line({{"serving", served->Handle()}, {"socket", served->SocketPath()}});
        std::cout.flush();
    };
    if (serve) start_serving();

    if (view) return maphost::Run_View(*app, &raise);

    watch_views(*app);
    Run run(app.get(), probe_dialogs, pump);
    run.start_serving = start_serving;
    // Select words another program sends (maphost --attach) are carried
    // out here and printed as the host's own.
    host_selection = [&](const std::vector<std::string>& texts) {
        try {
            std::vector<Word> sent = parse_words(texts);
            if (sent.size() != 1 || !selection_word(sent[0].word))
                throw maphost::BadWord{"a served host takes one select word"};
            json line = run.selection(sent[0]);
            print_line(line);
            return line.dump();
        } catch (const maphost::BadWord& b) {
            throw platform::VbError(5, "maphost", b.message);
        }
    };
    if (serve && words.empty()) run.word(Word{"serve", {}, {}, {}});
    return run_words(run, words, probe_dialogs);
}
