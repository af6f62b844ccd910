#include "stealth/cipher.h"

#include <algorithm>
#include <cstring>

namespace kalmira::stealth {

using format::kAbytes;
using format::kChunkPlain;

StreamWriter::StreamWriter(const std::uint8_t *key, const InfoBlock &info, const std::string &name,
                           std::uint64_t dataBytes, Reader read)
    : name_(name), read_(std::move(read)), plainTotal_(name.size() + dataBytes) {
    crypto_secretstream_xchacha20poly1305_init_push(&st_, head_.data(), key);
    crypto_secretstream_xchacha20poly1305_push(&st_, head_.data() + format::kStreamHeader, nullptr, info.data(),
                                               info.size(), nullptr, 0, 0);
    cipher_.reserve(kChunkPlain + kAbytes);
}

StreamWriter::~StreamWriter() {
    sodium_memzero(&st_, sizeof st_);
    sodium_memzero(name_.data(), name_.size());
}

bool StreamWriter::refill() {
    if (finished_) return false; // final chunk sent
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkPlain, plainTotal_ - plainDone_));
    std::size_t fromName = 0;
    if (plainDone_ < name_.size()) {
        fromName = std::min<std::size_t>(n, name_.size() - static_cast<std::size_t>(plainDone_));
        std::memcpy(plain_.data(), name_.data() + plainDone_, fromName);
    }
    if (n > fromName && !read_(plain_.data() + fromName, n - fromName)) {
        failed_ = finished_ = true;
        return false;
    }
    plainDone_ += n;
    finished_ = plainDone_ == plainTotal_;
    const std::uint8_t tag = finished_ ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0;
    cipher_.resize(n + kAbytes);
    crypto_secretstream_xchacha20poly1305_push(&st_, cipher_.data(), nullptr, plain_.data(), n, nullptr, 0, tag);
    pos_ = 0;
    return true;
}

std::uint8_t StreamWriter::nextByte() {
    if (pos_ == cipher_.size() && !refill()) {
        std::uint8_t pad;
        randombytes_buf(&pad, 1);
        return pad;
    }
    return cipher_[pos_++];
}

void StreamWriter::bits(std::uint8_t *out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (bitsLeft_ == 0) {
            byte_ = nextByte();
            bitsLeft_ = 8;
        }
        out[i] = byte_ & 1;
        byte_ >>= 1;
        --bitsLeft_;
    }
}

StreamReader::~StreamReader() { sodium_memzero(&st_, sizeof st_); }

bool StreamReader::open(const std::uint8_t *key, const std::uint8_t *head, InfoBlock &info) {
    if (crypto_secretstream_xchacha20poly1305_init_pull(&st_, head, key) != 0) return false;
    unsigned char tag = 0;
    const int r = crypto_secretstream_xchacha20poly1305_pull(
        &st_, info.data(), nullptr, &tag, head + format::kStreamHeader, format::kInfoPlain + kAbytes, nullptr, 0);
    return r == 0 && tag == 0;
}

void StreamReader::start(Sink &sink, PayloadFacts &facts, Kind kind, std::uint16_t nameBytes, std::uint64_t dataBytes) {
    sink_ = &sink;
    facts_ = &facts;
    facts.kind = kind;
    facts.length = dataBytes;
    nameBytes_ = nameBytes;
    plainTotal_ = nameBytes + dataBytes;
    want_ = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkPlain, plainTotal_) + kAbytes);
    cipher_.reserve(want_);
    if (nameBytes == 0) deliver(nullptr, 0);
}

void StreamReader::bits(const std::uint8_t *in, std::size_t n) {
    for (std::size_t i = 0; i < n && state_ == State::Running; ++i) {
        byte_ |= static_cast<std::uint8_t>((in[i] & 1) << bitsIn_);
        if (++bitsIn_ == 8) {
            give(byte_);
            byte_ = 0;
            bitsIn_ = 0;
        }
    }
}

void StreamReader::give(std::uint8_t byte) {
    cipher_.push_back(byte);
    if (cipher_.size() == want_) pull();
}

void StreamReader::give(const std::uint8_t *bytes, std::size_t n) {
    while (n > 0 && state_ == State::Running) {
        const std::size_t m = std::min(n, want_ - cipher_.size());
        cipher_.insert(cipher_.end(), bytes, bytes + m);
        bytes += m;
        n -= m;
        if (cipher_.size() == want_) pull();
    }
}

void StreamReader::pull() {
    unsigned long long n = 0;
    unsigned char tag = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(&st_, plain_.data(), &n, &tag, cipher_.data(), cipher_.size(),
                                                   nullptr, 0) != 0) {
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
    if (chunkStart < nameBytes_) {
        skip = static_cast<std::size_t>(std::min<std::uint64_t>(n, nameBytes_ - chunkStart));
        facts_->storedName.append(reinterpret_cast<const char *>(plain_.data()), skip);
    }
    if (facts_->storedName.size() == nameBytes_ && (skip > 0 || chunkStart >= nameBytes_))
        deliver(plain_.data() + skip, static_cast<std::size_t>(n) - skip);
    if (state_ != State::Running) return;
    cipher_.clear();
    want_ = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkPlain, plainTotal_ - plainDone_) + kAbytes);
    if (last) state_ = State::Done;
}

// The first call (name complete) begins the sink.
void StreamReader::deliver(const std::uint8_t *p, std::size_t n) {
    if (facts_->storedName.size() == nameBytes_ && sink_ && !began_) {
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
