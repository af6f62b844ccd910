#include "crypto/cRijndael.h"

#include <array>
#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KALMIRA_AESNI 1
#endif

namespace kalmira::crypto {

static_assert(std::endian::native == std::endian::little, "round tables are laid out for little-endian column words");

namespace {

// Column words hold row 0 in the lowest byte, so a block is four words read
// straight from memory and the bytes pass through the cipher in FIPS-197 order.
struct Tables {
    std::uint8_t sbox[256];
    std::uint8_t inv[256];
    std::uint32_t te[4][256]; // S(x) * (2, 1, 1, 3), rotated by 0, 8, 16, 24 bits
    std::uint32_t td[4][256]; // S^-1(x) * (14, 9, 13, 11), rotated likewise
    std::uint32_t rcon[10];
};

constexpr Tables MakeTables() {
    Tables t{};
    // Logarithms for the generator 3 modulo 0x11B.
    std::uint8_t alog[256] = {}, log[256] = {};
    unsigned v = 1;
    for (int i = 0; i < 256; ++i) {
        alog[i] = static_cast<std::uint8_t>(v);
        log[v] = static_cast<std::uint8_t>(i);
        v ^= (v << 1) ^ ((v & 0x80) ? 0x11B : 0);
        v &= 0xFF;
    }
    auto mul = [&](unsigned a, unsigned b) -> unsigned { return (a && b) ? alog[(log[a] + log[b]) % 255] : 0; };
    for (unsigned x = 0; x < 256; ++x) {
        unsigned inverse = x ? alog[255 - log[x]] : 0;
        unsigned s = inverse;
        for (int r = 1; r < 5; ++r) s ^= ((inverse << r) | (inverse >> (8 - r))) & 0xFF;
        s ^= 0x63;
        t.sbox[x] = static_cast<std::uint8_t>(s);
        t.inv[s] = static_cast<std::uint8_t>(x);
    }
    for (unsigned x = 0; x < 256; ++x) {
        const unsigned s = t.sbox[x], d = t.inv[x];
        const std::uint32_t e = mul(s, 2) | s << 8 | s << 16 | mul(s, 3) << 24;
        const std::uint32_t dd = mul(d, 14) | mul(d, 9) << 8 | mul(d, 13) << 16 | mul(d, 11) << 24;
        for (int r = 0; r < 4; ++r) {
            t.te[r][x] = std::rotl(e, 8 * r);
            t.td[r][x] = std::rotl(dd, 8 * r);
        }
    }
    unsigned rc = 1;
    for (int i = 0; i < 10; ++i) {
        t.rcon[i] = rc;
        rc = mul(rc, 2);
    }
    return t;
}

constexpr Tables kT = MakeTables();

inline std::uint32_t Load(const std::uint8_t *p) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}
inline void Store(std::uint8_t *p, std::uint32_t w) { std::memcpy(p, &w, 4); }

inline std::uint32_t SubWord(std::uint32_t w) {
    return kT.sbox[w & 0xFF] | kT.sbox[(w >> 8) & 0xFF] << 8 | kT.sbox[(w >> 16) & 0xFF] << 16 |
           static_cast<std::uint32_t>(kT.sbox[w >> 24]) << 24;
}

#define B0(w) ((w)&0xFF)
#define B1(w) (((w) >> 8) & 0xFF)
#define B2(w) (((w) >> 16) & 0xFF)
#define B3(w) ((w) >> 24)

void TableEncrypt(const std::uint32_t *rk, int rounds, const std::uint8_t *in, std::uint8_t *out) {
    std::uint32_t s0 = Load(in) ^ rk[0], s1 = Load(in + 4) ^ rk[1], s2 = Load(in + 8) ^ rk[2],
                  s3 = Load(in + 12) ^ rk[3];
    const auto &T0 = kT.te[0], &T1 = kT.te[1], &T2 = kT.te[2], &T3 = kT.te[3];
    for (int r = 1; r < rounds; ++r) {
        rk += 4;
        const std::uint32_t t0 = T0[B0(s0)] ^ T1[B1(s1)] ^ T2[B2(s2)] ^ T3[B3(s3)] ^ rk[0];
        const std::uint32_t t1 = T0[B0(s1)] ^ T1[B1(s2)] ^ T2[B2(s3)] ^ T3[B3(s0)] ^ rk[1];
        const std::uint32_t t2 = T0[B0(s2)] ^ T1[B1(s3)] ^ T2[B2(s0)] ^ T3[B3(s1)] ^ rk[2];
        const std::uint32_t t3 = T0[B0(s3)] ^ T1[B1(s0)] ^ T2[B2(s1)] ^ T3[B3(s2)] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const auto &S = kT.sbox;
    auto last = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        return static_cast<std::uint32_t>(S[B0(a)]) | static_cast<std::uint32_t>(S[B1(b)]) << 8 |
               static_cast<std::uint32_t>(S[B2(c)]) << 16 | static_cast<std::uint32_t>(S[B3(d)]) << 24;
    };
    Store(out, last(s0, s1, s2, s3) ^ rk[0]);
    Store(out + 4, last(s1, s2, s3, s0) ^ rk[1]);
    Store(out + 8, last(s2, s3, s0, s1) ^ rk[2]);
    Store(out + 12, last(s3, s0, s1, s2) ^ rk[3]);
}

void TableDecrypt(const std::uint32_t *rk, int rounds, const std::uint8_t *in, std::uint8_t *out) {
    std::uint32_t s0 = Load(in) ^ rk[0], s1 = Load(in + 4) ^ rk[1], s2 = Load(in + 8) ^ rk[2],
                  s3 = Load(in + 12) ^ rk[3];
    const auto &T0 = kT.td[0], &T1 = kT.td[1], &T2 = kT.td[2], &T3 = kT.td[3];
    for (int r = 1; r < rounds; ++r) {
        rk += 4;
        const std::uint32_t t0 = T0[B0(s0)] ^ T1[B1(s3)] ^ T2[B2(s2)] ^ T3[B3(s1)] ^ rk[0];
        const std::uint32_t t1 = T0[B0(s1)] ^ T1[B1(s0)] ^ T2[B2(s3)] ^ T3[B3(s2)] ^ rk[1];
        const std::uint32_t t2 = T0[B0(s2)] ^ T1[B1(s1)] ^ T2[B2(s0)] ^ T3[B3(s3)] ^ rk[2];
        const std::uint32_t t3 = T0[B0(s3)] ^ T1[B1(s2)] ^ T2[B2(s1)] ^ T3[B3(s0)] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const auto &S = kT.inv;
    auto last = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        return static_cast<std::uint32_t>(S[B0(a)]) | static_cast<std::uint32_t>(S[B1(b)]) << 8 |
               static_cast<std::uint32_t>(S[B2(c)]) << 16 | static_cast<std::uint32_t>(S[B3(d)]) << 24;
    };
    Store(out, last(s0, s3, s2, s1) ^ rk[0]);
    Store(out + 4, last(s1, s0, s3, s2) ^ rk[1]);
    Store(out + 8, last(s2, s1, s0, s3) ^ rk[2]);
    Store(out + 12, last(s3, s2, s1, s0) ^ rk[3]);
}

#ifdef KALMIRA_AESNI
bool CpuHasAes() {
    static const bool has = __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1");
    return has;
}

template <bool Encrypt>
__attribute__((target("aes,sse4.1"), always_inline)) inline __m128i NiRound(__m128i x, __m128i k) {
    if constexpr (Encrypt)
        return _mm_aesenc_si128(x, k);
    else
        return _mm_aesdec_si128(x, k);
}
template <bool Encrypt>
__attribute__((target("aes,sse4.1"), always_inline)) inline __m128i NiLast(__m128i x, __m128i k) {
    if constexpr (Encrypt)
        return _mm_aesenclast_si128(x, k);
    else
        return _mm_aesdeclast_si128(x, k);
}

// The encryption schedule's words are the FIPS-197 round-key bytes in memory
// order, and the decryption schedule is already the equivalent inverse cipher's,
// so both load straight into the instructions. Four blocks at a time keep the
// AES unit's pipeline full.
template <bool Encrypt>
__attribute__((target("aes,sse4.1"))) void NiBlocks(const std::uint32_t *rk32, int rounds, const std::uint8_t *in,
                                                    std::uint8_t *out, std::size_t blocks) {
    __m128i rk[15];
    for (int r = 0; r <= rounds; ++r) rk[r] = _mm_load_si128(reinterpret_cast<const __m128i *>(rk32 + 4 * r));
    std::size_t b = 0;
    for (; b + 4 <= blocks; b += 4) {
        const auto *p = reinterpret_cast<const __m128i *>(in + 16 * b);
        __m128i x[4];
#pragma GCC unroll 4
        for (int i = 0; i < 4; ++i) x[i] = _mm_xor_si128(_mm_loadu_si128(p + i), rk[0]);
        for (int r = 1; r < rounds; ++r)
#pragma GCC unroll 4
            for (int i = 0; i < 4; ++i) x[i] = NiRound<Encrypt>(x[i], rk[r]);
        auto *q = reinterpret_cast<__m128i *>(out + 16 * b);
#pragma GCC unroll 4
        for (int i = 0; i < 4; ++i) _mm_storeu_si128(q + i, NiLast<Encrypt>(x[i], rk[rounds]));
    }
    for (; b < blocks; ++b) {
        __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 16 * b)), rk[0]);
        for (int r = 1; r < rounds; ++r) x = NiRound<Encrypt>(x, rk[r]);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16 * b), NiLast<Encrypt>(x, rk[rounds]));
    }
}
#else
bool CpuHasAes() { return false; }
#endif

} // namespace

cRijndael::cRijndael() : useHardware_(CpuHasAes()) {}

void cRijndael::SetHardwareAcceleration(bool enabled) { useHardware_ = enabled && CpuHasAes(); }

int cRijndael::SetCipherKey(const std::uint8_t *key, std::size_t keyLen, int keyBits) {
    if (keyBits != 128 && keyBits != 192 && keyBits != 256)
        throw CipherError(1, "cRijndael.SetCipherKey - Illegal KeyBits Value");
    const int nk = keyBits / 32;
    if (keyLen < 4 * static_cast<std::size_t>(nk))
        throw std::invalid_argument("cRijndael.SetCipherKey - key array shorter than the key size");
    rounds_ = nk + 6;
    const int total = 4 * (rounds_ + 1);
    std::uint32_t *w = encKey_;
    for (int i = 0; i < nk; ++i) w[i] = Load(key + 4 * i);
    for (int i = nk; i < total; ++i) {
        std::uint32_t t = w[i - 1];
        if (i % nk == 0)
            t = SubWord(std::rotr(t, 8)) ^ kT.rcon[i / nk - 1];
        else if (nk > 6 && i % nk == 4)
            t = SubWord(t);
        w[i] = w[i - nk] ^ t;
    }
    // Equivalent inverse cipher: round keys in reverse order, the inner ones
    // through the inverse column mixing.
    for (int r = 0; r <= rounds_; ++r) {
        for (int c = 0; c < 4; ++c) {
            const std::uint32_t k = encKey_[4 * (rounds_ - r) + c];
            decKey_[4 * r + c] = (r == 0 || r == rounds_) ? k
                                                          : kT.td[0][kT.sbox[B0(k)]] ^ kT.td[1][kT.sbox[B1(k)]] ^
                                                                kT.td[2][kT.sbox[B2(k)]] ^ kT.td[3][kT.sbox[B3(k)]];
        }
    }
    return 0;
}

int cRijndael::SetCipherKeyString(std::string_view ansiPassPhrase, int keyBits) {
    std::uint8_t key[32] = {};
    if (!ansiPassPhrase.empty())
        std::memcpy(key, ansiPassPhrase.data(), std::min<std::size_t>(ansiPassPhrase.size(), 32));
    return SetCipherKey(key, sizeof key, keyBits);
}

void cRijndael::EncryptBlocks(const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) const {
    if (rounds_ == 0) throw std::logic_error("cRijndael - no cipher key set");
#ifdef KALMIRA_AESNI
    if (useHardware_) return NiBlocks<true>(encKey_, rounds_, in, out, blocks);
#endif
    for (std::size_t b = 0; b < blocks; ++b) TableEncrypt(encKey_, rounds_, in + 16 * b, out + 16 * b);
}

void cRijndael::DecryptBlocks(const std::uint8_t *in, std::uint8_t *out, std::size_t blocks) const {
    if (rounds_ == 0) throw std::logic_error("cRijndael - no cipher key set");
#ifdef KALMIRA_AESNI
    if (useHardware_) return NiBlocks<false>(decKey_, rounds_, in, out, blocks);
#endif
    for (std::size_t b = 0; b < blocks; ++b) TableDecrypt(decKey_, rounds_, in + 16 * b, out + 16 * b);
}

void cRijndael::BlockEncrypt(const std::uint8_t *in, std::uint8_t *out) const {
    if (rounds_ == 0) throw std::logic_error("cRijndael - no cipher key set");
    TableEncrypt(encKey_, rounds_, in, out);
}

void cRijndael::BlockDecrypt(const std::uint8_t *in, std::uint8_t *out) const {
    if (rounds_ == 0) throw std::logic_error("cRijndael - no cipher key set");
    TableDecrypt(decKey_, rounds_, in, out);
}

namespace {
void CheckBlock(std::size_t size, std::size_t offset) {
    if (offset > size || size - offset < 16) throw std::out_of_range("cRijndael - block outside the array");
}
} // namespace

void cRijndael::BlockEncrypt(const std::vector<std::uint8_t> &src, std::vector<std::uint8_t> &dst,
                             std::size_t srcOffset, std::size_t dstOffset) const {
    CheckBlock(src.size(), srcOffset);
    CheckBlock(dst.size(), dstOffset);
    BlockEncrypt(src.data() + srcOffset, dst.data() + dstOffset);
}

void cRijndael::BlockDecrypt(const std::vector<std::uint8_t> &src, std::vector<std::uint8_t> &dst,
                             std::size_t srcOffset, std::size_t dstOffset) const {
    CheckBlock(src.size(), srcOffset);
    CheckBlock(dst.size(), dstOffset);
    BlockDecrypt(src.data() + srcOffset, dst.data() + dstOffset);
}

int cRijndael::ArrayEncrypt(std::span<const std::uint8_t> plaintext, std::vector<std::uint8_t> &ciphertext,
                            int appendSize) {
    const std::size_t n = plaintext.size();
    const std::size_t whole = n / 16 * 16;
    const std::size_t m = appendSize != 0 ? whole + 16 : (n + 15) / 16 * 16;
    std::vector<std::uint8_t> out(m, 0);
    if (appendSize != 0) out[m - 1] = static_cast<std::uint8_t>(n % 16);
    EncryptBlocks(plaintext.data(), out.data(), whole / 16);
    if (whole < m) {
        if (n > whole) std::memcpy(out.data() + whole, plaintext.data() + whole, n - whole);
        EncryptBlocks(out.data() + whole, out.data() + whole, 1);
    }
    ciphertext = std::move(out);
    return 0;
}

int cRijndael::ArrayDecrypt(std::vector<std::uint8_t> &plaintext, std::span<const std::uint8_t> ciphertext,
                            int appendSize) {
    warning_.clear();
    const std::size_t n = ciphertext.size();
    if (n % 16 != 0) {
        Tell("ciphertext size not a multiple of block size");
        return -1;
    }
    std::vector<std::uint8_t> out(n);
    DecryptBlocks(ciphertext.data(), out.data(), n / 16);
    int result = 0;
    if (appendSize != 0) {
        // An empty ciphertext has no length byte; ArrayEncrypt never makes one.
        const unsigned b = n > 0 ? out[n - 1] : 16;
        if (b >= 16) {
            Tell("warning - incorrect length field");
            result = 1;
        } else {
            out.resize(n - 16 + b);
        }
    }
    plaintext = std::move(out);
    return result;
}

namespace {

std::ifstream OpenIn(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cRijndael - cannot open " + path);
    return in;
}

std::ofstream OpenOut(const std::string &in, const std::string &path) {
    std::error_code ec;
    if (std::filesystem::equivalent(in, path, ec))
        throw std::invalid_argument("cRijndael - input and output are the same file");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cRijndael - cannot create " + path);
    return out;
}

void ReadExactly(std::ifstream &in, std::uint8_t *p, std::size_t n) {
    in.read(reinterpret_cast<char *>(p), static_cast<std::streamsize>(n));
    if (static_cast<std::size_t>(in.gcount()) != n) throw std::runtime_error("cRijndael - read error");
}

void WriteAll(std::ofstream &out, const std::uint8_t *p, std::size_t n) {
    out.write(reinterpret_cast<const char *>(p), static_cast<std::streamsize>(n));
    if (!out) throw std::runtime_error("cRijndael - write error");
}

} // namespace

int cRijndael::FileEncrypt(const std::string &plainPath, const std::string &cipherPath) {
    if (rounds_ == 0) throw std::logic_error("cRijndael - no cipher key set");
    std::ifstream in = OpenIn(plainPath);
    const std::uint64_t length = std::filesystem::file_size(plainPath);
    std::ofstream out = OpenOut(plainPath, cipherPath);
    std::uint64_t remaining = length / 16 * 16 + 16; // ciphertext bytes still to write
    std::vector<std::uint8_t> buf;
    while (remaining > kFilePiece) {
        buf.resize(kFilePiece);
        ReadExactly(in, buf.data(), kFilePiece);
        EncryptBlocks(buf.data(), buf.data(), kFilePiece / 16);
        WriteAll(out, buf.data(), kFilePiece);
        remaining -= kFilePiece;
    }
    buf.assign(remaining, 0);
    ReadExactly(in, buf.data(), static_cast<std::size_t>(remaining - 16 + length % 16));
    buf.back() = static_cast<std::uint8_t>(length % 16);
    EncryptBlocks(buf.data(), buf.data(), buf.size() / 16);
    WriteAll(out, buf.data(), buf.size());
    out.close();
    if (!out) throw std::runtime_error("cRijndael - write error");
    return 0;
}

int cRijndael::FileDecrypt(const std::string &plainPath, const std::string &cipherPath) {
    warning_.clear();
    if (rounds_ == 0) throw std::logic_error("cRijndael - no cipher key set");
    std::ifstream in = OpenIn(cipherPath);
    const std::uint64_t n = std::filesystem::file_size(cipherPath);
    if (n == 0 || n % 16 != 0) {
        Tell("File Size Error - ciphertext file not a multiple of block size");
        return 1;
    }
    std::ofstream out = OpenOut(cipherPath, plainPath);
    std::uint64_t remaining = n;
    std::vector<std::uint8_t> buf;
    while (remaining > kFilePiece) {
        buf.resize(kFilePiece);
        ReadExactly(in, buf.data(), kFilePiece);
        DecryptBlocks(buf.data(), buf.data(), kFilePiece / 16);
        WriteAll(out, buf.data(), kFilePiece);
        remaining -= kFilePiece;
    }
    buf.resize(remaining);
    ReadExactly(in, buf.data(), buf.size());
    DecryptBlocks(buf.data(), buf.data(), buf.size() / 16);
    const unsigned b = buf.back();
    if (b < 16) {
        WriteAll(out, buf.data(), buf.size() - 16 + b);
    } else {
        Tell("warning - incorrect length field in decrypted file.\nWrong key or keysize?");
        WriteAll(out, buf.data(), buf.size());
    }
    out.close();
    if (!out) throw std::runtime_error("cRijndael - write error");
    return 0;
}

} // namespace kalmira::crypto
