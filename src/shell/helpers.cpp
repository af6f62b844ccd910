#include "shell/helpers.h"

namespace kalmira {

namespace {
std::string::size_type lastSeparator(const std::string &path) { return path.find_last_of("\\/"); }
} // namespace

std::string ExtensionOf(const std::string &name) {
    auto dot = name.rfind('.');
    return "." + (dot == std::string::npos ? name : name.substr(dot + 1));
}

std::string FolderOf(const std::string &path) {
    auto sep = lastSeparator(path);
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string FileNameOf(const std::string &path) {
    auto sep = lastSeparator(path);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string BaseNameOf(const std::string &path) {
    auto dot = path.rfind('.');
    if (dot == std::string::npos) return "";
    auto sep = lastSeparator(path);
    long start = sep == std::string::npos ? 0 : static_cast<long>(sep) + 1;
    long len = static_cast<long>(dot) - start;
    if (len < 0) return "";
    return path.substr(static_cast<size_t>(start), static_cast<size_t>(len));
}

SharedFlags &Flags() {
    static SharedFlags flags;
    return flags;
}

std::string FormatThousands(long long value) {
    if (value == 0) return "";
    bool neg = value < 0;
    unsigned long long v = neg ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    std::string digits = std::to_string(v);
    std::string out;
    int count = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (count && count % 3 == 0) out.insert(out.begin(), '.');
        out.insert(out.begin(), *it);
        ++count;
    }
    return neg ? "-" + out : out;
}

} // namespace kalmira
