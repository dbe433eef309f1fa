// Per-user folders that our programs and their peers meet in (DDE sockets,
// announced windows): the folder the environment variable names, else
// $XDG_RUNTIME_DIR/trekfold-<leaf>, else trekfold-<uid>/<leaf> in the
// system's temporary folder. The folder is made when missing and kept to
// its owner alone (mode 0700).
#pragma once

#include <string>

struct sockaddr_un;

namespace platform {

// Sockets met in such folders: whether the peer on a connected local socket
// runs as our own user, and a socket address for a path (false when the path
// does not fit one).
bool Same_User(int fd);
bool Socket_Address(const std::string& path, sockaddr_un& addr);

// The folder's path, or "" when it cannot be made or is not ours alone.
std::string Private_User_Folder(const char* variable, const std::string& leaf);

// The TEMP folder: $TMPDIR (without a final "/"), else /tmp/trekfold-<uid>
// made with mode 0700 and refused unless it is a folder of our own; "" then.
std::string Temp_Folder();

} // namespace platform
