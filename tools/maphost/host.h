// The map host's parts that the command-line run and the Qt view share:
// the application with its registry and services, and the automation
// values of the "call" word in JSON.
#pragma once

#include "platform/arcobjects/application.h"
#include "platform/arcobjects/document_json.h"
#include "platform/arcobjects/services.h"
#include "platform/automation/class_registry.h"
#include "tools/json-lines/json_lines.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace maphost {

using json = nlohmann::ordered_json;

// A word that cannot be carried out (exit status 2).
struct BadWord {
    std::string message;
};

// The objects a run has seen, numbered from 0 in order of appearance:
// those made by "create" and those a call returned.
class ObjectTable {
public:
    std::size_t Add(const platform::ObjectRef& o);
    const platform::ObjectRef& At(std::size_t n) const;
    const std::vector<platform::ObjectRef>& All() const { return objects_; }
    // The layer of that name for {"layer":NAME}; null when there is none.
    std::function<platform::ObjectRef(const std::string&)> layer_named;

private:
    std::vector<platform::ObjectRef> objects_;
};

// JSON to an argument: numbers Double, texts String, true/false Boolean,
// null Empty, an array a 1-D array from 0, {"2d":[[...]...]} a 2-D array
// indexed (first, second) from 0, {"envelope":[x1,y1,x2,y2]}, {"object":N}
// an earlier object, {"long":N} a Long, {"missing":true} a left-out
// argument, {"layer":NAME} the focus map's layer of that name. Throws
// BadWord for anything else.
platform::Variant To_Variant(const json& j, const ObjectTable& objects);
// A value printed: the forms above, objects as {"object":N,"kind":K} (a
// geometry with its "geometry"), Null as {"null":true}, a date as
// {"date":DAYS}, bytes as {"bytes":[...]}. New objects join the table.
json To_Json(const platform::Variant& v, ObjectTable& objects);

// The host's services to the libraries, answered from the queue of answer
// words and printed: {"dialog":TITLE,"filter":F,"start":PATH,"answer":A}
// for the browse dialog; a library's own window takes the next answer word.
// `await` runs before an answer is taken (an answer given later).
std::unique_ptr<platform::arcobjects::HostServices> Headless_Services(json_lines::ProbeDialogs& dialogs,
                                                                     std::function<void()> await = {});
// The same for a person: the browse dialog asks for the path.
std::unique_ptr<platform::arcobjects::HostServices> View_Services();

// The modal window of a library as a printed line.
json Window_Line(const platform::ModalWindow& w);

} // namespace maphost
