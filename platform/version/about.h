// The About box's texts, shared by the program's About window and the ArcMap
// extension's copy of it: the title, the folder, the versions of the program
// and of the extension library found in that folder, and the credits. Also
// the help file lookup both offer beside their About command.
#pragma once

#include <string>

namespace platform {

// A file's version as "2.01.0036" (third part 0) or "9.01.0003.05"; empty
// when the file has no version note or does not exist.
std::string FileVersionNo(const std::string& file);

struct About_Texts {
    std::string caption, title, path, version, text, disclaimer;
};
// The texts for the programs installed in `folder`.
About_Texts About_For(const std::string& folder);

// The help file of `folder`: "Training.chm", else "Trekfold.chm", found
// without regard to case and given by its real path; "" when neither is
// there. Help_Missing_Text is the warning shown then.
std::string Find_Help_File(const std::string& folder);
std::string Help_Missing_Text(const std::string& folder);

} // namespace platform
