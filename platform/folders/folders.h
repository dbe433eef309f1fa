// Drives and folders as the file-browsing windows see them: the drive list
// (a "drive" is a mounted volume's root folder), the drive a path lies on,
// a folder's files in the order an NTFS volume lists them, and a rename
// that never replaces another file.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The drive list: the folders of TREKFOLD_DRIVES (":"-separated) when the
// variable is set, else the root folders of the mounted volumes, pseudo
// file systems left out. `mounts` is the mount table to read.
std::vector<std::string> Drive_List(const std::string& mounts = "/proc/self/mounts");
// A folder without its trailing "/" ("/" itself stays).
std::string Trim_Folder(std::string folder);
// The drive-list folder `location` lies in (the longest that holds it), or "".
std::string Drive_Of(const std::string& location, const std::vector<std::string>& drives);

// True when `name` matches a file pattern of "*" (any run) and "?" (one
// character), without regard to case.
bool Pattern_Match(const std::string& name, const std::string& pattern);
// The regular files of `folder` matching `pattern`, hidden ones (a name
// starting with ".") left out, ordered as NTFS orders names: upper-cased,
// compared UTF-16 code unit by code unit. A folder that cannot be read
// raises its file error (76 "Path not found", 75 "Path/File access error").
std::vector<std::string> Folder_Files(const std::string& folder, const std::string& pattern);
// Renames `from` to `to` without ever replacing a file: a name another
// file holds raises 58 "File already exists" and both files stay; other
// failures raise their file error.
void Rename_NoReplace(const std::string& from, const std::string& to);

} // namespace platform
