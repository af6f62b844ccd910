// The encrypted stream: header, info block, then name and data in chunks of
// 64 KiB, the last one tagged final. Bits are taken and given k at a time in
// the order the Hamming blocks carry them (lowest bit of each byte first).
#pragma once

#include "stealth/format.h"
#include "stealth/stealth.h"

#include <sodium.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace kalmira::stealth {

// Produces the ciphertext when hiding. `read` fills the next data bytes and
// returns false when the source fails.
class CipherWriter {
public:
    using Reader = std::function<bool(std::uint8_t *out, std::size_t n)>;
    CipherWriter(const std::uint8_t *key, const format::Info &info, const std::string &name, Reader read);
    ~CipherWriter();

    const std::array<std::uint8_t, format::kHeadBytes> &head() const { return head_; }
    // XORs the next n body bytes into out; random bytes once the body is exhausted.
    void xorInto(std::uint8_t *out, std::size_t n);
    bool failed() const { return failed_; }

private:
    bool refill();

    crypto_secretstream_xchacha20poly1305_state st_;
    std::array<std::uint8_t, format::kHeadBytes> head_{};
    std::string name_;
    Reader read_;
    std::uint64_t plainTotal_, plainDone_ = 0;
    platform::SecureBytes plain_ = platform::SecureBytes(format::kChunkPlain);
    std::vector<std::uint8_t> cipher_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

// Opens the head and consumes the body when extracting.
class CipherReader {
public:
    enum class State { Running, Done, Damaged, SinkFailed, SinkDeclined, TooLarge };
    CipherReader() = default;
    ~CipherReader();

    // False when the head does not open (no data or wrong password).
    bool open(const std::uint8_t *key, const std::uint8_t *head, format::Info &info);
    // Plaintext goes to the name, then to the sink (begun once the name is complete).
    void start(Sink &sink, PayloadFacts &facts);
    void give(const std::uint8_t *bytes, std::size_t n);
    State state() const { return state_; }

private:
    void pull();
    void deliver(const std::uint8_t *p, std::size_t n);

    crypto_secretstream_xchacha20poly1305_state st_;
    format::Info info_;
    Sink *sink_ = nullptr;
    PayloadFacts *facts_ = nullptr;
    std::uint64_t plainTotal_ = 0, plainDone_ = 0;
    std::vector<std::uint8_t> cipher_;
    std::size_t want_ = 0;
    platform::SecureBytes plain_ = platform::SecureBytes(format::kChunkPlain);
    State state_ = State::Running;
    bool began_ = false;
};

} // namespace kalmira::stealth
