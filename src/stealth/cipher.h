// The encrypted stream of both format versions: header, info block, then
// name and data in chunks of 64 KiB, the last one tagged final. The info
// block is passed and returned as its 16 plain bytes, so that each version
// encodes its own. Version 2 carries the stream as single bits in the order
// its code blocks carry them; version 1's reader hands in whole bytes.
#pragma once

#include "platform/secure_memory.h"
#include "stealth/format.h"
#include "stealth/stealth.h"

#include <sodium.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kalmira::stealth {

using InfoBlock = std::array<std::uint8_t, format::kInfoPlain>;

// Produces the ciphertext when hiding. `read` fills the next data bytes and
// returns false when the source fails.
class StreamWriter {
public:
    using Reader = std::function<bool(std::uint8_t *out, std::size_t n)>;
    StreamWriter(const std::uint8_t *key, const InfoBlock &info, const std::string &name, std::uint64_t dataBytes,
                 Reader read);
    ~StreamWriter();
    StreamWriter(const StreamWriter &) = delete;
    StreamWriter &operator=(const StreamWriter &) = delete;

    const std::array<std::uint8_t, format::kHeadBytes> &head() const { return head_; }
    // The next n body bits, one per byte (lowest bit of each stream byte first);
    // random bits once the body is exhausted.
    void bits(std::uint8_t *out, std::size_t n);
    bool failed() const { return failed_; }

private:
    bool refill();
    std::uint8_t nextByte();

    crypto_secretstream_xchacha20poly1305_state st_;
    std::array<std::uint8_t, format::kHeadBytes> head_{};
    std::string name_;
    Reader read_;
    std::uint64_t plainTotal_, plainDone_ = 0;
    platform::SecureBytes plain_ = platform::SecureBytes(format::kChunkPlain);
    std::vector<std::uint8_t> cipher_;
    std::size_t pos_ = 0;
    std::uint8_t byte_ = 0;
    int bitsLeft_ = 0;
    bool failed_ = false, finished_ = false;
};

// Opens the head and consumes the body when extracting.
class StreamReader {
public:
    enum class State {
        Running,
        Done,
        Damaged,
        SinkFailed,
        SinkDeclined,
        TooLarge
    };
    StreamReader() = default;
    ~StreamReader();
    StreamReader(const StreamReader &) = delete;
    StreamReader &operator=(const StreamReader &) = delete;

    // False when the head does not open (no data or wrong password).
    bool open(const std::uint8_t *key, const std::uint8_t *head, InfoBlock &info);
    // Plaintext goes to the name, then to the sink (begun once the name is complete).
    void start(Sink &sink, PayloadFacts &facts, Kind kind, std::uint16_t nameBytes, std::uint64_t dataBytes);
    // The next n body bits, one per byte.
    void bits(const std::uint8_t *in, std::size_t n);
    // The next n body bytes (version 1).
    void give(const std::uint8_t *bytes, std::size_t n);
    State state() const { return state_; }

private:
    void give(std::uint8_t byte);
    void pull();
    void deliver(const std::uint8_t *p, std::size_t n);

    crypto_secretstream_xchacha20poly1305_state st_;
    Sink *sink_ = nullptr;
    PayloadFacts *facts_ = nullptr;
    std::uint64_t nameBytes_ = 0, plainTotal_ = 0, plainDone_ = 0;
    std::vector<std::uint8_t> cipher_;
    std::size_t want_ = 0;
    platform::SecureBytes plain_ = platform::SecureBytes(format::kChunkPlain);
    std::uint8_t byte_ = 0;
    int bitsIn_ = 0;
    State state_ = State::Running;
    bool began_ = false;
};

} // namespace kalmira::stealth
