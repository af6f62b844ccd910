// Misuse of a cipher class reported as an error number with a description.
#pragma once

#include <stdexcept>
#include <string>

namespace kalmira::crypto {

class CipherError : public std::runtime_error {
public:
    CipherError(int number, const std::string &description) : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }
    std::string description() const { return what(); }

private:
    int number_;
};

} // namespace kalmira::crypto
