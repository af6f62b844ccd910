#include "extract/extract_engine.h"

#include "extract/extract_texts.h"

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
#include "shell/helpers.h"
#include "shell/scope_guard.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace kalmira::extract {

using platform::BinaryFile;

namespace {

constexpr std::size_t kCarrierBlock = 32768;
const char *const kRestCaptionB = "KalmiraB - Extraktion";
const char *const kRestCaptionA = "KalmiraA - Extraktion";

// The message box takes text up to a NUL character and up to its capacity;
// false when that left something out.
bool ShowMessage(MessageExtractView &view, MessageExtractResult &r, std::string &message) {
    std::size_t shownLen = std::min(message.find('\0'), message.size());
    shownLen = std::min(shownLen, static_cast<std::size_t>(std::max(r.maxMessageSize, 0)));
    r.messageAnsi = message.substr(0, shownLen);
    const bool whole = shownLen == message.size();
    platform::WipeString(message);
    view.showMessage(r.messageAnsi);
    view.setResultLine(MessageResultLine(r));
    return whole;
}

} // namespace

struct ExtractEngine::Payload {
    ~Payload() { // decrypted data and the password do not outlive the run
        platform::SecureWipe(data.data(), data.size());
        platform::WipeString(password);
    }
    platform::FileLock lock; // shared, for the whole run
    BinaryFile file;
    std::int64_t carrierLength = 0;
    payload::ParsedHeader header;
    payload::Mode mode = payload::Mode::Plain;
    std::string password;              // padded, when encrypted
    std::vector<std::uint8_t> data;    // the hidden data, decrypted in place
    double start = 0;
};

std::string FormatSeconds(double seconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", seconds < 0 ? 0.0 : seconds);
    std::string s = buf;
    for (char &c : s)
        if (c == '.') c = ',';
    return s;
}

std::optional<payload::ParsedHeader> ReadPayloadHeader(const std::string &carrier) {
    BinaryFile f;
    if (!f.open(carrier, BinaryFile::Mode::Read)) return std::nullopt;
    return payload::ReadHeader(f, f.size());
}

bool PasswordMatches(const payload::ParsedHeader &header, const std::string &padded) {
    return crypto::clsMD5().DigestString(padded) == header.digest;
}

ExtractEngine::ExtractEngine(PasswordSource &passwords) : passwords_(passwords) {}

ExtractEngine::~ExtractEngine() = default;

// ---- steps ----------------------------------------------------------------

// Extracted means "go on".
ExtractOutcome ExtractEngine::openPayload(RunView &view, ExtractResult &r, Payload &p) {
    if (!platform::FileExists(r.carrierPath)) return ExtractOutcome::CarrierMissing;
    const carrier::CarrierOpening opening = carrier::OpenCarrier(r.carrierPath, false, p.lock);
    r.rolledBack = opening.rolledBack;
    r.access = opening.access;
    if (opening.access == carrier::CarrierAccess::Missing) return ExtractOutcome::CarrierMissing;
    if (opening.access != carrier::CarrierAccess::Ready) return ExtractOutcome::NoAccess;
    view.repaint();
    if (!p.file.open(r.carrierPath, BinaryFile::Mode::Read)) return ExtractOutcome::CarrierUnreadable;
    p.carrierLength = r.carrierSize = p.file.size();
    const std::optional<payload::ParsedHeader> header = payload::ReadHeader(p.file, p.carrierLength);
    if (!header) return ExtractOutcome::CarrierUnreadable;
    p.header = *header;
    if (!p.header.mode) return ExtractOutcome::NoPayload;
    p.mode = r.mode = *p.header.mode;
    r.storedName = payload::PlainFileName(payload::StoredFileName(p.header));
    r.dataLength = p.header.dataLength.value_or(0);
    return ExtractOutcome::Extracted;
}

// Three attempts; the caller ends the program after the third wrong one.
bool ExtractEngine::checkPassword(RunView &view, Payload &p) {
    if (p.mode == payload::Mode::Plain) return true;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string pw = passwords_.extractPassword();
        ScopeGuard wipe{[&] { platform::WipeString(pw); }};
        view.setBusy(true);
        if (PasswordMatches(p.header, pw)) {
            p.password = pw;
            return true;
        }
        passwords_.wrongPassword(2 - attempt);
    }
    return false;
}

Damage ExtractEngine::checkLength(const Payload &p) const {
    // The length field is untrusted: digits only, and the data must lie in the file.
    if (!p.header.dataLength) return Damage::LengthField;
    const std::int64_t n = *p.header.dataLength;
    if (!payload::DataWithin(n, p.carrierLength)) return Damage::LengthBeyondCarrier;
    if (p.mode == payload::Mode::Aes && n % 16 != 0) return Damage::AesBlocks;
    return Damage::None;
}

bool ExtractEngine::readFilePayload(RunView &view, Payload &p) {
    const std::int64_t n = *p.header.dataLength;
    p.data.resize(static_cast<std::size_t>(n));
    std::vector<std::uint8_t> block(kCarrierBlock);
    double shown = 0;
    for (std::int64_t done = 0; done < n;) {
        view.processEvents();
        const double pct = std::min(100.0, static_cast<double>(done) / static_cast<double>(n) * 100);
        if (pct - shown >= 1) {
            shown = pct;
            view.setCaption(">>>>>>>>>>Versteckte Datei wird extrahiert ...   " +
                            std::to_string(static_cast<int>(pct)) + " % bearbeitet");
        }
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(kCarrierBlock / 8, n - done));
        if (!p.file.readAt(payload::kDataOffset + 8 * done, block.data(), 8 * count)) return false;
        payload::ReadBytes(block.data(), count, p.data.data() + done);
        done += static_cast<std::int64_t>(count);
    }
    p.file.close();
    view.setCaption(">>>>>>>>>>Versteckte Datei wurde extrahiert ...   100 % bearbeitet");
    return true;
}

bool ExtractEngine::readMessagePayload(RunView &view, Payload &p) {
    const std::int64_t n = *p.header.dataLength;
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(8 * n));
    if (!p.file.readAt(payload::kDataOffset, samples.data(), samples.size())) return false;
    p.data.resize(static_cast<std::size_t>(n));
    int shown = 0;
    const std::int64_t l8 = std::max<std::int64_t>(1, (n - 1) * 8);
    for (std::int64_t i = 0; i < n; ++i) {
        p.data[static_cast<std::size_t>(i)] = payload::ReadByte(samples.data() + 8 * i);
        const int pct = static_cast<int>(std::min<std::int64_t>(100, 8 * i * 100 / l8));
        if (pct - shown >= 1) {
            shown = pct;
            view.repaint();
            view.setCaption(">>>>>>>>>> Extraktion - Vorgang läuft ...   " + std::to_string(pct) + " % bearbeitet");
        }
    }
    p.file.close();
    view.setCaption(">>>>>>>>>> Extraktion - Vorgang ...   100 % bearbeitet");
    return true;
}

bool ExtractEngine::decrypt(Payload &p) {
    if (p.mode == payload::Mode::Plain) return true;
    std::string key = crypto::CipherKeyText(p.password);
    ScopeGuard wipeKey{[&] { platform::WipeString(key); }};
    if (p.mode == payload::Mode::Rc4) {
        crypto::clsRC4().EncryptByte(p.data.data(), p.data.size(), key);
        return true;
    }
    crypto::cRijndael aes; // its key schedule is wiped when it ends
    aes.SetCipherKey(reinterpret_cast<const std::uint8_t *>(key.data()), key.size(), 256);
    std::vector<std::uint8_t> out;
    const bool ok = aes.ArrayDecrypt(out, p.data, 0) == 0;
    p.data.swap(out);
    platform::SecureWipe(out.data(), out.size());
    return ok;
}

// The decrypted data are inflated from memory straight into a staging file
// beside the destination, put in place only when complete. A destination
// that is not a regular file is never replaced.
ExtractOutcome ExtractEngine::decompressTo(ExtractView &view, Payload &p, FileExtractResult &r) {
    if (view.streams()) {
        const InflateStatus status = InflateMemory(p.data.data(), p.data.size(), [&](const std::uint8_t *b, std::size_t n) {
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
    BinaryFile out;
    if (!staged.valid() || !out.open(staged.path(), BinaryFile::Mode::ReadWrite))
        return ExtractOutcome::FolderUnwritable;
    view.setCaption(">>>>>>>>>>>>>>> Datei wird dekomprimiert...");
    int lastShown = -1;
    std::int64_t written = 0;
    const InflateStatus status = InflateMemory(
        p.data.data(), p.data.size(),
        [&](const std::uint8_t *bytes, std::size_t n) {
            if (!out.writeAt(written, bytes, n)) return false;
            written += static_cast<std::int64_t>(n);
            return true;
        },
        -1,
        [&](int pct) {
            if (pct == lastShown) return;
            lastShown = pct;
            view.setCaption(">>>>>>>>>> Die Datei wird dekomprimiert: " + std::to_string(pct) + " % bearbeitet...");
            view.processEvents();
        });
    platform::SecureWipe(p.data.data(), p.data.size());
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
ExtractOutcome ExtractEngine::decompressMessage(RunView &, Payload &p, std::string &message, std::int64_t limit) {
    platform::SecureBytes plain;
    const InflateStatus status = InflateMemory(
        p.data.data(), p.data.size(),
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

FileExtractResult ExtractEngine::extractFile(ExtractView &view, const std::string &carrier) {
    FileExtractResult r;
    if (running_) return r;
    running_ = true;
    ScopeGuard idle{[this] { running_ = false; }};
    r.program = Program::B;
    r.carrierPath = carrier;
    if (!ZorbLibraryPresent()) {
        r.outcome = ExtractOutcome::LibraryMissing;
        return r;
    }
    Payload p;
    return runFile(view, r, p);
}

FileExtractResult ExtractEngine::runFile(ExtractView &view, FileExtractResult &r, Payload &p) {
    auto end = [&](ExtractOutcome outcome, bool pause = true) {
        r.outcome = outcome;
        view.setBusy(false);
        view.setCaption(kExtractFinishedCaption);
        if (pause) view.pause(1);
        view.setCaption(kRestCaptionB);
        return r;
    };
    if (r.carrierPath.empty()) return end(ExtractOutcome::NoCarrierChosen);
    view.setBusy(true);
    p.start = platform::MonotonicSeconds();
    const ExtractOutcome opened = openPayload(view, r, p);
    if (opened != ExtractOutcome::Extracted)
        return end(opened, opened == ExtractOutcome::CarrierUnreadable);
    if (!checkPassword(view, p)) {
        view.exitProgram();
        view.setBusy(false);
        r.outcome = ExtractOutcome::ProgramEnded;
        return r;
    }
    if ((r.damage = checkLength(p)) != Damage::None) return end(ExtractOutcome::Damaged);
    if (!readFilePayload(view, p)) return end(ExtractOutcome::CarrierUnreadable);

    r.destination = view.chooseDestination(r.storedName);
    if (r.destination.empty()) return end(ExtractOutcome::Cancelled);
    view.repaint();
    view.setBusy(true);
    if (p.mode == payload::Mode::Rc4) view.setCaption(">>>>>>>>>>>>>  Datei wird entschlüsselt (RC4) ...");
    else if (p.mode == payload::Mode::Aes) view.setCaption(">>>>>>>>>>>>>  Datei wird entschlüsselt (AES-256)...");
    if (!decrypt(p)) {
        r.damage = Damage::Decryption;
        return end(ExtractOutcome::Damaged);
    }
    const ExtractOutcome done = decompressTo(view, p, r);
    if (done != ExtractOutcome::Extracted) return end(done);
    view.setCaption(kRestCaptionB);
    r.seconds = platform::MonotonicSeconds() - p.start;
    view.setCaption(">>>>>>>>>>Versteckte Datei wurde extrahiert ...100 % bearbeitet");
    return end(ExtractOutcome::Extracted);
}

MessageExtractResult ExtractEngine::extractMessage(MessageExtractView &view, const std::string &carrier,
                                                   int maxMessageSize) {
    MessageExtractResult r;
    if (running_) return r;
    running_ = true;
    ScopeGuard idle{[this] { running_ = false; }};
    r.program = Program::A;
    r.carrierPath = carrier;
    r.maxMessageSize = maxMessageSize;
    Payload p;
    p.start = platform::MonotonicSeconds();
    return runMessage(view, r, p);
}

MessageExtractResult ExtractEngine::runMessage(MessageExtractView &view, MessageExtractResult &r, Payload &p) {
    auto finished = [&](ExtractOutcome outcome, bool pause = true) {
        r.outcome = outcome;
        view.setCaption(kExtractFinishedCaption);
        if (pause) view.pause(1);
        view.setCaption(kRestCaptionA);
        return r;
    };
    auto end = [&](ExtractOutcome outcome, bool pause = true) {
        view.setBusy(false);
        r.saveEnabled = true;
        return finished(outcome, pause);
    };
    auto tooLarge = [&] {
        view.setBusy(false);
        view.setCaption(kRestCaptionA);
        r.outcome = ExtractOutcome::TooLarge;
        r.saveEnabled = false;
        return r;
    };
    if (r.carrierPath.empty()) {
        view.setResultLine("");
        return finished(ExtractOutcome::NoCarrierChosen);
    }
    if (!ZorbLibraryPresent()) {
        r.outcome = ExtractOutcome::LibraryMissing;
        return r;
    }
    view.setBusy(true);
    view.showMessage("");
    const ExtractOutcome opened = openPayload(view, r, p);
    if (opened != ExtractOutcome::Extracted) return end(opened, opened == ExtractOutcome::CarrierUnreadable);
    if (!checkPassword(view, p)) {
        view.exitProgram();
        view.setBusy(false);
        r.outcome = ExtractOutcome::ProgramEnded;
        return r;
    }
    view.setCaption(">>>>>>>>>> Extraktion vorbereiten (ByteArray erzeugen) ...");
    if (p.header.dataLength && *p.header.dataLength - 1 > r.maxMessageSize) return tooLarge();
    if ((r.damage = checkLength(p)) != Damage::None) return end(ExtractOutcome::Damaged);
    if (!readMessagePayload(view, p)) return end(ExtractOutcome::CarrierUnreadable);
    if (p.mode == payload::Mode::Rc4) view.setCaption(">>>>>>>>>> Entschlüsseln (RC4) ...");
    if (p.mode == payload::Mode::Aes) view.setCaption(">>>>>>>>>> Entschlüsseln (AES) ...");
    std::string message;
    ScopeGuard wipeMessage{[&] { platform::WipeString(message); }};
    ExtractOutcome done = decrypt(p) ? decompressMessage(view, p, message, r.maxMessageSize + std::int64_t{1})
                                     : ExtractOutcome::Damaged;
    if (done == ExtractOutcome::TooLarge) return tooLarge();
    if (done != ExtractOutcome::Extracted) {
        if (done == ExtractOutcome::Damaged) r.damage = Damage::Decompression;
        return end(done);
    }
    if (!ShowMessage(view, r, message)) return tooLarge();
    r.seconds = platform::MonotonicSeconds() - p.start;
    return end(ExtractOutcome::Extracted);
}

} // namespace kalmira::extract
