// The library's module state and procedures: the application reference the
// Open command keeps, the host's services, starting the main program, and
// the temporary projection file.
#pragma once

#include "platform/arcobjects/application.h"
#include "platform/automation/vb_error.h"

#include <string>

namespace platform {
class ClassRegistry;
class Dialogs;
class Launcher;
struct LibraryServices;
} // namespace platform

namespace trekfold_arcmap {

// The library's default title, that of its message boxes.
inline constexpr const char* kTitle = "Trekfold_ArcMap";

namespace basArcMapCode {

// The host's application; null until an Open command's OnCreate.
platform::arcobjects::MxApplicationRef& Application();

// The registry that loaded the library (its services), set by Register.
void Set_Registry(platform::ClassRegistry* registry);
// The host's message boxes and launcher; null when the host offers none.
platform::Dialogs* Dialogs();
platform::Launcher* Launcher();
const platform::LibraryServices* Services();

// The folder of the library file itself.
std::string Library_Folder();

// A message box with the library's default title and the chosen button;
// without a host nothing is shown and the default button is the answer.
int Box(const std::string& text, int style = 0, const std::string& title = kTitle);
// The per-user setting `key` of section "fields".
std::string Field_Setting(const std::string& key, const std::string& default_value);
// Lets pending window events run.
void DoEvents();
// The text the class's traps show: "Error #: n - description in where".
std::string Error_Text(const platform::VbError& e, const std::string& where,
                       const std::string& prefix = "Error #: ");

// Starts the main program beside the library, else the installed one;
// every failure ends in a message box.
void Trekfold_Open();
// The program Trekfold_Open starts for the library folder `folder`;
// throws VbError 1 when there is none.
std::string Trekfold_Path(const std::string& folder);

// Writes prjText and a line end to path (the TEMP folder's
// "TREKFOLD_PRJ.PRJ" when path is empty) and returns the path used.
std::string Write_PRJFile(const std::string& prjText, std::string path = {});

} // namespace basArcMapCode
} // namespace trekfold_arcmap
