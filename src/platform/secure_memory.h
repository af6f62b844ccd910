// Memory for secrets (passwords, padded passwords, key schedules): wiped with
// a store the compiler may not drop, on destruction and on every reallocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kalmira::platform {

// Overwrites n bytes at p with zeros; never optimised away.
void SecureWipe(void *p, std::size_t n) noexcept;

// Wipes the whole buffer of a std::string (its capacity, inline buffer
// included) and empties it. Copies the string made earlier are out of reach:
// keep secrets in SecureString from the start where possible.
void WipeString(std::string &s) noexcept;

template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U> &) noexcept {}
    T *allocate(std::size_t n) { return std::allocator<T>{}.allocate(n); }
    void deallocate(T *p, std::size_t n) noexcept {
        SecureWipe(p, n * sizeof(T));
        std::allocator<T>{}.deallocate(p, n);
    }
    template <class U>
    bool operator==(const WipingAllocator<U> &) const noexcept {
        return true;
    }
};

// A std::vector has no inline buffer, so every byte it ever held lives in
// memory that passes through the allocator's wipe.
using SecureBytes = std::vector<std::uint8_t, WipingAllocator<std::uint8_t>>;

// Owning text for secrets; always zero-terminated.
class SecureString {
public:
    SecureString() = default;
    explicit SecureString(std::string_view text) { append(text); }

    std::size_t size() const { return buf_.empty() ? 0 : buf_.size() - 1; }
    bool empty() const { return size() == 0; }
    const char *c_str() const { return buf_.empty() ? "" : buf_.data(); }
    char *data() { return buf_.empty() ? nullptr : buf_.data(); }
    std::string_view view() const { return {c_str(), size()}; }
    char &operator[](std::size_t i) { return buf_[i]; }
    char operator[](std::size_t i) const { return buf_[i]; }

    void append(std::string_view text);
    void push_back(char c) { append(std::string_view(&c, 1)); }
    void resize(std::size_t n, char fill = '\0');
    void clear() noexcept; // wipes at once, keeps the buffer

    bool operator==(const SecureString &o) const { return view() == o.view(); }
    bool operator==(std::string_view o) const { return view() == o; }

private:
    std::vector<char, WipingAllocator<char>> buf_; // text plus the terminating zero
};

} // namespace kalmira::platform
