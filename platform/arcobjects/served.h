// Map hosts reached from other processes. A served host announces its main
// window (class "Afx:00400000:b:" and digits, its caption as title; the
// handle becomes the application's window handle) and serves its
// application as the root object of remote automation connections on a
// socket named by that handle in the per-user folder Apps_Folder().
//
// The root object's members, late-bound: IsArcMap(), hWnd(),
// FindBar(uid) (a bar object with IsVisible(), Dock(flags),
// Item0_Execute() (its commands made, none run), Show(), Name(), or
// Nothing), Create(progid), Dump() (the host's state
// as JSON text), Raise() (brings the host's view to the top), Word(words)
// (one of the host's own words, its words a 1-D array of texts, carried out
// by on_word; its printed line is the result).
//
// The running-application table of Running_Table() lists the served hosts
// that answer, by ascending handle, each entry's calls going over its own
// connection.
#pragma once

#include "platform/arcobjects/arcobjects.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class EventPump;
}

namespace platform::arcobjects {

class MxApplication;

// $TREKFOLD_APPS_DIR, else $XDG_RUNTIME_DIR/trekfold-apps, else
// trekfold-<uid>/apps in the system's temporary folder (made 0700); ""
// when it cannot be made or is not ours alone.
std::string Apps_Folder();

class ServedHost {
public:
    // Announces the window and listens; throws VbError 70 when the folder
    // or the socket cannot be had. `dump` gives the state Dump() returns.
    ServedHost(MxApplication& app, EventPump& pump, std::function<std::string()> dump);
    // Withdraws the window and removes the socket.
    ~ServedHost();
    ServedHost(const ServedHost&) = delete;
    ServedHost& operator=(const ServedHost&) = delete;

    std::int32_t Handle() const;
    const std::string& SocketPath() const;
    // Connections open now.
    std::size_t Connections() const;
    std::function<void()> on_raise;
    // Each object the factory made for another process; it is let go when
    // that process lets it go or its connection ends (on_closed follows).
    std::function<void(const std::string& progid, const ObjectRef& object)> on_create;
    std::function<void()> on_closed;
    // Carries out a word another process sent and gives its printed line;
    // throws VbError when the word cannot be carried out. Unset: Word()
    // raises 438.
    std::function<std::string(const std::vector<std::string>& words)> on_word;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The handles of the served hosts' sockets, ascending (live or not).
std::vector<std::int32_t> Served_Handles();
// The root object of the served host of that handle; 462 when it does not
// answer.
ObjectRef Attach_Host(std::int32_t handle, EventPump* pump);

// The served hosts now, after the entries of `fake` when one is given.
// Calls wait on `pump` (may be null: they block on their sockets).
std::shared_ptr<RunningApplications> Running_Table(EventPump* pump, std::shared_ptr<RunningApplications> fake = nullptr);

// Asks the served host of that window handle to raise its view; false when
// no served host has that handle.
bool Raise_Host(std::int32_t handle, EventPump* pump);

} // namespace platform::arcobjects
