#include "hide/hide_engine.h"

#include "compress/ZorbComprFile.h"
#include "compress/zlib_memory.h"
#include "crypto/cRijndael.h"
#include "crypto/clsMD5.h"
#include "crypto/clsRC4.h"
#include "crypto/keys.h"
#include "platform/binary_file.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "platform/temp_file.h"
#include "shell/helpers.h"
#include "shell/scope_guard.h"

#include <chrono>
#include <random>

namespace kalmira::hide {

using platform::BinaryFile;

namespace {

constexpr std::size_t kDataBlock = 4096; // data bytes per block
constexpr std::size_t kCopyBlock = 40960;

// Restores the carrier's attributes at the end of a run, when they were saved.
struct SavedAttributes {
    std::string path;
    int attrs = -1;
    void save(const std::string &p) {
        path = p;
        attrs = platform::GetFileAttributes(p);
        platform::SetFileAttributes(p, platform::AttrNormal);
    }
    void restore() {
        if (attrs >= 0) platform::SetFileAttributes(path, attrs); // failure stays silent
        attrs = -1;
    }
};

int PercentOf(std::int64_t done, std::int64_t total) {
    if (total <= 0) return 100;
    const std::int64_t p = done * 100 / total;
    return static_cast<int>(p > 100 ? 100 : p);
}

} // namespace

struct PreparedHide::State {
    State(bool *busyFlag, Program program, const std::string &carrier) : busy(busyFlag) {
        if (busy) *busy = true;
        result.program = program;
        result.carrierPath = carrier;
    }
    ~State() {
        if (busy) *busy = false;
    }
    State(const State &) = delete;
    State &operator=(const State &) = delete;

    bool *busy; // the engine's flag while this run lives
    HideResult result;
    platform::FileLock lock; // held from the carrier's opening to the run's end
    SavedAttributes attrs;
    double start = platform::MonotonicSeconds();
    std::string nameField;
    std::string digest;                 // of the password, for an encrypted run
    std::span<const std::uint8_t> data; // compressed, as they go into the carrier unencrypted
    platform::SecureBytes owned;        // a message's compressed bytes (`data` views them)
    HideProgress *progress = nullptr;   // of the current step
};

PreparedHide::PreparedHide(std::unique_ptr<State> state) : state_(std::move(state)) {}
PreparedHide::PreparedHide(PreparedHide &&other) noexcept = default;
PreparedHide::~PreparedHide() = default;
const HideResult &PreparedHide::result() const { return state_->result; }

std::string BackupPathFor(const std::string &carrier) {
    return FolderOf(carrier) + BaseNameOf(carrier) + "-Kopie" + ExtensionOf(carrier);
}

bool ReachedCarrier(HideOutcome o) {
    return o != HideOutcome::NoCarrierChosen && o != HideOutcome::Cancelled && o != HideOutcome::LibraryMissing &&
           o != HideOutcome::Busy && o != HideOutcome::Ready;
}

HideEngine::HideEngine(RunQuestions &questions) : questions_(questions) {}

std::uint8_t HideEngine::leadByte() {
    if (fixedLead_ >= 1 && fixedLead_ <= 255) return static_cast<std::uint8_t>(fixedLead_);
    auto seed = static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
    std::mt19937 gen(seed);
    const double r = std::uniform_real_distribution<double>(0.0, 1.0)(gen);
    const int v = static_cast<int>(r * 255) + 1;
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

// ---- steps ----------------------------------------------------------------

bool HideEngine::fits(State &s, std::int64_t compressed) {
    HideResult &r = s.result;
    r.compressedSize = compressed;
    r.storedSize = payload::StoredDataLength(r.mode, compressed);
    r.fit = payload::CheckFit(r.carrierPath, r.mode, compressed);
    return r.fit.fit == payload::Fit::Ok;
}

// The copy is written under a staging name and renamed when complete: an
// interrupted copy never carries the backup's name.
bool HideEngine::makeBackup(State &s, const std::string &copy) {
    const std::string &carrier = s.result.carrierPath;
    if (!platform::FileExists(carrier)) return true;
    s.result.backupPath = copy;
    switch (platform::KindOf(copy, false)) {
    case platform::PathKind::Absent: break;
    case platform::PathKind::Regular:
        if (!questions_.replaceBackup(FileNameOf(copy))) {
            s.result.backupPath.clear();
            return true;
        }
        break;
    default: s.result.outcome = HideOutcome::BackupNotRegular; return false;
    }
    platform::StagedFile staged(copy, s.result.carrierPath); // never readable by more users than the carrier
    const bool ok = staged.valid() && copyCarrier(s, staged.path());
    if (platform::FileExists(copy)) platform::SetFileAttributes(copy, platform::AttrNormal);
    // A missing copy must not pass for a made one: the run stops here.
    if (!ok || staged.commit(true) != platform::StagedFile::Commit::Done) return false;
    s.progress->step(Step::BackupDone, 100);
    return true;
}

bool HideEngine::copyCarrier(State &s, const std::string &staged) {
    BinaryFile in, out;
    bool ok = in.open(s.result.carrierPath, BinaryFile::Mode::Read) && out.open(staged, BinaryFile::Mode::ReadWrite);
    const std::int64_t length = ok ? in.size() : 0;
    std::vector<char> block(kCopyBlock);
    int shown = 0;
    for (std::int64_t q = 0; ok && q < length;) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(kCopyBlock, length - q));
        ok = in.readAt(q, block.data(), n) && out.writeAt(q, block.data(), n);
        q += static_cast<std::int64_t>(n);
        const int pct = PercentOf(q, length);
        s.progress->processEvents();
        if (pct - shown >= 1) {
            shown = pct;
            s.progress->step(Step::Backup, pct);
        }
    }
    ok = ok && out.flush();
    return out.close() && ok;
}

bool HideEngine::openCarrier(State &s) {
    HideResult &r = s.result;
    const carrier::CarrierOpening o = carrier::OpenCarrier(r.carrierPath, true, s.lock);
    r.recovered = o.recovered;
    r.access = o.access;
    return o.access == carrier::CarrierAccess::Ready;
}

bool HideEngine::takeCarrier(State &s) {
    if (!platform::FileExists(s.result.carrierPath)) return false;
    s.attrs.save(s.result.carrierPath);
    return true;
}

// Replaces the data by their encryption; a fresh cipher per run, its key
// schedule wiped when it ends.
bool HideEngine::encrypt(State &s, std::string_view padded) {
    std::string key = crypto::CipherKeyText(padded);
    ScopeGuard wipeKey{[&] { platform::WipeString(key); }};
    platform::SecureBytes sealed(s.data.begin(), s.data.end());
    if (s.result.mode == payload::Mode::Rc4) {
        crypto::clsRC4().EncryptByte(sealed.data(), sealed.size(), key);
    } else {
        crypto::cRijndael aes;
        aes.SetCipherKey(reinterpret_cast<const std::uint8_t *>(key.data()), key.size(), 256);
        std::vector<std::uint8_t> out;
        aes.ArrayEncrypt(s.data, out, 0);
        sealed.assign(out.begin(), out.end());
    }
    s.owned.swap(sealed); // the plaintext goes with `sealed`, wiped
    s.data = s.owned;
    return true;
}

// Old or new, never neither: the original bytes of the span about to change
// go into a journal beside the carrier first; a failed write puts them back
// at once, a killed run leaves the journal for the next run to roll back.
bool HideEngine::journaledWrite(State &s, std::int64_t length, const std::function<int(std::int64_t g)> &byteAt,
                                const std::function<bool(BinaryFile &)> &write) {
    HideResult &r = s.result;
    platform::CarrierJournal journal(r.carrierPath);
    // Old and new bytes both: a later run rolls back only a carrier whose every byte is one of them.
    const auto newBytes = [&](std::int64_t at, const std::uint8_t *old, std::uint8_t *out, std::size_t n) {
        std::int64_t g = -1; // the payload byte whose bits these carrier bytes take
        int v = -1;
        for (std::size_t i = 0; i < n; ++i) {
            const std::int64_t pos = at + static_cast<std::int64_t>(i) - payload::kLeadOffset;
            if (pos / 8 != g) v = byteAt(g = pos / 8);
            out[i] = v < 0 ? old[i] : static_cast<std::uint8_t>((old[i] & 0xFE) | ((v >> (7 - pos % 8)) & 1));
        }
    };
    const bool readOnly = s.attrs.attrs >= 0 && (s.attrs.attrs & platform::AttrReadOnly);
    if (journal.begin(
            {{payload::kLeadOffset, length, newBytes}},
            [&](std::int64_t, std::int64_t) { s.progress->processEvents(); }, readOnly) != platform::JournalError::None)
        return false; // nothing changed
    BinaryFile f;
    const bool ok = f.open(r.carrierPath, BinaryFile::Mode::ReadWrite) && write(f) && f.flush() && f.close();
    if (ok) s.attrs.restore();
    if (ok && journal.commit()) return true;
    f.close();
    r.carrierIntact = journal.rollback();
    return false;
}

// Lead byte and header into the header region, then the data block by block.
bool HideEngine::writeFilePayload(State &s) {
    const std::string header =
        payload::ComposeHeader(s.result.mode, s.digest, static_cast<std::int64_t>(s.data.size()), s.nameField);
    const auto total = static_cast<std::int64_t>(s.data.size());
    HideProgress &progress = *s.progress;
    const std::uint8_t lead = leadByte();
    const auto headerBytes = static_cast<std::int64_t>(header.size());
    const auto byteAt = [&](std::int64_t g) -> int {
        if (g == 0) return lead;
        if (g <= headerBytes) return static_cast<std::uint8_t>(header[static_cast<std::size_t>(g - 1)]);
        const std::int64_t d = g - payload::kHeaderRegionSize / 8;
        return d >= 0 && d < total ? s.data[static_cast<std::size_t>(d)] : -1;
    };
    return journaledWrite(s, payload::kHeaderRegionSize + 8 * total, byteAt, [&](BinaryFile &f) {
        std::vector<std::uint8_t> buf(payload::kHeaderRegionSize);
        if (!f.readAt(payload::kLeadOffset, buf.data(), buf.size())) return false;
        payload::EmbedByte(lead, buf.data());
        payload::EmbedBytes(reinterpret_cast<const std::uint8_t *>(header.data()), header.size(), buf.data() + 8);
        if (!f.writeAt(payload::kLeadOffset, buf.data(), buf.size())) return false;
        buf.resize(8 * kDataBlock);
        int shown = 0;
        for (std::int64_t done = 0; done < total;) {
            progress.processEvents();
            const auto count = static_cast<std::size_t>(std::min<std::int64_t>(kDataBlock, total - done));
            const std::int64_t p0 = payload::kDataOffset + 8 * done;
            if (!f.readAt(p0, buf.data(), 8 * count)) return false;
            const int pct = PercentOf(p0 + 8 * static_cast<std::int64_t>(count), 8 * total);
            if (pct - shown >= 1) progress.step(Step::Write, shown = pct);
            payload::EmbedBytes(s.data.data() + done, count, buf.data());
            if (!f.writeAt(p0, buf.data(), 8 * count)) return false;
            done += static_cast<std::int64_t>(count);
        }
        progress.processEvents(); // the last block is written, the flush comes next
        return true;
    });
}

// KalmiraA: every carrier byte the payload needs in one buffer, one write.
bool HideEngine::writeMessagePayload(State &s) {
    HideProgress &progress = *s.progress;
    progress.step(Step::Compose, 0);
    const std::string header =
        payload::ComposeHeader(s.result.mode, s.digest, static_cast<std::int64_t>(s.data.size()), s.nameField);
    platform::SecureBytes text(header.begin(), header.end());
    text.insert(text.end(), s.data.begin(), s.data.end());
    const auto L = static_cast<std::int64_t>(text.size());
    const std::uint8_t lead = leadByte();
    const auto byteAt = [&](std::int64_t g) -> int { return g == 0 ? lead : text[static_cast<std::size_t>(g - 1)]; };
    return journaledWrite(s, 8 + 8 * L, byteAt, [&](BinaryFile &f) {
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(8 + 8 * L));
        if (!f.readAt(payload::kLeadOffset, buf.data(), buf.size())) return false;
        payload::EmbedByte(lead, buf.data());
        int shown = -1;
        for (std::int64_t i = 0; i < L; ++i) {
            payload::EmbedByte(text[static_cast<std::size_t>(i)], buf.data() + 8 + 8 * i);
            if (const int pct = PercentOf(i, L); pct != shown) {
                progress.step(Step::Write, shown = pct);
                progress.processEvents();
            }
        }
        progress.step(Step::Written, 100);
        return f.writeAt(payload::kLeadOffset, buf.data(), buf.size());
    });
}

HideResult HideEngine::finish(State &s, HideOutcome outcome) {
    HideResult &r = s.result;
    r.outcome = outcome;
    r.seconds = platform::MonotonicSeconds() - s.start;
    s.attrs.restore();
    return r;
}

PreparedHide HideEngine::end(PreparedHide prepared, HideOutcome outcome) {
    finish(*prepared.state_, outcome);
    return prepared;
}

// ---- preparing --------------------------------------------------------------

PreparedHide HideEngine::start(HideProgress &progress, Program program, const std::string &carrier) {
    auto state = std::make_unique<State>(running_ ? nullptr : &running_, program, carrier);
    state->progress = &progress;
    state->result.outcome = state->busy ? HideOutcome::Ready : HideOutcome::Busy; // Ready until a check says otherwise
    return PreparedHide(std::move(state));
}

PreparedHide HideEngine::prepareFile(HideProgress &progress, const FileHideInput &in,
                                     std::span<const std::uint8_t> data) {
    PreparedHide p = start(progress, Program::B, in.carrierPath);
    State &s = *p.state_;
    if (!s.busy) return p;
    s.result.sourcePath = in.sourcePath;
    s.result.mode = in.encrypt ? in.cipher : payload::Mode::Plain;
    s.nameField = in.nameField;
    s.data = data;
    return checkFile(std::move(p), in);
}

PreparedHide HideEngine::checkFile(PreparedHide p, const FileHideInput &in) {
    State &s = *p.state_;
    HideResult &r = s.result;
    if (r.carrierPath.empty()) return end(std::move(p), HideOutcome::NoCarrierChosen);
    if (!platform::FileExists(r.carrierPath)) return end(std::move(p), HideOutcome::CarrierMissing);
    if (!openCarrier(s)) return end(std::move(p), HideOutcome::NoAccess);
    if (in.sourcePath.empty()) return end(std::move(p), HideOutcome::NoSourceChosen);
    if (!fits(s, static_cast<std::int64_t>(s.data.size())))
        return end(std::move(p), r.fit.fit == payload::Fit::TooLarge   ? HideOutcome::CarrierTooLarge
                                 : r.fit.fit == payload::Fit::TooSmall ? HideOutcome::CarrierTooSmall
                                                                       : HideOutcome::CarrierStructure);
    if (in.backup && !makeBackup(s, in.backupPath))
        return end(std::move(p), r.outcome == HideOutcome::BackupNotRegular ? HideOutcome::BackupNotRegular
                                                                            : HideOutcome::BackupFailed);
    if (!takeCarrier(s)) return end(std::move(p), HideOutcome::CarrierVanished);
    r.outcome = HideOutcome::Ready;
    return p;
}

PreparedHide HideEngine::prepareMessage(HideProgress &progress, const MessageHideInput &in) {
    PreparedHide p = start(progress, Program::A, in.carrierPath);
    State &s = *p.state_;
    if (!s.busy) return p;
    s.result.sourcePath = in.sourcePath;
    s.result.mode = in.encrypt ? in.cipher : payload::Mode::Plain;
    s.result.messageSize = static_cast<std::int64_t>(in.messageAnsi.size());
    s.nameField = in.nameField.empty() ? std::string(payload::kTypedMessageName) : in.nameField;
    return checkMessage(std::move(p), in);
}

PreparedHide HideEngine::checkMessage(PreparedHide p, const MessageHideInput &in) {
    State &s = *p.state_;
    HideResult &r = s.result;
    if (r.carrierPath.empty()) return end(std::move(p), HideOutcome::NoCarrierChosen);
    if (in.messageAnsi.empty()) return end(std::move(p), HideOutcome::NoMessage);
    if (!openCarrier(s) && r.access != carrier::CarrierAccess::Missing) return end(std::move(p), HideOutcome::NoAccess);
    if (in.backup && !makeBackup(s, in.backupPath))
        return end(std::move(p), r.outcome == HideOutcome::BackupNotRegular ? HideOutcome::BackupNotRegular
                                                                            : HideOutcome::BackupFailed);
    if (!ZorbLibraryPresent()) {
        r.outcome = HideOutcome::LibraryMissing;
        return p;
    }
    // In memory: the message never touches the temporary folder.
    std::optional<platform::SecureBytes> packed =
        DeflateMemory(reinterpret_cast<const std::uint8_t *>(in.messageAnsi.data()), in.messageAnsi.size());
    if (!packed) return end(std::move(p), HideOutcome::CompressionFailed);
    s.owned.swap(*packed);
    s.data = s.owned;
    if (!takeCarrier(s)) return end(std::move(p), HideOutcome::CarrierVanished);
    if (!fits(s, static_cast<std::int64_t>(s.data.size())))
        return end(std::move(p), r.fit.fit == payload::Fit::TooLarge   ? HideOutcome::CarrierTooLarge
                                 : r.fit.fit == payload::Fit::TooSmall ? HideOutcome::CarrierTooSmall
                                                                       : HideOutcome::CarrierStructure);
    r.outcome = HideOutcome::Ready;
    return p;
}

// ---- the run ------------------------------------------------------------------

HideResult HideEngine::run(HideProgress &progress, PreparedHide &prepared, std::string_view padded) {
    State &s = *prepared.state_;
    s.progress = &progress;
    if (!prepared.ready()) return s.result;
    if (s.result.mode != payload::Mode::Plain) {
        if (padded.empty()) return cancel(prepared);
        progress.step(Step::Encrypt, 0);
        encrypt(s, padded);
        progress.step(Step::Encrypted, 100);
        s.digest = crypto::clsMD5().DigestString(padded);
    }
    const bool ok = s.result.program == Program::B ? writeFilePayload(s) : writeMessagePayload(s);
    return finish(s, ok ? HideOutcome::Written : HideOutcome::WriteFailed);
}

// The attributes stay as the checks left them, as they always did.
HideResult HideEngine::cancel(PreparedHide &prepared) {
    State &s = *prepared.state_;
    if (prepared.ready()) s.result.outcome = HideOutcome::Cancelled;
    return s.result;
}

} // namespace kalmira::hide
