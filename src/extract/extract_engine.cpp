#include "extract/extract_engine.h"

#include "compress/ZorbComprFile.h"
#include "compress/zlib_memory.h"
#include "crypto/cRijndael.h"
#include "crypto/clsMD5.h"
#include "crypto/clsRC4.h"
#include "crypto/keys.h"
#include "platform/binary_file.h"
#include "platform/platform.h"
#include "platform/secure_memory.h"
#include "platform/temp_file.h"
#include "shell/scope_guard.h"

#include <algorithm>
#include <vector>

namespace kalmira::extract {

using platform::BinaryFile;

namespace {

constexpr std::size_t kCarrierBlock = 32768;

// The message box takes text up to a NUL character and up to its capacity;
// false when that left something out.
bool TakeMessage(MessageExtractResult &r, std::string &message) {
    std::size_t shownLen = std::min(message.find('\0'), message.size());
    shownLen = std::min(shownLen, static_cast<std::size_t>(std::max(r.maxMessageSize, 0)));
    r.messageAnsi = message.substr(0, shownLen);
    r.messageShown = true;
    const bool whole = shownLen == message.size();
    platform::WipeString(message);
    return whole;
}

} // namespace

struct OpenedPayload::State {
    State(bool *busyFlag, Program program, const std::string &carrier) : busy(busyFlag) {
        if (busy) *busy = true;
        result.program = program;
        result.carrierPath = carrier;
        result.outcome = busy ? ExtractOutcome::Ready : ExtractOutcome::Busy;
    }
    ~State() { // decrypted data do not outlive the run
        platform::SecureWipe(data.data(), data.size());
        if (busy) *busy = false;
    }
    State(const State &) = delete;
    State &operator=(const State &) = delete;

    bool *busy; // the engine's flag while this run lives
    ExtractResult result;
    platform::FileLock lock; // shared, for the whole run
    BinaryFile file;
    std::int64_t carrierLength = 0;
    payload::ParsedHeader header;
    std::vector<std::uint8_t> data; // the hidden data, decrypted in place
    double start = 0;
};

OpenedPayload::OpenedPayload(std::unique_ptr<State> state) : state_(std::move(state)) {}
OpenedPayload::OpenedPayload(OpenedPayload &&other) noexcept = default;
OpenedPayload::~OpenedPayload() = default;
const ExtractResult &OpenedPayload::result() const { return state_->result; }
bool OpenedPayload::passwordMatches(std::string_view padded) const { return PasswordMatches(state_->header, padded); }

std::optional<payload::ParsedHeader> ReadPayloadHeader(const std::string &carrier) {
    BinaryFile f;
    if (!f.open(carrier, BinaryFile::Mode::Read)) return std::nullopt;
    return payload::ReadHeader(f, f.size());
}

bool PasswordMatches(const payload::ParsedHeader &header, std::string_view padded) {
    return crypto::clsMD5().DigestString(padded) == header.digest;
}

ExtractEngine::ExtractEngine() = default;

// ---- opening ----------------------------------------------------------------

// False with the outcome set when the run must not go on.
bool ExtractEngine::readHeader(State &s) {
    ExtractResult &r = s.result;
    auto stop = [&](ExtractOutcome outcome) { return r.outcome = outcome, false; };
    if (!platform::FileExists(r.carrierPath)) return stop(ExtractOutcome::CarrierMissing);
    const carrier::CarrierOpening opening = carrier::OpenCarrier(r.carrierPath, false, s.lock);
    r.recovered = opening.recovered;
    r.access = opening.access;
    if (opening.access == carrier::CarrierAccess::Missing) return stop(ExtractOutcome::CarrierMissing);
    if (opening.access != carrier::CarrierAccess::Ready) return stop(ExtractOutcome::NoAccess);
    if (!s.file.open(r.carrierPath, BinaryFile::Mode::Read)) return stop(ExtractOutcome::CarrierUnreadable);
    s.carrierLength = r.carrierSize = s.file.size();
    const std::optional<payload::ParsedHeader> header = payload::ReadHeader(s.file, s.carrierLength);
    if (!header) return stop(ExtractOutcome::CarrierUnreadable);
    s.header = *header;
    if (!s.header.mode) return stop(ExtractOutcome::NoPayload);
    r.mode = *s.header.mode;
    r.storedName = payload::PlainFileName(payload::StoredFileName(s.header));
    r.dataLength = s.header.dataLength.value_or(0);
    return true;
}

OpenedPayload ExtractEngine::open(ExtractProgress &, Program program, const std::string &carrierPath) {
    auto state = std::make_unique<State>(running_ ? nullptr : &running_, program, carrierPath);
    State &s = *state;
    ExtractResult &r = s.result;
    const bool b = program == Program::B;
    // The programs check the library at different moments: KalmiraB first.
    if (!s.busy) {
    } else if (b && !ZorbLibraryPresent()) { // NOLINT(bugprone-branch-clone)
        r.outcome = ExtractOutcome::LibraryMissing;
    } else if (carrierPath.empty()) {
        r.outcome = ExtractOutcome::NoCarrierChosen;
    } else if (!b && !ZorbLibraryPresent()) {
        r.outcome = ExtractOutcome::LibraryMissing;
    } else {
        s.start = platform::MonotonicSeconds();
        readHeader(s);
    }
    return OpenedPayload(std::move(state));
}

ExtractResult ExtractEngine::endProgram(OpenedPayload &opened) {
    if (opened.ready()) opened.state_->result.outcome = ExtractOutcome::ProgramEnded;
    return opened.result();
}

// ---- steps ----------------------------------------------------------------

Damage ExtractEngine::checkLength(const State &s) const {
    // The length field is untrusted: digits only, and the data must lie in the file.
    if (!s.header.dataLength) return Damage::LengthField;
    const std::int64_t n = *s.header.dataLength;
    if (!payload::DataWithin(n, s.carrierLength)) return Damage::LengthBeyondCarrier;
    if (s.result.mode == payload::Mode::Aes && n % 16 != 0) return Damage::AesBlocks;
    return Damage::None;
}

bool ExtractEngine::readFilePayload(ExtractProgress &progress, State &s) {
    const std::int64_t n = *s.header.dataLength;
    s.data.resize(static_cast<std::size_t>(n));
    std::vector<std::uint8_t> block(kCarrierBlock);
    double shown = 0;
    for (std::int64_t done = 0; done < n;) {
        progress.processEvents();
        const double pct = std::min(100.0, static_cast<double>(done) / static_cast<double>(n) * 100);
        if (pct - shown >= 1) progress.step(Step::Read, static_cast<int>(shown = pct));
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(kCarrierBlock / 8, n - done));
        if (!s.file.readAt(payload::kDataOffset + 8 * done, block.data(), 8 * count)) return false;
        payload::ReadBytes(block.data(), count, s.data.data() + done);
        done += static_cast<std::int64_t>(count);
    }
    s.file.close();
    progress.step(Step::ReadDone, 100);
    return true;
}

bool ExtractEngine::readMessagePayload(ExtractProgress &progress, State &s) {
    const std::int64_t n = *s.header.dataLength;
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(8 * n));
    if (!s.file.readAt(payload::kDataOffset, samples.data(), samples.size())) return false;
    s.data.resize(static_cast<std::size_t>(n));
    int shown = 0;
    const std::int64_t l8 = std::max<std::int64_t>(1, (n - 1) * 8);
    for (std::int64_t i = 0; i < n; ++i) {
        s.data[static_cast<std::size_t>(i)] = payload::ReadByte(samples.data() + 8 * i);
        const int pct = static_cast<int>(std::min<std::int64_t>(100, 8 * i * 100 / l8));
        if (pct - shown >= 1) progress.step(Step::Read, shown = pct);
    }
    s.file.close();
    progress.step(Step::ReadDone, 100);
    return true;
}

bool ExtractEngine::decrypt(State &s, std::string_view padded) {
    if (s.result.mode == payload::Mode::Plain) return true;
    std::string key = crypto::CipherKeyText(padded);
    ScopeGuard wipeKey{[&] { platform::WipeString(key); }};
    if (s.result.mode == payload::Mode::Rc4) {
        crypto::clsRC4().EncryptByte(s.data.data(), s.data.size(), key);
        return true;
    }
    crypto::cRijndael aes; // its key schedule is wiped when it ends
    aes.SetCipherKey(reinterpret_cast<const std::uint8_t *>(key.data()), key.size(), 256);
    std::vector<std::uint8_t> out;
    const bool ok = aes.ArrayDecrypt(out, s.data, 0) == 0;
    s.data.swap(out);
    platform::SecureWipe(out.data(), out.size());
    return ok;
}

// The decrypted data are inflated from memory straight into a staging file
// beside the destination, put in place only when complete. A destination
// that is not a regular file is never replaced.
ExtractOutcome ExtractEngine::decompressTo(ExtractView &view, State &s, FileExtractResult &r) {
    if (view.streams()) {
        const InflateStatus status =
            InflateMemory(s.data.data(), s.data.size(), [&](const std::uint8_t *b, std::size_t n) {
                r.extractedSize += static_cast<std::int64_t>(n);
                return view.write(b, n);
            });
        if (status == InflateStatus::Ok) return ExtractOutcome::Extracted;
        if (status == InflateStatus::SinkFailed) return ExtractOutcome::WriteFailed;
        r.damage = Damage::Decompression;
        return ExtractOutcome::Damaged;
    }
    const platform::PathKind kind = platform::KindOf(r.destination);
    if (kind != platform::PathKind::Absent && kind != platform::PathKind::Regular)
        return ExtractOutcome::DestinationNotRegular;
    platform::StagedFile staged(r.destination);
    if (staged.refused()) return ExtractOutcome::DestinationNotRegular; // a dangling link, say
    BinaryFile out;
    if (!staged.valid() || !out.open(staged.path(), BinaryFile::Mode::ReadWrite))
        return ExtractOutcome::FolderUnwritable;
    view.step(Step::Inflate, -1);
    int lastShown = -1;
    std::int64_t written = 0;
    const InflateStatus status = InflateMemory(
        s.data.data(), s.data.size(),
        [&](const std::uint8_t *bytes, std::size_t n) {
            if (!out.writeAt(written, bytes, n)) return false;
            written += static_cast<std::int64_t>(n);
            return true;
        },
        -1,
        [&](int pct) {
            if (pct == lastShown) return;
            view.step(Step::Inflate, lastShown = pct);
            view.processEvents();
        });
    platform::SecureWipe(s.data.data(), s.data.size());
    const bool flushed = status == InflateStatus::Ok && out.flush();
    if (!out.close() || status == InflateStatus::SinkFailed || (status == InflateStatus::Ok && !flushed))
        return ExtractOutcome::WriteFailed;
    if (status != InflateStatus::Ok) {
        r.damage = Damage::Decompression;
        return ExtractOutcome::Damaged;
    }
    switch (staged.commit(view.replaceExisting())) {
    case platform::StagedFile::Commit::Done: break;
    case platform::StagedFile::Commit::Exists: return ExtractOutcome::DestinationExists;
    case platform::StagedFile::Commit::Failed: return ExtractOutcome::ReplaceFailed;
    }
    r.extractedSize = written;
    return ExtractOutcome::Extracted;
}

// KalmiraA: inflated in memory; more than the message box holds is TooLarge.
ExtractOutcome ExtractEngine::decompressMessage(State &s, std::string &message, std::int64_t limit) {
    platform::SecureBytes plain;
    const InflateStatus status = InflateMemory(
        s.data.data(), s.data.size(),
        [&](const std::uint8_t *bytes, std::size_t n) {
            plain.insert(plain.end(), bytes, bytes + n);
            return true;
        },
        limit);
    if (status == InflateStatus::TooLarge) return ExtractOutcome::TooLarge;
    if (status != InflateStatus::Ok) return ExtractOutcome::Damaged;
    message.assign(plain.begin(), plain.end());
    return ExtractOutcome::Extracted;
}

// ---- the runs -------------------------------------------------------------

ExtractOutcome ExtractEngine::fileRun(ExtractView &view, State &s, FileExtractResult &r, std::string_view padded) {
    if ((r.damage = checkLength(s)) != Damage::None) return ExtractOutcome::Damaged;
    if (!readFilePayload(view, s)) return ExtractOutcome::CarrierUnreadable;
    r.destination = view.chooseDestination(r.storedName);
    if (r.destination.empty()) return ExtractOutcome::Cancelled;
    if (r.mode != payload::Mode::Plain) view.step(Step::Decrypt, 0);
    if (!decrypt(s, padded)) {
        r.damage = Damage::Decryption;
        return ExtractOutcome::Damaged;
    }
    const ExtractOutcome done = decompressTo(view, s, r);
    if (done == ExtractOutcome::Extracted) r.seconds = platform::MonotonicSeconds() - s.start;
    return done;
}

FileExtractResult ExtractEngine::runFile(ExtractView &view, OpenedPayload &opened, std::string_view padded) {
    State &s = *opened.state_;
    FileExtractResult r;
    static_cast<ExtractResult &>(r) = s.result;
    if (!opened.ready()) return r;
    if (opened.needsPassword() && !opened.passwordMatches(padded))
        r.outcome = ExtractOutcome::ProgramEnded;
    else
        r.outcome = fileRun(view, s, r, padded);
    return r;
}

ExtractOutcome ExtractEngine::messageRun(ExtractProgress &progress, State &s, MessageExtractResult &r,
                                         std::string_view padded) {
    progress.step(Step::Prepare, 0);
    if (s.header.dataLength && *s.header.dataLength - 1 > r.maxMessageSize) return ExtractOutcome::TooLarge;
    if ((r.damage = checkLength(s)) != Damage::None) return ExtractOutcome::Damaged;
    if (!readMessagePayload(progress, s)) return ExtractOutcome::CarrierUnreadable;
    if (r.mode != payload::Mode::Plain) progress.step(Step::Decrypt, 0);
    std::string message;
    ScopeGuard wipeMessage{[&] { platform::WipeString(message); }};
    const ExtractOutcome done = decrypt(s, padded) ? decompressMessage(s, message, r.maxMessageSize + std::int64_t{1})
                                                   : ExtractOutcome::Damaged;
    if (done == ExtractOutcome::Damaged) r.damage = Damage::Decompression;
    if (done != ExtractOutcome::Extracted) return done;
    if (!TakeMessage(r, message)) return ExtractOutcome::TooLarge;
    r.seconds = platform::MonotonicSeconds() - s.start;
    return ExtractOutcome::Extracted;
}

MessageExtractResult ExtractEngine::runMessage(ExtractProgress &progress, OpenedPayload &opened, int maxMessageSize,
                                               std::string_view padded) {
    State &s = *opened.state_;
    MessageExtractResult r;
    static_cast<ExtractResult &>(r) = s.result;
    r.maxMessageSize = maxMessageSize;
    if (opened.ready()) {
        if (opened.needsPassword() && !opened.passwordMatches(padded))
            r.outcome = ExtractOutcome::ProgramEnded;
        else
            r.outcome = messageRun(progress, s, r, padded);
    }
    // What the box holds may be saved after every run that read the carrier.
    switch (r.outcome) {
    case ExtractOutcome::NoCarrierChosen:
    case ExtractOutcome::LibraryMissing:
    case ExtractOutcome::ProgramEnded:
    case ExtractOutcome::TooLarge:
    case ExtractOutcome::Busy: r.saveEnabled = false; break;
    default: r.saveEnabled = true; break;
    }
    return r;
}

} // namespace kalmira::extract
