// The mouse pointer: the hourglass shown while long work runs.
#pragma once

#include <vector>

namespace platform {

// Pointer values as the program sets them.
enum MousePointer : int { vbDefault = 0, vbHourglass = 11 };

class Cursor {
public:
    virtual ~Cursor() = default;
    virtual void set_pointer(int pointer) = 0;
    virtual int pointer() const = 0;
    void hourglass(bool on) { set_pointer(on ? vbHourglass : vbDefault); }
};

// A pointer that only remembers what it was set to (tests, quiet mode).
class RecordingCursor : public Cursor {
public:
    void set_pointer(int p) override { pointer_ = p; history.push_back(p); }
    int pointer() const override { return pointer_; }
    std::vector<int> history;

private:
    int pointer_ = vbDefault;
};

} // namespace platform
