#include "fakes.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace kalmira::test {

Answer FakeMessages::show(Icon icon, const std::string &title, const std::string &text, Buttons buttons) {
    shown.push_back({icon, title, text, buttons});
    if (answers.empty()) return Answer::Ok;
    Answer a = answers.front();
    answers.pop_front();
    return a;
}

bool FakeMessages::contains(const std::string &part) const {
    for (const auto &m : shown)
        if (m.text.find(part) != std::string::npos) return true;
    return false;
}

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "kalmira-test-XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests make files read-only; give permissions back so removal works.
    for (auto &e : std::filesystem::recursive_directory_iterator(path_, ec))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::uint8_t> ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string &path, const std::vector<std::uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteAll(const std::string &path, const std::string &bytes) {
    WriteAll(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

std::size_t FilesIn(const std::string &folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> v(n);
    for (auto &b : v) b = static_cast<std::uint8_t>(gen());
    return v;
}

using Field = std::pair<std::uint32_t, int>;

// Appends `x` little-endian in `size` bytes (zeros past its four).
static void put(std::vector<std::uint8_t> &v, std::uint32_t x, int size) {
    for (int i = 0; i < size; ++i) v.push_back(i < 4 ? static_cast<std::uint8_t>(x >> (8 * i)) : 0);
}

static std::vector<std::uint8_t> withNoise(std::vector<std::uint8_t> v, std::size_t bytes, std::uint32_t seed) {
    std::mt19937 gen(seed);
    for (std::size_t i = 0; i < bytes; ++i) v.push_back(static_cast<std::uint8_t>(gen()));
    return v;
}

std::vector<std::uint8_t> MakeBmp(int width, int height, std::uint32_t seed) {
    const auto image = static_cast<std::uint32_t>((width * 3 + 3) / 4 * 4 * height);
    std::vector<std::uint8_t> v{'B', 'M'};
    for (auto [x, size] : std::initializer_list<Field>{{54 + image, 4},
                                                       {0u, 4},
                                                       {54u, 4},
                                                       {40u, 4},
                                                       {std::uint32_t(width), 4},
                                                       {std::uint32_t(height), 4},
                                                       {1u, 2},
                                                       {24u, 2},
                                                       {0u, 4},
                                                       {image, 4},
                                                       {0u, 16}})
        put(v, x, size);
    return withNoise(v, image, seed);
}

std::vector<std::uint8_t> MakeWav(std::size_t dataBytes, int channels, int rate, int bits, std::uint32_t seed) {
    const auto n = static_cast<std::uint32_t>(dataBytes), align = static_cast<std::uint32_t>(channels * bits / 8);
    std::vector<std::uint8_t> v;
    auto tag = [&](const char *t) { v.insert(v.end(), t, t + 4); };
    tag("RIFF");
    put(v, 36 + n, 4);
    tag("WAVE");
    tag("fmt ");
    for (auto [x, size] : std::initializer_list<Field>{{16u, 4},
                                                       {1u, 2},
                                                       {std::uint32_t(channels), 2},
                                                       {std::uint32_t(rate), 4},
                                                       {std::uint32_t(rate) * align, 4},
                                                       {align, 2},
                                                       {std::uint32_t(bits), 2}})
        put(v, x, size);
    tag("data");
    put(v, n, 4);
    return withNoise(v, dataBytes, seed);
}

} // namespace kalmira::test
