#include "stealth/cipher.h"

#include <algorithm>
#include <cstring>

namespace kalmira::stealth {

using format::kAbytes;
using format::kChunkPlain;

CipherWriter::CipherWriter(const std::uint8_t *key, const format::Info &info, const std::string &name,
                           Reader read)
    : name_(name), read_(std::move(read)), plainTotal_(info.nameBytes + info.dataBytes) {
    crypto_secretstream_xchacha20poly1305_init_push(&st_, head_.data(), key);
    const auto plain = format::EncodeInfo(info);
    crypto_secretstream_xchacha20poly1305_push(&st_, head_.data() + format::kStreamHeader, nullptr,
                                               plain.data(), plain.size(), nullptr, 0, 0);
    cipher_.reserve(kChunkPlain + kAbytes);
}

CipherWriter::~CipherWriter() {
    sodium_memzero(&st_, sizeof st_);
    sodium_memzero(name_.data(), name_.size());
}

bool CipherWriter::refill() {
    if (plainDone_ >= plainTotal_ && !cipher_.empty()) return false; // final chunk sent
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkPlain, plainTotal_ - plainDone_));
    std::size_t fromName = 0;
    if (plainDone_ < name_.size()) {
        fromName = std::min<std::size_t>(n, name_.size() - static_cast<std::size_t>(plainDone_));
        std::memcpy(plain_.data(), name_.data() + plainDone_, fromName);
    }
    if (n > fromName && !read_(plain_.data() + fromName, n - fromName)) {
        failed_ = true;
        return false;
    }
    plainDone_ += n;
    const std::uint8_t tag = plainDone_ == plainTotal_ ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0;
    cipher_.resize(n + kAbytes);
    crypto_secretstream_xchacha20poly1305_push(&st_, cipher_.data(), nullptr, plain_.data(), n, nullptr, 0, tag);
    pos_ = 0;
    return true;
}

void CipherWriter::xorInto(std::uint8_t *out, std::size_t n) {
    while (n > 0) {
        if (pos_ == cipher_.size() && !refill()) {
            std::vector<std::uint8_t> pad(n);
            randombytes_buf(pad.data(), n);
            for (std::size_t i = 0; i < n; ++i) out[i] ^= pad[i];
            return;
        }
        const std::size_t m = std::min(n, cipher_.size() - pos_);
        for (std::size_t i = 0; i < m; ++i) out[i] ^= cipher_[pos_ + i];
        pos_ += m;
        out += m;
        n -= m;
    }
}

CipherReader::~CipherReader() { sodium_memzero(&st_, sizeof st_); }

bool CipherReader::open(const std::uint8_t *key, const std::uint8_t *head, format::Info &info) {
    if (crypto_secretstream_xchacha20poly1305_init_pull(&st_, head, key) != 0) return false;
    std::uint8_t plain[format::kInfoPlain];
    unsigned char tag = 0;
    const int r = crypto_secretstream_xchacha20poly1305_pull(
        &st_, plain, nullptr, &tag, head + format::kStreamHeader, format::kInfoPlain + kAbytes, nullptr, 0);
    if (r != 0 || tag != 0) return false;
    const auto decoded = format::DecodeInfo(plain);
    if (!decoded) {
        state_ = State::Damaged;
        return true;
    }
    info_ = info = *decoded;
    plainTotal_ = info.nameBytes + info.dataBytes;
    return true;
}

void CipherReader::start(Sink &sink, PayloadFacts &facts) {
    sink_ = &sink;
    facts_ = &facts;
    facts.kind = info_.kind;
    facts.length = info_.dataBytes;
    want_ = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkPlain, plainTotal_) + kAbytes);
    cipher_.reserve(want_);
    if (info_.nameBytes == 0) deliver(nullptr, 0);
}

void CipherReader::give(const std::uint8_t *bytes, std::size_t n) {
    while (n > 0 && state_ == State::Running) {
        const std::size_t m = std::min(n, want_ - cipher_.size());
        cipher_.insert(cipher_.end(), bytes, bytes + m);
        bytes += m;
        n -= m;
        if (cipher_.size() == want_) pull();
    }
}

void CipherReader::pull() {
    unsigned long long n = 0;
    unsigned char tag = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(&st_, plain_.data(), &n, &tag, cipher_.data(),
                                                   cipher_.size(), nullptr, 0) != 0) {
        state_ = State::Damaged;
        return;
    }
    plainDone_ += n;
    const bool last = plainDone_ == plainTotal_;
    if (tag != (last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0)) {
        state_ = State::Damaged;
        return;
    }
    const std::uint64_t chunkStart = plainDone_ - n;
    std::size_t skip = 0;
    if (chunkStart < info_.nameBytes) {
        skip = static_cast<std::size_t>(std::min<std::uint64_t>(n, info_.nameBytes - chunkStart));
        facts_->storedName.append(reinterpret_cast<const char *>(plain_.data()), skip);
    }
    if (facts_->storedName.size() == info_.nameBytes && (skip > 0 || chunkStart >= info_.nameBytes))
        deliver(plain_.data() + skip, static_cast<std::size_t>(n) - skip);
    if (state_ != State::Running) return;
    cipher_.clear();
    want_ = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkPlain, plainTotal_ - plainDone_) + kAbytes);
    if (last) state_ = State::Done;
}

// The first call (name complete) begins the sink.
void CipherReader::deliver(const std::uint8_t *p, std::size_t n) {
    if (facts_->storedName.size() == info_.nameBytes && sink_ && !began_) {
        began_ = true;
        bool tooLarge = false;
        if (!sink_->begin(*facts_, tooLarge)) {
            state_ = tooLarge ? State::TooLarge : State::SinkDeclined;
            return;
        }
    }
    if (n > 0 && !sink_->write({p, n})) state_ = State::SinkFailed;
}

} // namespace kalmira::stealth
