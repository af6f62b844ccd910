#include "codec_tools.h"

#include "fakes.h"

#include <cstdlib>

namespace kalmira::test {

int Shell(const std::string &command, Bytes *out) {
    TempDir dir;
    const std::string file = dir.file("out");
    const int status = std::system((command + " >'" + file + "' 2>/dev/null").c_str());
    if (out != nullptr) *out = ReadAll(file);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<carrier::ElementChange> RandomChanges(std::uint64_t elements, double fraction, std::int32_t unit,
                                                  const std::function<bool(std::uint64_t, std::int32_t)> &allowed,
                                                  std::uint32_t seed) {
    std::mt19937_64 gen(seed);
    std::bernoulli_distribution pick(fraction), up(0.5);
    std::vector<carrier::ElementChange> changes;
    for (std::uint64_t e = 0; e < elements; ++e) {
        if (!pick(gen)) continue;
        const std::int32_t delta = up(gen) ? unit : -unit;
        if (allowed(e, delta))
            changes.push_back({e, delta});
        else if (allowed(e, -delta))
            changes.push_back({e, -delta});
    }
    return changes;
}

} // namespace kalmira::test
