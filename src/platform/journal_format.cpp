// Journal encoding, encryption and reading back.
#include "platform/journal_io.h"

#include <sodium.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace kalmira::platform::journal_io {

namespace {

enum FrameType : std::uint8_t {
    kIdentity = 0,
    kRegion = 1,
    kSparse = 2
};
enum RegionForm : std::uint8_t {
    kFull = 0,
    kLowBit = 1
};
constexpr std::uint8_t kStepForm = 0x04; // sparse tag: each byte moved by one, directions in bits 4..7

void put(std::vector<std::uint8_t> &out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint64_t get(const std::uint8_t *p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

void putVarint(std::vector<std::uint8_t> &out, std::uint64_t v) {
    for (; v >= 0x80; v >>= 7) out.push_back(static_cast<std::uint8_t>(v | 0x80));
    out.push_back(static_cast<std::uint8_t>(v));
}

// Reads forward through a frame's plaintext; any overrun marks it bad.
struct Cursor {
    const std::uint8_t *p, *end;
    bool bad = false;
    bool need(std::size_t n) { return !(bad = bad || static_cast<std::size_t>(end - p) < n); }
    std::uint64_t fixed(int bytes) {
        if (!need(static_cast<std::size_t>(bytes))) return 0;
        const std::uint64_t v = get(p, bytes);
        p += bytes;
        return v;
    }
    std::uint64_t varint() {
        std::uint64_t v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (!need(1)) return 0;
            const std::uint8_t b = *p++;
            v |= std::uint64_t{b & 0x7Fu} << shift;
            if (!(b & 0x80)) return v;
        }
        bad = true;
        return 0;
    }
    const std::uint8_t *bytes(std::size_t n) {
        if (!need(n)) return nullptr;
        const std::uint8_t *q = p;
        p += n;
        return q;
    }
};

bool DecodeRegion(Cursor &c, Changes &out) {
    const auto offset = static_cast<std::int64_t>(c.fixed(8));
    const auto n = static_cast<std::size_t>(c.fixed(4));
    const auto form = static_cast<std::uint8_t>(c.fixed(1));
    const std::uint8_t *before = c.bytes(n);
    const std::uint8_t *after = c.bytes(form == kLowBit ? (n + 7) / 8 : n);
    if (c.bad || offset < 0 || n == 0 || form > kLowBit) return false;
    out.offset.push_back(offset);
    out.length.push_back(static_cast<std::uint32_t>(n));
    out.before.insert(out.before.end(), before, before + n);
    if (form == kFull) {
        out.after.insert(out.after.end(), after, after + n);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            out.after.push_back(static_cast<std::uint8_t>(before[i] ^ ((after[i / 8] >> (i % 8)) & 1)));
    }
    return true;
}

bool DecodeSparse(Cursor &c, Changes &out) {
    const std::uint64_t count = c.fixed(4);
    std::int64_t end = 0;
    for (std::uint64_t i = 0; i < count && !c.bad; ++i) {
        const std::uint64_t zig = c.varint();
        const std::int64_t gap = static_cast<std::int64_t>(zig >> 1) ^ -static_cast<std::int64_t>(zig & 1);
        const auto tag = static_cast<std::uint8_t>(c.fixed(1));
        const std::size_t n = (tag & 3u) + 1;
        const std::uint8_t *before = c.bytes(n);
        const std::uint8_t *after = tag & kStepForm ? nullptr : c.bytes(n);
        const std::int64_t offset = end + gap;
        if (c.bad || offset < 0) return false;
        out.offset.push_back(offset);
        out.length.push_back(static_cast<std::uint32_t>(n));
        for (std::size_t k = 0; k < n; ++k) {
            out.before.push_back(before[k]);
            const int step = (tag >> (4 + k)) & 1 ? 1 : -1;
            out.after.push_back(after ? after[k] : static_cast<std::uint8_t>(before[k] + step));
        }
        end = offset + static_cast<std::int64_t>(n);
    }
    return !c.bad;
}

std::array<std::uint8_t, 24> FrameNonce(const std::uint8_t *nonce, std::uint64_t index) {
    std::array<std::uint8_t, 24> n{};
    std::memcpy(n.data(), nonce, n.size());
    for (int i = 0; i < 8; ++i) n[static_cast<std::size_t>(i)] ^= static_cast<std::uint8_t>(index >> (8 * i));
    return n;
}

} // namespace

bool InitCrypto() { return sodium_init() >= 0; }

std::vector<std::uint8_t> EncodeIdentity(const Identity &id) {
    std::vector<std::uint8_t> out{kIdentity};
    put(out, id.device, 8);
    put(out, id.inode, 8);
    put(out, static_cast<std::uint64_t>(id.size), 8);
    put(out, id.mode, 4);
    put(out, id.flags, 4);
    return out;
}

std::vector<std::uint8_t> EncodeRegion(std::int64_t offset, const std::uint8_t *before, const std::uint8_t *after,
                                       std::size_t n) {
    bool lowBit = true;
    for (std::size_t i = 0; i < n && lowBit; ++i) lowBit = (before[i] ^ after[i]) <= 1;
    std::vector<std::uint8_t> out{kRegion};
    out.reserve(14 + n + (lowBit ? n / 8 + 1 : n));
    put(out, static_cast<std::uint64_t>(offset), 8);
    put(out, n, 4);
    out.push_back(lowBit ? kLowBit : kFull);
    out.insert(out.end(), before, before + n);
    if (!lowBit) {
        out.insert(out.end(), after, after + n);
        return out;
    }
    const std::size_t at = out.size();
    out.resize(at + (n + 7) / 8, 0);
    for (std::size_t i = 0; i < n; ++i)
        out[at + i / 8] |= static_cast<std::uint8_t>(((before[i] ^ after[i]) & 1) << (i % 8));
    return out;
}

std::vector<std::uint8_t> EncodeSparse(std::span<const ByteChange> batch) {
    std::vector<std::uint8_t> out{kSparse};
    out.reserve(5 + batch.size() * 4);
    put(out, batch.size(), 4);
    std::int64_t end = 0;
    for (const ByteChange &c : batch) {
        const std::int64_t gap = c.offset - end;
        putVarint(out, (static_cast<std::uint64_t>(gap) << 1) ^ static_cast<std::uint64_t>(gap >> 63));
        std::uint8_t tag = static_cast<std::uint8_t>(c.length - 1) | kStepForm;
        for (std::size_t k = 0; k < c.length; ++k) {
            if (c.after[k] == static_cast<std::uint8_t>(c.before[k] + 1))
                tag |= static_cast<std::uint8_t>(0x10 << k);
            else if (c.after[k] != static_cast<std::uint8_t>(c.before[k] - 1))
                tag &= static_cast<std::uint8_t>(~kStepForm);
        }
        if (!(tag & kStepForm)) tag &= 0x03;
        out.push_back(tag);
        out.insert(out.end(), c.before.begin(), c.before.begin() + c.length);
        if (!(tag & kStepForm)) out.insert(out.end(), c.after.begin(), c.after.begin() + c.length);
        end = c.offset + c.length;
    }
    return out;
}

bool SealFrame(const std::uint8_t *key, const std::uint8_t *nonce, std::uint64_t index,
               std::span<const std::uint8_t> plain, std::vector<std::uint8_t> &out) {
    const std::size_t clen = plain.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES;
    out.resize(4 + clen);
    for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(clen >> (8 * i));
    const auto n = FrameNonce(nonce, index);
    unsigned long long written = 0;
    return crypto_aead_xchacha20poly1305_ietf_encrypt(out.data() + 4, &written, plain.data(), plain.size(), nullptr, 0,
                                                      nullptr, n.data(), key) == 0 &&
           written == clen;
}

void LengthDigest(const std::uint8_t *key, std::uint64_t length, std::uint8_t out[16]) {
    std::uint8_t le[8];
    for (int i = 0; i < 8; ++i) le[i] = static_cast<std::uint8_t>(length >> (8 * i));
    crypto_generichash(out, 16, le, sizeof le, key, 32);
}

Reader::Status Reader::open() {
    std::uint8_t head[kHeadBytes];
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return Status::Unreadable;
    if (st.st_size < static_cast<off_t>(kHeadBytes)) return st.st_size == 0 ? Status::Void : Status::Damaged;
    if (!posix::ReadAll(fd_, head, sizeof head, 0)) return Status::Unreadable;
    std::memcpy(key_, head, 32);
    std::memcpy(nonce_, head + 32, 24);
    // A committed journal's key is overwritten with zeros before it goes.
    if (sodium_is_zero(key_, sizeof key_)) return Status::Void;
    length_ = static_cast<std::int64_t>(get(head + kLengthAt, 8));
    std::uint8_t digest[16];
    LengthDigest(key_, static_cast<std::uint64_t>(length_), digest);
    if (sodium_memcmp(digest, head + kLengthAt + 8, 16) != 0 || length_ > st.st_size ||
        length_ < static_cast<std::int64_t>(kHeadBytes))
        return Status::Damaged;
    std::int64_t pos = kHeadBytes;
    std::vector<std::uint8_t> plain;
    const Status s = frame(pos, plain, 0);
    if (s != Status::Valid) return s;
    Cursor c{plain.data(), plain.data() + plain.size()};
    if (c.fixed(1) != kIdentity) return Status::Damaged;
    id_.device = c.fixed(8);
    id_.inode = c.fixed(8);
    id_.size = static_cast<std::int64_t>(c.fixed(8));
    id_.mode = static_cast<std::uint32_t>(c.fixed(4));
    id_.flags = static_cast<std::uint32_t>(c.fixed(4));
    firstChange_ = pos;
    return c.bad ? Status::Damaged : Status::Valid;
}

Reader::Status Reader::frame(std::int64_t &pos, std::vector<std::uint8_t> &plain, std::uint64_t index) {
    std::uint8_t len[4];
    if (pos + 4 > length_) return Status::Damaged;
    if (!posix::ReadAll(fd_, len, 4, pos)) return Status::Unreadable;
    const std::uint64_t clen = get(len, 4);
    if (clen < crypto_aead_xchacha20poly1305_ietf_ABYTES || clen > kMaxFrame ||
        pos + 4 + static_cast<std::int64_t>(clen) > length_)
        return Status::Damaged;
    std::vector<std::uint8_t> cipher(static_cast<std::size_t>(clen));
    if (!posix::ReadAll(fd_, cipher.data(), cipher.size(), pos + 4)) return Status::Unreadable;
    plain.resize(cipher.size() - crypto_aead_xchacha20poly1305_ietf_ABYTES);
    const auto n = FrameNonce(nonce_, index);
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(plain.data(), nullptr, nullptr, cipher.data(), cipher.size(),
                                                   nullptr, 0, n.data(), key_) != 0)
        return Status::Damaged;
    pos += 4 + static_cast<std::int64_t>(clen);
    return Status::Valid;
}

Reader::Status Reader::forEach(const std::function<bool(const Changes &)> &fn) {
    std::int64_t pos = firstChange_;
    std::vector<std::uint8_t> plain;
    Changes changes;
    for (std::uint64_t index = 1; pos < length_; ++index) {
        const Status s = frame(pos, plain, index);
        if (s != Status::Valid) return s;
        Cursor c{plain.data(), plain.data() + plain.size()};
        changes.clear();
        const auto type = c.fixed(1);
        const bool ok = type == kRegion ? DecodeRegion(c, changes) : type == kSparse && DecodeSparse(c, changes);
        if (!ok || c.p != c.end) return Status::Damaged;
        for (std::size_t i = 0; i < changes.offset.size(); ++i)
            if (changes.offset[i] + static_cast<std::int64_t>(changes.length[i]) > id_.size) return Status::Damaged;
        if (!fn(changes)) return Status::Valid;
    }
    return Status::Valid;
}

std::string JournalName(std::uint64_t device, std::uint64_t inode) {
    char name[64];
    std::snprintf(name, sizeof name, ".~%llx-%llx.jnl", static_cast<unsigned long long>(inode),
                  static_cast<unsigned long long>(device));
    return name;
}

} // namespace kalmira::platform::journal_io
