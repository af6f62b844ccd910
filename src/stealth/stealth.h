// The stealth format ("Tarnformat"): a payload encrypted with a password-derived
// key and spread over every usable sample byte of a BMP or WAV carrier, so that
// nothing in the carrier can be read or recognised without the password.
// Engines only: results are returned, never shown; stealth_texts.h words them.
#pragma once

#include "carrier/stealth_layout.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kalmira::stealth {

// Why a carrier cannot take the format, and where its usable bytes lie: the
// carrier layer decides.
using carrier::Layout;
using carrier::ReadLayout;
using carrier::ReadPass;
using Unsuitable = carrier::Unsuitable;

// Progress from 0 to 1; return false to cancel (honoured before the carrier is written).
using Progress = std::function<bool(double fraction)>;

struct CapacityResult {
    enum class Outcome {
        Ok,
        CarrierUnsuitable,
        IoError
    } outcome = Outcome::IoError;
    Unsuitable reason = Unsuitable::None;
    std::uint64_t usableBytes = 0;    // sample bytes that may change
    std::uint64_t largestPayload = 0; // stored name plus data, in bytes
    // Stored name plus data at which the format stays near chance for a trained
    // detector; hiding more is allowed but warned about.
    std::uint64_t recommendedPayload = 0;
    bool jpegOrigin = false; // a picture that was once a JPEG: every change stands out
};

// Version 2's capacity of the carrier (what a hide writes).
CapacityResult Capacity(const std::string &carrierPath);
// Version 1's, from the layout alone: whether an older carrier may hold data.
CapacityResult CapacityOf(const Layout &layout);
// Whether the carrier may hold data of either version (headers only: a
// carrier too small for version 2 may still hold version 1).
bool MayHoldData(const std::string &carrierPath);

// The format's fit rule, for the windows, the tool and the guarded runs:
// whether a payload of `payloadBytes` (stored name plus data) fits.
struct FitCheck {
    enum class Outcome {
        Fits,
        CarrierUnsuitable,
        TooSmall,
        IoError
    } outcome = Outcome::IoError;
    Unsuitable reason = Unsuitable::None;
    std::uint64_t largestPayload = 0;
    std::uint64_t payloadBytes = 0;
};
FitCheck CheckFit(const CapacityResult &capacity, std::uint64_t payloadBytes);
FitCheck CheckFit(const std::string &carrierPath, std::uint64_t payloadBytes);
inline std::uint64_t PayloadBytes(const std::string &storedName, std::uint64_t dataBytes) {
    return storedName.size() + dataBytes;
}

enum class Kind : std::uint8_t {
    File = 0,
    Message = 1
};

// What a hide or extract run works with. The password is 1 to 16 Windows-1252
// bytes, exactly as the windows take it; the stored name is UTF-8, at most
// kMaxNameBytes.
inline constexpr std::size_t kMaxPasswordBytes = 16;
inline constexpr std::size_t kMaxNameBytes = 1024;

// Key-derivation cost. The defaults are the format's; carriers made with other
// values are unreadable by the programs. Only tests lower them.
struct Tuning {
    std::uint64_t kdfOps = 10;
    std::size_t kdfMemBytes = std::size_t{64} << 20;
    std::size_t windowBytes = std::size_t{32} << 20; // payload bits held per carrier pass
};

struct HideSource {
    std::string path;                    // a file to hide, or
    std::span<const std::uint8_t> bytes; // bytes in memory (used when path is empty)
};

struct HideResult {
    enum class Outcome {
        Written,
        CarrierUnsuitable,
        TooSmall,
        BadPassword, // empty, longer than 16 bytes
        NameTooLong,
        SourceError, // the file to hide cannot be read (or changed while read)
        Cancelled,   // nothing written
        IoError,     // the carrier could not be read or written
    } outcome = Outcome::IoError;
    Unsuitable reason = Unsuitable::None;
    std::uint64_t usableBytes = 0;
    std::uint64_t largestPayload = 0;
    std::uint64_t payloadBytes = 0; // name plus data
    std::uint64_t changedBytes = 0; // carrier bytes changed by one
    int hammingK = 0;               // k of the Hamming code used for the data
    bool carrierTouched = false;    // IoError only: the carrier may be partly written
};

// What an extraction learns once the password has opened the payload.
struct PayloadFacts {
    Kind kind = Kind::File;
    std::string storedName;
    std::uint64_t length = 0; // data bytes, without the name
};

// Receives the data of an extraction. Data arrive chunk by chunk, each chunk
// authenticated; commit() comes only once the whole stream is, abort() otherwise.
class Sink {
public:
    virtual ~Sink() = default;
    // False declines (Cancelled, or TooLarge when `tooLarge` is set).
    virtual bool begin(const PayloadFacts &facts, bool &tooLarge) = 0;
    virtual bool write(std::span<const std::uint8_t> data) = 0;
    virtual bool commit() = 0;
    virtual void abort() = 0;
};

// Writes into a staged file beside the destination (platform::StagedFile)
// and puts it in place on commit; the staged file is wiped and removed on
// abort. The destination is fixed, or chosen once the facts are known ("" cancels).
// An existing destination is replaced (unless `replace` is false); one that
// is no regular file, or a dangling link, is refused.
class StagedFileSink : public Sink {
public:
    explicit StagedFileSink(std::string destination);
    explicit StagedFileSink(std::function<std::string(const PayloadFacts &)> choose);
    ~StagedFileSink() override;
    bool begin(const PayloadFacts &facts, bool &tooLarge) override;
    bool write(std::span<const std::uint8_t> data) override;
    bool commit() override;
    void abort() override;
    void setReplace(bool replace) { replace_ = replace; }
    // As written: control characters of the name replaced.
    const std::string &destination() const { return destination_; }
    bool refused() const { return refused_; } // the destination was no regular file
    bool existed() const { return exists_; }  // commit found the destination and may not replace it

private:
    struct File;
    std::function<std::string(const PayloadFacts &)> choose_;
    std::string destination_;
    std::unique_ptr<File> file_;
    std::uint64_t written_ = 0;
    bool replace_ = true, refused_ = false, exists_ = false;
};

// Keeps the data in memory (messages), up to maxBytes; wiped on destruction.
class MemorySink : public Sink {
public:
    explicit MemorySink(std::uint64_t maxBytes) : max_(maxBytes) {}
    ~MemorySink() override;
    bool begin(const PayloadFacts &facts, bool &tooLarge) override;
    bool write(std::span<const std::uint8_t> data) override;
    bool commit() override { return true; }
    void abort() override;
    const std::vector<std::uint8_t> &data() const { return data_; }

private:
    std::uint64_t max_;
    std::vector<std::uint8_t> data_;
};

struct ExtractResult {
    enum class Outcome {
        Extracted,
        NoDataOrWrongPassword, // one answer by design: the carrier cannot tell them apart
        Damaged,               // opened with the password, but changed or cut short
        CarrierUnsuitable,
        BadPassword,
        TooLarge, // the sink refused the length
        Cancelled,
        IoError, // carrier unreadable or the sink failed
    } outcome = Outcome::IoError;
    Unsuitable reason = Unsuitable::None;
    PayloadFacts facts; // valid from Damaged on (the header opened)
};

ExtractResult Extract(const std::string &carrierPath, std::string_view password, Sink &sink,
                      const Progress &progress = {}, const Tuning &tuning = {});

} // namespace kalmira::stealth
