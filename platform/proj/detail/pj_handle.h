// Move-only owners of PROJ's context and objects, so that proj_destroy and
// proj_context_destroy always run. An object must be released before the
// context it was made in: declare the context first.
#pragma once

#include <proj.h>

#include <utility>

namespace platform::proj_detail {

template <typename T, void (*Release)(T*)>
class Owned {
public:
    Owned() = default;
    explicit Owned(T* p) noexcept : p_(p) {}
    Owned(Owned&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Owned& operator=(Owned&& o) noexcept
    {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    T* get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void reset() noexcept
    {
        if (p_) Release(std::exchange(p_, nullptr));
    }

private:
    T* p_ = nullptr;
};

inline void release_pj(PJ* p) { proj_destroy(p); }
inline void release_context(PJ_CONTEXT* c) { proj_context_destroy(c); }

using PjHandle = Owned<PJ, release_pj>;
using PjContextHandle = Owned<PJ_CONTEXT, release_context>;

} // namespace platform::proj_detail
