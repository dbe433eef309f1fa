// Per-user folders that our programs and their peers meet in (DDE sockets,
// announced windows): the folder the environment variable names, else
// $XDG_RUNTIME_DIR/trekfold-<leaf>, else trekfold-<uid>/<leaf> in the
// system's temporary folder. The folder is made when missing and kept to
// its owner alone (mode 0700).
#pragma once

#include <string>

namespace platform {

// Local sockets met in such folders, each -1 when refused. Connect_Local:
// a socket connected to the server at `path` that runs as our own user; a
// server that does not take the connection within kConnectTimeoutMs (its
// listen queue full: starting up or stuck) counts as absent.
// Listen_Local: a non-blocking listening socket bound at `path`; a socket
// file nobody listens on (left from a program that died) is replaced, a
// live one refused. Accept_Local: the next non-blocking connection on a
// listening socket whose peer runs as our own user; errno tells why there
// is none, EMFILE or ENFILE when this process or the system is out of
// descriptors (the listener then stays readable: stop watching it until a
// connection closes or a little later, or it fires again at once).
constexpr int kConnectTimeoutMs = 500;
int Connect_Local(const std::string& path);
int Listen_Local(const std::string& path);
int Accept_Local(int listen_fd);

// The folder's path, or "" when it cannot be made or a folder from the
// per-user base down (the variable's folder, trekfold-<leaf> in the runtime
// folder, trekfold-<uid> in the temporary folder) is another user's, a link
// or not a folder; the reason, naming the folder, goes to stderr once.
std::string Private_User_Folder(const char* variable, const std::string& leaf);

// The TEMP folder: $TMPDIR (without a final "/"), else /tmp/trekfold-<uid>
// made with mode 0700 and taken only when it is a folder of our own; when
// it is not (another user made it first), $XDG_RUNTIME_DIR/trekfold-tmp;
// "" when neither will do, the reason on stderr.
std::string Temp_Folder();
// The same with the system's temporary folder in place of /tmp.
std::string Temp_Folder_In(const std::string& system_tmp);

} // namespace platform
