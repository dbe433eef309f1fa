// Starting another program with a normal, focused window: the program and
// its arguments as they are, never through a shell, so blanks and shell
// characters in a path stay part of it.
#pragma once

#include <string>
#include <vector>

namespace platform {

class Launcher {
public:
    virtual ~Launcher() = default;
    // argv[0] is the program (looked up in PATH when it has no "/"). False
    // when it could not be started.
    virtual bool Start(const std::vector<std::string>& argv) = 0;
};

// Starts the program detached: it outlives us and is never waited for.
class System_Launcher : public Launcher {
public:
    bool Start(const std::vector<std::string>& argv) override;
};

// Starts nothing; keeps what it was asked to start (tests, probes).
class Recording_Launcher : public Launcher {
public:
    std::vector<std::vector<std::string>> started;
    bool result = true;
    bool Start(const std::vector<std::string>& argv) override
    {
        started.push_back(argv);
        return result;
    }
};

// The desktop's opener for a document (xdg-open FILE).
std::vector<std::string> Open_Document_Command(const std::string& path);

} // namespace platform
