#include "crypto/clsMD5.h"

#include <algorithm>
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

#define MD5_STEP(f, a, b, c, d, x, t, s)                                                   \
    a += f(b, c, d) + (x) + (t);                                                            \
    a = std::rotl(a, s) + b

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

void clsMD5::Transform(const std::uint8_t *p, std::size_t blocks) {
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (; blocks > 0; --blocks, p += 64) {
        std::uint32_t x[16];
        std::memcpy(x, p, 64);
        const std::uint32_t aa = a, bb = b, cc = c, dd = d;

        MD5_STEP(F, a, b, c, d, x[0], 0xd76aa478, 7);
        MD5_STEP(F, d, a, b, c, x[1], 0xe8c7b756, 12);
        MD5_STEP(F, c, d, a, b, x[2], 0x242070db, 17);
        MD5_STEP(F, b, c, d, a, x[3], 0xc1bdceee, 22);
        MD5_STEP(F, a, b, c, d, x[4], 0xf57c0faf, 7);
        MD5_STEP(F, d, a, b, c, x[5], 0x4787c62a, 12);
        MD5_STEP(F, c, d, a, b, x[6], 0xa8304613, 17);
        MD5_STEP(F, b, c, d, a, x[7], 0xfd469501, 22);
        MD5_STEP(F, a, b, c, d, x[8], 0x698098d8, 7);
        MD5_STEP(F, d, a, b, c, x[9], 0x8b44f7af, 12);
        MD5_STEP(F, c, d, a, b, x[10], 0xffff5bb1, 17);
        MD5_STEP(F, b, c, d, a, x[11], 0x895cd7be, 22);
        MD5_STEP(F, a, b, c, d, x[12], 0x6b901122, 7);
        MD5_STEP(F, d, a, b, c, x[13], 0xfd987193, 12);
        MD5_STEP(F, c, d, a, b, x[14], 0xa679438e, 17);
        MD5_STEP(F, b, c, d, a, x[15], 0x49b40821, 22);

        MD5_STEP(G, a, b, c, d, x[1], 0xf61e2562, 5);
        MD5_STEP(G, d, a, b, c, x[6], 0xc040b340, 9);
        MD5_STEP(G, c, d, a, b, x[11], 0x265e5a51, 14);
        MD5_STEP(G, b, c, d, a, x[0], 0xe9b6c7aa, 20);
        MD5_STEP(G, a, b, c, d, x[5], 0xd62f105d, 5);
        MD5_STEP(G, d, a, b, c, x[10], 0x02441453, 9);
        MD5_STEP(G, c, d, a, b, x[15], 0xd8a1e681, 14);
        MD5_STEP(G, b, c, d, a, x[4], 0xe7d3fbc8, 20);
        MD5_STEP(G, a, b, c, d, x[9], 0x21e1cde6, 5);
        MD5_STEP(G, d, a, b, c, x[14], 0xc33707d6, 9);
        MD5_STEP(G, c, d, a, b, x[3], 0xf4d50d87, 14);
        MD5_STEP(G, b, c, d, a, x[8], 0x455a14ed, 20);
        MD5_STEP(G, a, b, c, d, x[13], 0xa9e3e905, 5);
        MD5_STEP(G, d, a, b, c, x[2], 0xfcefa3f8, 9);
        MD5_STEP(G, c, d, a, b, x[7], 0x676f02d9, 14);
        MD5_STEP(G, b, c, d, a, x[12], 0x8d2a4c8a, 20);

        MD5_STEP(H, a, b, c, d, x[5], 0xfffa3942, 4);
        MD5_STEP(H, d, a, b, c, x[8], 0x8771f681, 11);
        MD5_STEP(H, c, d, a, b, x[11], 0x6d9d6122, 16);
        MD5_STEP(H, b, c, d, a, x[14], 0xfde5380c, 23);
        MD5_STEP(H, a, b, c, d, x[1], 0xa4beea44, 4);
        MD5_STEP(H, d, a, b, c, x[4], 0x4bdecfa9, 11);
        MD5_STEP(H, c, d, a, b, x[7], 0xf6bb4b60, 16);
        MD5_STEP(H, b, c, d, a, x[10], 0xbebfbc70, 23);
        MD5_STEP(H, a, b, c, d, x[13], 0x289b7ec6, 4);
        MD5_STEP(H, d, a, b, c, x[0], 0xeaa127fa, 11);
        MD5_STEP(H, c, d, a, b, x[3], 0xd4ef3085, 16);
        MD5_STEP(H, b, c, d, a, x[6], 0x04881d05, 23);
        MD5_STEP(H, a, b, c, d, x[9], 0xd9d4d039, 4);
        MD5_STEP(H, d, a, b, c, x[12], 0xe6db99e5, 11);
        MD5_STEP(H, c, d, a, b, x[15], 0x1fa27cf8, 16);
        MD5_STEP(H, b, c, d, a, x[2], 0xc4ac5665, 23);

        MD5_STEP(I, a, b, c, d, x[0], 0xf4292244, 6);
        MD5_STEP(I, d, a, b, c, x[7], 0x432aff97, 10);
        MD5_STEP(I, c, d, a, b, x[14], 0xab9423a7, 15);
        MD5_STEP(I, b, c, d, a, x[5], 0xfc93a039, 21);
        MD5_STEP(I, a, b, c, d, x[12], 0x655b59c3, 6);
        MD5_STEP(I, d, a, b, c, x[3], 0x8f0ccc92, 10);
        MD5_STEP(I, c, d, a, b, x[10], 0xffeff47d, 15);
        MD5_STEP(I, b, c, d, a, x[1], 0x85845dd1, 21);
        MD5_STEP(I, a, b, c, d, x[8], 0x6fa87e4f, 6);
        MD5_STEP(I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
        MD5_STEP(I, c, d, a, b, x[6], 0xa3014314, 15);
        MD5_STEP(I, b, c, d, a, x[13], 0x4e0811a1, 21);
        MD5_STEP(I, a, b, c, d, x[4], 0xf7537e82, 6);
        MD5_STEP(I, d, a, b, c, x[11], 0xbd3af235, 10);
        MD5_STEP(I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
        MD5_STEP(I, b, c, d, a, x[9], 0xeb86d391, 21);

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    state_[0] = a;
    state_[1] = b;
    state_[2] = c;
    state_[3] = d;
}

#undef MD5_STEP

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
            MD5Update(std::span(reinterpret_cast<const std::uint8_t *>(chunk.data()),
                                static_cast<std::size_t>(got)));
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

std::string clsMD5::Signed(std::uint32_t word) {
    return std::to_string(static_cast<std::int32_t>(word));
}

} // namespace kalmira::crypto
