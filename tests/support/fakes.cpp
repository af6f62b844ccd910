#include "fakes.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace kalmira::test {

Answer FakeMessages::show(Icon icon, const std::string &title, const std::string &text,
                          Buttons buttons) {
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
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
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

static void put16(std::vector<std::uint8_t> &v, std::size_t at, std::uint32_t x) {
    v[at] = x & 0xFF;
    v[at + 1] = (x >> 8) & 0xFF;
}
static void put32(std::vector<std::uint8_t> &v, std::size_t at, std::uint32_t x) {
    put16(v, at, x & 0xFFFF);
    put16(v, at + 2, x >> 16);
}

std::vector<std::uint8_t> MakeBmp(int width, int height, std::uint32_t seed) {
    const std::uint32_t row = static_cast<std::uint32_t>((width * 3 + 3) / 4 * 4);
    const std::uint32_t image = row * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> v(54 + image);
    v[0] = 'B';
    v[1] = 'M';
    put32(v, 2, static_cast<std::uint32_t>(v.size()));
    put32(v, 10, 54);
    put32(v, 14, 40);
    put32(v, 18, static_cast<std::uint32_t>(width));
    put32(v, 22, static_cast<std::uint32_t>(height));
    put16(v, 26, 1);
    put16(v, 28, 24);
    put32(v, 34, image);
    std::mt19937 gen(seed);
    for (std::size_t i = 54; i < v.size(); ++i) v[i] = static_cast<std::uint8_t>(gen());
    return v;
}

std::vector<std::uint8_t> MakeWav(std::size_t dataBytes, int channels, int rate, int bits,
                                  std::uint32_t seed) {
    std::vector<std::uint8_t> v(44 + dataBytes);
    auto tag = [&](std::size_t at, const char *t) { for (int i = 0; i < 4; ++i) v[at + i] = t[i]; };
    tag(0, "RIFF");
    put32(v, 4, static_cast<std::uint32_t>(36 + dataBytes));
    tag(8, "WAVE");
    tag(12, "fmt ");
    put32(v, 16, 16);
    put16(v, 20, 1);
    put16(v, 22, static_cast<std::uint32_t>(channels));
    put32(v, 24, static_cast<std::uint32_t>(rate));
    const int align = channels * bits / 8;
    put32(v, 28, static_cast<std::uint32_t>(rate * align));
    put16(v, 32, static_cast<std::uint32_t>(align));
    put16(v, 34, static_cast<std::uint32_t>(bits));
    tag(36, "data");
    put32(v, 40, static_cast<std::uint32_t>(dataBytes));
    std::mt19937 gen(seed);
    for (std::size_t i = 44; i < v.size(); ++i) v[i] = static_cast<std::uint8_t>(gen());
    return v;
}

} // namespace kalmira::test
