#include "featfile.h"

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>

namespace analysis {

namespace {

template <typename T>
void Write(std::ofstream &o, const T &v) {
    o.write(reinterpret_cast<const char *>(&v), sizeof v);
}
template <typename T>
void Read(std::ifstream &i, T &v) {
    i.read(reinterpret_cast<char *>(&v), sizeof v);
}

constexpr std::uint32_t kMagic = 0x4B534131; // "KSA1"

} // namespace

bool SaveFeatures(const std::string &path, const FeatureSet &f) {
    std::ofstream o(path, std::ios::binary);
    Write(o, kMagic);
    Write(o, static_cast<std::int32_t>(f.groups.size()));
    Write(o, static_cast<std::int32_t>(f.features.d));
    Write(o, static_cast<std::int32_t>(f.statNames.size()));
    for (const std::string &n : f.statNames) {
        Write(o, static_cast<std::int32_t>(n.size()));
        o.write(n.data(), static_cast<std::streamsize>(n.size()));
    }
    for (std::size_t i = 0; i < f.groups.size(); ++i) {
        Write(o, static_cast<std::int32_t>(f.groups[i]));
        o.write(reinterpret_cast<const char *>(f.features.row(static_cast<int>(i))),
                static_cast<std::streamsize>(sizeof(float) * f.features.d));
        o.write(reinterpret_cast<const char *>(f.stats[i].data()),
                static_cast<std::streamsize>(sizeof(double) * f.statNames.size()));
    }
    return static_cast<bool>(o);
}

bool LoadFeatures(const std::string &path, FeatureSet &f) {
    std::ifstream in(path, std::ios::binary);
    std::uint32_t magic = 0;
    std::int32_t n = 0, d = 0, ns = 0;
    Read(in, magic);
    Read(in, n);
    Read(in, d);
    Read(in, ns);
    if (!in || magic != kMagic || n < 0 || d < 0 || ns < 0) return false;
    f.statNames.assign(ns, {});
    for (std::string &name : f.statNames) {
        std::int32_t len = 0;
        Read(in, len);
        name.resize(len);
        in.read(name.data(), len);
    }
    f.groups.assign(n, 0);
    f.features = Matrix{n, d, std::vector<float>(static_cast<std::size_t>(n) * d)};
    f.stats.assign(n, std::vector<double>(ns));
    for (int i = 0; i < n; ++i) {
        std::int32_t g = 0;
        Read(in, g);
        f.groups[i] = g;
        in.read(reinterpret_cast<char *>(f.features.v.data() + static_cast<std::size_t>(i) * d),
                static_cast<std::streamsize>(sizeof(float) * d));
        in.read(reinterpret_cast<char *>(f.stats[i].data()), static_cast<std::streamsize>(sizeof(double) * ns));
    }
    return static_cast<bool>(in);
}

std::vector<ListEntry> ReadList(const std::string &path) {
    std::ifstream in(path);
    std::map<std::string, int> ids;
    std::vector<ListEntry> out;
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
        const auto [it, added] = ids.emplace(line.substr(0, tab), static_cast<int>(ids.size()));
        out.push_back({it->second, line.substr(tab + 1)});
    }
    return out;
}

} // namespace analysis
