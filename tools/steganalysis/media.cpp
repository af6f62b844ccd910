#include "media.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace analysis {

namespace {

std::vector<std::uint8_t> Slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Le(const std::vector<std::uint8_t> &b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
    return v;
}

void Put(std::vector<std::uint8_t> &b, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

bool Save(const std::string &path, const std::vector<std::uint8_t> &b) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(out);
}

} // namespace

std::string ReadBmp(const std::string &path, Picture &out) {
    const std::vector<std::uint8_t> b = Slurp(path);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return "not a BMP";
    const std::uint32_t offset = Le(b, 10, 4), header = Le(b, 14, 4);
    if (header < 40) return "core header not supported";
    const int w = static_cast<std::int32_t>(Le(b, 18, 4));
    const int h = static_cast<std::int32_t>(Le(b, 22, 4));
    const int bpp = static_cast<int>(Le(b, 28, 2)), compression = static_cast<int>(Le(b, 30, 4));
    if ((bpp != 24 && bpp != 32) || (compression != 0 && compression != 3) || w <= 0 || h == 0)
        return "not 24/32-bit RGB";
    out.width = w;
    out.height = h < 0 ? -h : h;
    out.bottomUp = h > 0;
    out.channels = 3;
    const std::size_t stride = (static_cast<std::size_t>(w) * bpp + 31) / 32 * 4, px = bpp / 8;
    if (offset + stride * out.height > b.size()) return "cut short";
    out.v.resize(static_cast<std::size_t>(w) * out.height * 3);
    for (int i = 0; i < out.height; ++i) {
        const std::uint8_t *src = b.data() + offset + stride * i;
        std::int32_t *dst = out.row(out.fileRow(i));
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) dst[x * 3 + c] = src[x * px + c];
    }
    return {};
}

std::string WriteBmp(const std::string &path, const Picture &pic) {
    const std::size_t stride = (static_cast<std::size_t>(pic.width) * 24 + 31) / 32 * 4;
    std::vector<std::uint8_t> b;
    b.push_back('B');
    b.push_back('M');
    Put(b, static_cast<std::uint32_t>(54 + stride * pic.height), 4);
    Put(b, 0, 4);
    Put(b, 54, 4);
    Put(b, 40, 4);
    Put(b, pic.width, 4);
    Put(b, pic.bottomUp ? pic.height : -pic.height, 4);
    Put(b, 1, 2);
    Put(b, 24, 2);
    Put(b, 0, 4);
    Put(b, static_cast<std::uint32_t>(stride * pic.height), 4);
    Put(b, 2835, 4);
    Put(b, 2835, 4);
    Put(b, 0, 4);
    Put(b, 0, 4);
    for (int i = 0; i < pic.height; ++i) {
        const std::int32_t *src = pic.row(pic.fileRow(i));
        for (int x = 0; x < pic.width * 3; ++x) b.push_back(static_cast<std::uint8_t>(src[x]));
        for (std::size_t p = static_cast<std::size_t>(pic.width) * 3; p < stride; ++p) b.push_back(0);
    }
    return Save(path, b) ? std::string() : "cannot write " + path;
}

std::string ReadWav(const std::string &path, Sound &out) {
    const std::vector<std::uint8_t> b = Slurp(path);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return "not a WAV";
    bool haveFmt = false;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::uint32_t size = Le(b, at + 4, 4);
        const std::size_t body = at + 8;
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && body + 16 <= b.size()) {
            const int format = static_cast<int>(Le(b, body, 2));
            if (format != 1 && format != 0xFFFE) return "not PCM";
            out.channels = static_cast<int>(Le(b, body + 2, 2));
            out.rate = static_cast<int>(Le(b, body + 4, 4));
            out.bits = static_cast<int>(Le(b, body + 14, 2));
            if ((out.bits != 8 && out.bits != 16 && out.bits != 24) || out.channels < 1)
                return "unsupported sample size";
            haveFmt = true;
        } else if (std::memcmp(b.data() + at, "data", 4) == 0 && haveFmt) {
            const int bytes = out.bits / 8;
            const std::size_t n = std::min<std::size_t>(size, b.size() - body) / bytes / out.channels * out.channels;
            out.v.resize(n);
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint32_t raw = Le(b, body + i * bytes, bytes);
                if (bytes == 1)
                    out.v[i] = static_cast<std::int32_t>(raw) - 128;
                else
                    out.v[i] = static_cast<std::int32_t>(raw << (32 - out.bits)) >> (32 - out.bits);
            }
            return {};
        }
        at = body + size + (size & 1);
    }
    return "no data chunk";
}

std::string WriteWav(const std::string &path, const Sound &snd) {
    const int bytes = snd.bits / 8;
    const std::uint32_t data = static_cast<std::uint32_t>(snd.v.size() * bytes);
    std::vector<std::uint8_t> b;
    for (const char *tag : {"RIFF"}) b.insert(b.end(), tag, tag + 4);
    Put(b, 36 + data + (data & 1), 4);
    for (const char *tag : {"WAVE", "fmt "}) b.insert(b.end(), tag, tag + 4);
    Put(b, 16, 4);
    Put(b, 1, 2);
    Put(b, snd.channels, 2);
    Put(b, snd.rate, 4);
    Put(b, snd.rate * snd.channels * bytes, 4);
    Put(b, snd.channels * bytes, 2);
    Put(b, snd.bits, 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put(b, data, 4);
    for (std::int32_t s : snd.v) Put(b, static_cast<std::uint32_t>(bytes == 1 ? s + 128 : s), bytes);
    if (data & 1) b.push_back(0);
    return Save(path, b) ? std::string() : "cannot write " + path;
}

} // namespace analysis
