#include "shell/helpers.h"

#include "platform/platform.h"

#include <cstdio>
#include <fstream>
#include <vector>

namespace kalmira {

namespace {
std::string::size_type lastSeparator(const std::string &path) {
    return path.find_last_of("\\/");
}
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

static std::string readHead(const std::string &path, size_t n, bool &ok) {
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    if (!ok) return "";
    std::string buf(n, '\0');
    in.read(buf.data(), static_cast<std::streamsize>(n));
    buf.resize(static_cast<size_t>(in.gcount()));
    return buf;
}

bool IsBmpFile(const std::string &path) {
    bool ok = false;
    std::string head = readHead(path, 2, ok);
    return ok && head == "BM";
}

bool IsWavFile(const std::string &path, Messages &messages) {
    if (!platform::IsRegularFile(path)) return false;
    bool ok = false;
    std::string head = readHead(path, 12, ok);
    if (!ok) return false;
    if (head.size() == 12 && head.compare(0, 4, "RIFF") == 0 && head.compare(8, 4, "WAVE") == 0)
        return true;
    messages.show(Icon::Critical, "Kalmira-Fehlernachricht",
                  "Die Datei: " + path + " ist keine gültige WAV-Datei.");
    return false;
}

SharedFlags &Flags() {
    static SharedFlags flags;
    return flags;
}

std::string FormatThousands(long long value) {
    if (value == 0) return "";
    bool neg = value < 0;
    unsigned long long v = neg ? 0ULL - static_cast<unsigned long long>(value)
                               : static_cast<unsigned long long>(value);
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
