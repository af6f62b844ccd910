#include "platform/secure_memory.h"

#include <cstring>

namespace kalmira::platform {

void SecureWipe(void *p, std::size_t n) noexcept {
    if (p && n) ::explicit_bzero(p, n);
}

void WipeString(std::string &s) noexcept {
    s.resize(s.capacity()); // within capacity: no reallocation, every byte addressable
    SecureWipe(s.data(), s.size());
    s.clear();
}

void SecureString::append(std::string_view text) {
    if (text.empty() && !buf_.empty()) return;
    if (buf_.empty()) buf_.push_back('\0');
    buf_.pop_back();
    buf_.insert(buf_.end(), text.begin(), text.end());
    buf_.push_back('\0');
}

void SecureString::resize(std::size_t n, char fill) {
    std::size_t old = size();
    if (n < old) SecureWipe(buf_.data() + n, old - n);
    if (buf_.empty()) buf_.push_back('\0');
    buf_.pop_back();
    buf_.resize(n, fill);
    buf_.push_back('\0');
}

void SecureString::clear() noexcept {
    SecureWipe(buf_.data(), buf_.size());
    if (!buf_.empty()) buf_.resize(1); // shrinking never throws
}

} // namespace kalmira::platform
