#include "crypto/clsMD5.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace kalmira::crypto {

static_assert(std::endian::native == std::endian::little, "message words are read in host order");

namespace {

inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (z & (x ^ y)); }
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

const char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

clsMD5::clsMD5() { MD5Init(); }

void clsMD5::MD5Init() {
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    byteCount_ = 0;
}

// The 64 steps of RFC 1321: sine constants and rotations.
constexpr std::array<std::uint32_t, 64> kSine = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
constexpr std::array<int, 16> kRotation = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

void clsMD5::Transform(const std::uint8_t *p, std::size_t blocks) {
    for (; blocks > 0; --blocks, p += 64) {
        std::uint32_t x[16];
        std::memcpy(x, p, 64);
        std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t f = 0;
            int word = 0;
            switch (i / 16) {
            case 0: f = F(b, c, d), word = i; break;
            case 1: f = G(b, c, d), word = (5 * i + 1) % 16; break;
            case 2: f = H(b, c, d), word = (3 * i + 5) % 16; break;
            default: f = I(b, c, d), word = (7 * i) % 16; break;
            }
            const std::uint32_t turned = std::rotl(a + f + kSine[i] + x[word], kRotation[i / 16 * 4 + i % 4]);
            a = d, d = c, c = b, b += turned;
        }
        state_[0] += a;
        state_[1] += b;
        state_[2] += c;
        state_[3] += d;
    }
}

void clsMD5::MD5Update(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    const std::uint8_t *p = bytes.data();
    std::size_t n = bytes.size();
    std::size_t pending = byteCount_ % 64;
    byteCount_ += n;
    if (pending > 0) {
        std::size_t take = std::min(n, 64 - pending);
        std::memcpy(buffer_ + pending, p, take);
        p += take;
        n -= take;
        if (pending + take < 64) return;
        Transform(buffer_, 1);
    }
    if (n >= 64) {
        Transform(p, n / 64);
        p += n / 64 * 64;
        n %= 64;
    }
    if (n > 0) std::memcpy(buffer_, p, n);
}

void clsMD5::MD5Update(std::size_t count, std::span<const std::uint8_t> bytes) {
    if (count > bytes.size()) throw std::out_of_range("clsMD5.MD5Update - count exceeds the array");
    MD5Update(bytes.first(count));
}

void clsMD5::MD5Final() {
    // The length is taken before the padding goes through MD5Update.
    const std::uint64_t bits = byteCount_ * 8;
    std::uint8_t pad[72] = {0x80};
    const std::size_t pending = byteCount_ % 64;
    const std::size_t padLen = (pending < 56 ? 56 : 120) - pending;
    for (int i = 0; i < 8; ++i) pad[padLen + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    MD5Update(std::span<const std::uint8_t>(pad, padLen + 8));
}

std::string clsMD5::GetValues() const {
    std::string hex;
    hex.reserve(32);
    for (std::uint32_t w : state_) {
        for (int i = 0; i < 4; ++i) {
            const unsigned b = (w >> (8 * i)) & 0xFF;
            hex += kHex[b >> 4];
            hex += kHex[b & 15];
        }
    }
    return hex;
}

void clsMD5::Digest(std::string_view ansiText) {
    MD5Init();
    MD5Update(std::span(reinterpret_cast<const std::uint8_t *>(ansiText.data()), ansiText.size()));
    MD5Final();
}

std::string clsMD5::DigestStrToHexStr(std::string_view ansiText) {
    Digest(ansiText);
    return GetValues();
}

std::string clsMD5::DigestFileToHexStr(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    MD5Init();
    std::vector<char> chunk(1 << 16);
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const std::streamsize got = in.gcount();
        if (got > 0)
            MD5Update(std::span(reinterpret_cast<const std::uint8_t *>(chunk.data()), static_cast<std::size_t>(got)));
    }
    // A read error (not end of file) leaves badbit set: no digest of part of a file.
    if (in.bad()) return "";
    MD5Final();
    return GetValues();
}

std::string clsMD5::ConvertStringFromHex(std::string_view hex) {
    bool ok = hex.size() % 2 == 0;
    for (std::size_t i = 0; ok && i < hex.size(); ++i) ok = HexValue(hex[i]) >= 0;
    if (!ok) return ""; // not hex: no digest
    std::string out(hex.size() / 2, '\0');
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char>(HexValue(hex[2 * i]) * 16 + HexValue(hex[2 * i + 1]));
    return out;
}

std::string clsMD5::DigestString(std::string_view ansiText) {
    const auto bytes = DigestAsByteArray(ansiText);
    return std::string(reinterpret_cast<const char *>(bytes.data()), bytes.size());
}

std::array<std::uint8_t, 16> clsMD5::DigestAsByteArray(std::string_view ansiText) {
    Digest(ansiText);
    std::array<std::uint8_t, 16> out;
    for (int w = 0; w < 4; ++w)
        for (int i = 0; i < 4; ++i) out[4 * w + i] = static_cast<std::uint8_t>(state_[w] >> (8 * i));
    return out;
}

std::int32_t clsMD5::LongLeftRotate(std::int32_t value, std::int32_t bits) {
    const std::int32_t r = bits % 32;
    if (r <= 0) return value;
    return static_cast<std::int32_t>(std::rotl(static_cast<std::uint32_t>(value), r));
}

std::string clsMD5::Signed(std::uint32_t word) { return std::to_string(static_cast<std::int32_t>(word)); }

} // namespace kalmira::crypto
