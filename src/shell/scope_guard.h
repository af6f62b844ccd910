// Runs an action when a scope ends, however it ends (return, exception).
#pragma once

#include <utility>

namespace kalmira {

template <class F>
class ScopeGuard {
public:
    explicit ScopeGuard(F f) : f_(std::move(f)) {}
    ~ScopeGuard() {
        if (armed_) f_();
    }
    ScopeGuard(const ScopeGuard &) = delete;
    ScopeGuard &operator=(const ScopeGuard &) = delete;
    // The action is no longer needed.
    void dismiss() { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};

template <class F>
ScopeGuard(F) -> ScopeGuard<F>;

} // namespace kalmira
