// Shared pieces of the fuzz targets: a private scratch folder, and carriers
// built from fuzz input so that the mutator works on payload bytes rather
// than on single bits spread over eight carrier bytes.
#pragma once

#include "carrier/payload.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace kalmira::fuzz {

// One scratch folder per process, below TMPDIR (tools/fuzz.sh points it at a
// tmpfs). Everything in it is removed after each input.
class Scratch {
public:
    Scratch() {
        const char *t = std::getenv("TMPDIR");
        std::string base = t && *t ? t : "/tmp";
        dir_ = base + "/kalmira-fuzz-" + std::to_string(::getpid());
        std::filesystem::create_directories(dir_);
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string file(const std::string &name) const { return dir_ + "/" + name; }
    void clear() const {
        std::error_code ec;
        for (auto &e : std::filesystem::directory_iterator(dir_, ec)) std::filesystem::remove_all(e, ec);
    }

private:
    std::string dir_;
};

inline void Write(const std::string &path, const std::uint8_t *data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
}

// Carrier from fuzz input. Byte 0 chooses the layout:
//  odd:  the rest is the carrier itself;
//  even: the rest is the payload (55 header bytes, then data) embedded from
//        offset 99 into a plain carrier; bits 1..6 give a slack s, bit 7
//        cuts s bytes off the end (a truncated carrier) instead of adding 16*s.
inline std::vector<std::uint8_t> CarrierFromInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return {};
    const std::uint8_t mode = data[0];
    ++data;
    --size;
    if (mode & 1) return {data, data + size};
    const std::size_t slack = (mode >> 1) & 0x3F;
    std::vector<std::uint8_t> c(static_cast<std::size_t>(payload::kHeaderOffset) + 8 * size);
    for (std::size_t i = 0; i < c.size(); ++i) c[i] = static_cast<std::uint8_t>(0x40 + (i * 37) % 128);
    c[0] = 'B';
    c[1] = 'M';
    payload::EmbedBytes(data, size, c.data() + payload::kHeaderOffset);
    if (mode & 0x80)
        c.resize(c.size() > slack ? c.size() - slack : 0);
    else
        c.resize(c.size() + 16 * slack, 0x55);
    return c;
}

} // namespace kalmira::fuzz
