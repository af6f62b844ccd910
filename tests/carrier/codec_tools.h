// Helpers of the codec tests: test files, outside programs as independent
// decoders and checkers, and change lists.
#pragma once

#include "carrier/codec_common.h"

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace kalmira::test {

using Bytes = std::vector<std::uint8_t>;

inline std::string CarrierData(const std::string &name) { return std::string(KALMIRA_TEST_DATA) + "/carrier/" + name; }

// Runs a shell command; its standard output goes to `out` when given.
// Returns the exit status.
int Shell(const std::string &command, Bytes *out = nullptr);

// Every `step`-th element on average that `allowed` accepts, with +1 or -1
// times `unit` at random (the sign that is allowed).
std::vector<carrier::ElementChange> RandomChanges(std::uint64_t elements, double fraction, std::int32_t unit,
                                                  const std::function<bool(std::uint64_t, std::int32_t)> &allowed,
                                                  std::uint32_t seed = 5);

// A sink that fails after `limit` bytes.
class FailingSink : public carrier::ByteSink {
public:
    explicit FailingSink(std::size_t limit) : left_(limit) {}
    bool write(const std::uint8_t *, std::size_t n) override {
        if (n > left_) return false;
        left_ -= n;
        return true;
    }

private:
    std::size_t left_;
};

} // namespace kalmira::test
