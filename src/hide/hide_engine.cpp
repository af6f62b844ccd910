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
#include "platform/secure_memory.h"
#include "platform/temp_file.h"
#include "shell/helpers.h"
#include "shell/scope_guard.h"

#include <chrono>
#include <cstdio>
#include <random>

namespace kalmira::hide {

using platform::BinaryFile;

namespace {

constexpr std::size_t kDataBlock = 4096;      // data bytes per block
constexpr std::size_t kCopyBlock = 40960;

const char *const kRestCaptionB = "KalmiraB - Verstecken";
const char *const kRestCaptionA = "KalmiraA - Verstecken";

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

int percentOf(std::int64_t done, std::int64_t total) {
    if (total <= 0) return 100;
    std::int64_t p = done * 100 / total;
    return static_cast<int>(p > 100 ? 100 : p);
}

} // namespace

struct HideEngine::Run {
    template <class Input>
    Run(RunView &v, Program program, const Input &in) : view(v) {
        result.program = program;
        result.carrierPath = in.carrierPath;
        result.sourcePath = in.sourcePath;
        result.mode = in.encrypt ? in.cipher : payload::Mode::Plain;
    }
    RunView &view;
    HideResult result;
    platform::FileLock lock; // held from the carrier's opening to the run's end
    SavedAttributes attrs;
    double start = platform::MonotonicSeconds();
};

std::string WithSign(long long value) {
    return (value >= 0 ? " " : "") + std::to_string(value);
}

bool ReachedCarrier(HideOutcome o) {
    return o != HideOutcome::NoCarrierChosen && o != HideOutcome::Cancelled &&
           o != HideOutcome::LibraryMissing && o != HideOutcome::Busy;
}

HideEngine::HideEngine(RunQuestions &questions, PasswordSource &passwords)
    : questions_(questions), passwords_(passwords) {}

HideEngine::~HideEngine() = default;

std::uint8_t HideEngine::leadByte() {
    if (fixedLead_ >= 1 && fixedLead_ <= 255) return static_cast<std::uint8_t>(fixedLead_);
    auto seed = static_cast<std::uint32_t>(
        std::chrono::system_clock::now().time_since_epoch().count());
    std::mt19937 gen(seed);
    double r = std::uniform_real_distribution<double>(0.0, 1.0)(gen);
    int v = static_cast<int>(r * 255) + 1;
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

// ---- steps ----------------------------------------------------------------

bool HideEngine::fits(Run &run, std::int64_t compressed) {
    HideResult &r = run.result;
    r.compressedSize = compressed;
    r.storedSize = payload::StoredDataLength(r.mode, compressed);
    r.fit = payload::CheckFit(r.carrierPath, r.mode, compressed);
    return r.fit.fit == payload::Fit::Ok;
}

// The copy is written under a staging name and renamed when complete: an
// interrupted copy never carries the backup's name.
bool HideEngine::makeBackup(Run &run, const std::string &copy) {
    RunView &view = run.view;
    const std::string &carrier = run.result.carrierPath;
    view.setBusy(true);
    ScopeGuard normalPointer{[&] { view.setBusy(false); }};
    if (!platform::FileExists(carrier)) return true;
    const std::string copyName = FileNameOf(copy);
    run.result.backupPath = copy;
    switch (platform::KindOf(copy, false)) {
    case platform::PathKind::Absent: break;
    case platform::PathKind::Regular:
        if (!questions_.replaceBackup(copyName)) {
            run.result.backupPath.clear();
            return true;
        }
        break;
    default: run.result.outcome = HideOutcome::BackupNotRegular; return false;
    }
    const std::string status = "Erstelle Kopie -> " + copyName;
    platform::StagedFile staged(copy);
    BinaryFile in, out;
    bool ok = staged.valid() && in.open(carrier, BinaryFile::Mode::Read) &&
              out.open(staged.path(), BinaryFile::Mode::ReadWrite);
    const std::int64_t length = ok ? in.size() : 0;
    std::vector<char> block(kCopyBlock);
    int shown = 0;
    for (std::int64_t q = 0; ok && q < length;) {
        std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(kCopyBlock, length - q));
        ok = in.readAt(q, block.data(), n) && out.writeAt(q, block.data(), n);
        q += static_cast<std::int64_t>(n);
        int pct = percentOf(q, length);
        view.processEvents();
        if (pct - shown >= 1) {
            shown = pct;
            view.setCaption(status + " " + WithSign(pct) + " %");
        }
    }
    ok = ok && out.flush();
    ok = out.close() && ok;
    if (platform::FileExists(copy)) platform::SetFileAttributes(copy, platform::AttrNormal);
    // A missing copy must not pass for a made one: the run stops here.
    if (!ok || staged.commit(true) != platform::StagedFile::Commit::Done) return false;
    view.setCaption(status + " 100 %");
    return true;
}

bool HideEngine::openCarrier(Run &run) {
    HideResult &r = run.result;
    const carrier::CarrierOpening o = carrier::OpenCarrier(r.carrierPath, true, run.lock);
    r.rolledBack = o.rolledBack;
    r.access = o.access;
    return o.access == carrier::CarrierAccess::Ready;
}

bool HideEngine::takeCarrier(Run &run) {
    if (!platform::FileExists(run.result.carrierPath)) return false;
    run.attrs.save(run.result.carrierPath);
    return true;
}

std::optional<std::string> HideEngine::askPassword(Run &run) {
    std::optional<std::string> padded = passwords_.hidePassword();
    run.view.setBusy(true);
    if (!padded || padded->empty()) {
        run.view.setBusy(false);
        return std::nullopt; // attributes stay normal
    }
    return padded;
}

std::vector<std::uint8_t> HideEngine::encrypt(const std::string &padded, payload::Mode mode,
                                              const std::vector<std::uint8_t> &data) {
    std::string key = crypto::CipherKeyText(padded);
    ScopeGuard wipeKey{[&] { platform::WipeString(key); }};
    if (mode == payload::Mode::Rc4) {
        std::vector<std::uint8_t> out = data;
        crypto::clsRC4().EncryptByte(out.data(), out.size(), key);
        return out;
    }
    // A fresh cipher per run: its key schedule is wiped when it ends.
    crypto::cRijndael aes;
    aes.SetCipherKey(reinterpret_cast<const std::uint8_t *>(key.data()), key.size(), 256);
    std::vector<std::uint8_t> out;
    aes.ArrayEncrypt(data, out, 0);
    return out;
}

// In memory: the message never touches the temporary folder.
std::optional<std::vector<std::uint8_t>> HideEngine::compressMessage(Run &run, const std::string &message) {
    run.view.setBusy(true);
    const auto packed = DeflateMemory(reinterpret_cast<const std::uint8_t *>(message.data()), message.size());
    run.view.setBusy(false);
    if (!packed) return std::nullopt;
    return std::vector<std::uint8_t>(packed->begin(), packed->end());
}

// Old or new, never neither: the original bytes of the span about to change
// go into a journal beside the carrier first; a failed write puts them back
// at once, a killed run leaves the journal for the next run to roll back.
bool HideEngine::journaledWrite(Run &run, std::int64_t length,
                                const std::function<bool(BinaryFile &)> &write) {
    HideResult &r = run.result;
    platform::CarrierJournal journal(r.carrierPath);
    if (journal.begin({{payload::kLeadOffset, length}},
                      [&](std::int64_t, std::int64_t) { run.view.processEvents(); }) != platform::JournalError::None)
        return false; // nothing changed
    BinaryFile f;
    const bool ok = f.open(r.carrierPath, BinaryFile::Mode::ReadWrite) && write(f) && f.flush() && f.close();
    if (ok && journal.commit()) return true;
    f.close();
    r.carrierIntact = journal.rollback();
    return false;
}

// Lead byte and header into the header region, then the data block by block.
bool HideEngine::writeFilePayload(Run &run, const std::string &header, const std::vector<std::uint8_t> &data) {
    RunView &view = run.view;
    const auto total = static_cast<std::int64_t>(data.size());
    return journaledWrite(run, payload::kHeaderRegionSize + 8 * total, [&](BinaryFile &f) {
        std::vector<std::uint8_t> buf(payload::kHeaderRegionSize);
        if (!f.readAt(payload::kLeadOffset, buf.data(), buf.size())) return false;
        payload::EmbedByte(leadByte(), buf.data());
        payload::EmbedBytes(reinterpret_cast<const std::uint8_t *>(header.data()), header.size(), buf.data() + 8);
        if (!f.writeAt(payload::kLeadOffset, buf.data(), buf.size())) return false;
        buf.resize(8 * kDataBlock);
        int shown = 0;
        for (std::int64_t done = 0; done < total;) {
            view.processEvents();
            const auto count = static_cast<std::size_t>(std::min<std::int64_t>(kDataBlock, total - done));
            const std::int64_t p0 = payload::kDataOffset + 8 * done;
            if (!f.readAt(p0, buf.data(), 8 * count)) return false;
            const int pct = percentOf(p0 + 8 * static_cast<std::int64_t>(count), 8 * total);
            if (pct - shown >= 1) {
                shown = pct;
                view.setCaption(">>>>>>>>>> Die Datei wird versteckt... " + WithSign(pct) + " % bearbeitet");
            }
            payload::EmbedBytes(data.data() + done, count, buf.data());
            if (!f.writeAt(p0, buf.data(), 8 * count)) return false;
            done += static_cast<std::int64_t>(count);
        }
        view.processEvents(); // the last block is written, the flush comes next
        return true;
    });
}

// KalmiraA: every carrier byte the payload needs in one buffer, one write.
bool HideEngine::writeMessagePayload(Run &run, const std::string &text) {
    RunView &view = run.view;
    view.setCaption(">>>>>>>>>> ByteArrays erzeugen ...");
    const auto L = static_cast<std::int64_t>(text.size());
    return journaledWrite(run, 8 + 8 * L, [&](BinaryFile &f) {
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(8 + 8 * L));
        if (!f.readAt(payload::kLeadOffset, buf.data(), buf.size())) return false;
        payload::EmbedByte(leadByte(), buf.data());
        int shown = -1;
        for (std::int64_t i = 0; i < L; ++i) {
            payload::EmbedByte(static_cast<std::uint8_t>(text[static_cast<std::size_t>(i)]), buf.data() + 8 + 8 * i);
            const int pct = percentOf(i, L);
            if (pct != shown) {
                shown = pct;
                view.setCaption(">>>>>>>>>> Versteck-Vorgang läuft ...   " + WithSign(pct) + " % bearbeitet");
                view.processEvents();
            }
        }
        view.setCaption(">>>>>>>>>> Versteck-Vorgang beendet, 100% bearbeitet");
        view.setBusy(true);
        return f.writeAt(payload::kLeadOffset, buf.data(), buf.size());
    });
}

// The end every run but a cancelled one shares: captions and pauses as the
// windows have always shown them.
HideResult HideEngine::backupFailed(Run &run) {
    const bool special = run.result.outcome == HideOutcome::BackupNotRegular;
    return finish(run, special ? HideOutcome::BackupNotRegular : HideOutcome::BackupFailed);
}

HideResult HideEngine::finish(Run &run, HideOutcome outcome) {
    RunView &view = run.view;
    HideResult &r = run.result;
    r.outcome = outcome;
    r.seconds = platform::MonotonicSeconds() - run.start;
    const bool b = r.program == Program::B;
    if (outcome != HideOutcome::NoCarrierChosen) {
        view.setBusy(false);
        run.attrs.restore();
        if (b && outcome != HideOutcome::WriteFailed) {
            view.setCaption(">>>>>>>>>> Die Datei wurde versteckt... 100 %");
            view.repaint();
        }
    }
    if (outcome != HideOutcome::WriteFailed) {
        const bool pauses = outcome == HideOutcome::Written || outcome == HideOutcome::NoCarrierChosen;
        if (b && pauses) view.pause(1);
        view.setCaption(b ? kFinishedCaption : kFinishedCaptionA);
        if (pauses) view.pause(b ? 4 : 3);
    }
    view.setCaption(b ? kRestCaptionB : kRestCaptionA);
    return r;
}

// ---- the runs -------------------------------------------------------------

HideResult HideEngine::hideFile(RunView &view, const FileHideInput &in, const std::vector<std::uint8_t> &data) {
    if (running_) return HideResult{};
    running_ = true;
    ScopeGuard idle{[this] { running_ = false; }};
    Run run(view, Program::B, in);
    return runFile(run, in, data);
}

HideResult HideEngine::runFile(Run &run, const FileHideInput &in, const std::vector<std::uint8_t> &data) {
    HideResult &r = run.result;
    if (r.carrierPath.empty()) return finish(run, HideOutcome::NoCarrierChosen);
    if (!platform::FileExists(r.carrierPath)) return finish(run, HideOutcome::CarrierMissing);
    if (!openCarrier(run)) return finish(run, HideOutcome::NoAccess);
    if (in.sourcePath.empty()) return finish(run, HideOutcome::NoSourceChosen);
    const auto n = static_cast<std::int64_t>(data.size());
    if (!fits(run, n)) return finish(run, r.fit.fit == payload::Fit::TooLarge  ? HideOutcome::CarrierTooLarge
                                          : r.fit.fit == payload::Fit::TooSmall ? HideOutcome::CarrierTooSmall
                                                                       : HideOutcome::CarrierStructure);
    if (in.backup && !makeBackup(run, in.backupPath)) return backupFailed(run);
    run.view.setBusy(true);
    if (!takeCarrier(run)) return finish(run, HideOutcome::CarrierVanished);

    std::string header = payload::ComposeHeader(payload::Mode::Plain, "", n, in.nameField);
    std::vector<std::uint8_t> sealed;
    if (in.encrypt) {
        std::optional<std::string> padded = askPassword(run);
        if (!padded) {
            r.outcome = HideOutcome::Cancelled;
            return r;
        }
        ScopeGuard wipePassword{[&] { platform::WipeString(*padded); }};
        run.view.setCaption(in.cipher == payload::Mode::Rc4 ? ">>>>>>>>>>>>>  Datei wird RC4 verschlüsselt..."
                                                            : ">>>>>>>>>>>>>  Datei wird AES-256 verschlüsselt...");
        sealed = encrypt(*padded, in.cipher, data);
        header = payload::ComposeHeader(in.cipher, crypto::clsMD5().DigestString(*padded),
                                        static_cast<std::int64_t>(sealed.size()), in.nameField);
    }
    run.view.repaint();
    const bool ok = writeFilePayload(run, header, in.encrypt ? sealed : data);
    return finish(run, ok ? HideOutcome::Written : HideOutcome::WriteFailed);
}

HideResult HideEngine::hideMessage(MessageHideView &view, const MessageHideInput &in) {
    if (running_) return HideResult{};
    running_ = true;
    ScopeGuard idle{[this] { running_ = false; }};
    Run run(view, Program::A, in);
    run.result.messageSize = static_cast<std::int64_t>(in.messageAnsi.size());
    return runMessage(run, view, in);
}

HideResult HideEngine::runMessage(Run &run, MessageHideView &view, const MessageHideInput &in) {
    HideResult &r = run.result;
    if (r.carrierPath.empty()) return finish(run, HideOutcome::NoCarrierChosen);
    if (in.messageAnsi.empty()) {
        view.focusMessage();
        return finish(run, HideOutcome::NoMessage);
    }
    if (!openCarrier(run) && r.access != carrier::CarrierAccess::Missing) return finish(run, HideOutcome::NoAccess);
    if (in.backup && !makeBackup(run, in.backupPath)) return backupFailed(run);
    if (!ZorbLibraryPresent()) {
        r.outcome = HideOutcome::LibraryMissing;
        return r;
    }
    std::optional<std::vector<std::uint8_t>> data = compressMessage(run, in.messageAnsi);
    if (!data) return finish(run, HideOutcome::CompressionFailed);
    ScopeGuard wipeData{[&] { platform::SecureWipe(data->data(), data->size()); }};
    const std::string nameField = in.nameField.empty() ? std::string(payload::kTypedMessageName) : in.nameField;
    view.setBusy(true);
    if (!takeCarrier(run)) return finish(run, HideOutcome::CarrierVanished);

    const auto n = static_cast<std::int64_t>(data->size());
    const std::int64_t p = payload::RoundedForRun(n), msgLen = r.messageSize;
    const std::string sizes = " Byte, ContainerMinSize: " + FormatThousands(8 * p + 562) + " Byte";
    const std::string carrierSize = FormatThousands(platform::FileSize(r.carrierPath));
    view.setSizeLine(p < msgLen ? "Botschaft: " + FormatThousands(msgLen) + " Byte, komprimiert zu: " +
                                      FormatThousands(p) + " Byte [" + std::to_string(p * 100 / msgLen) +
                                      " %]. ContainerSize: " + carrierSize + sizes
                                : "Botschaft: " + FormatThousands(msgLen) + " Byte.  ContainerSize: " +
                                      carrierSize + sizes);
    if (!fits(run, n)) return finish(run, r.fit.fit == payload::Fit::TooLarge  ? HideOutcome::CarrierTooLarge
                                          : r.fit.fit == payload::Fit::TooSmall ? HideOutcome::CarrierTooSmall
                                                                       : HideOutcome::CarrierStructure);
    std::string text = payload::ComposeHeader(r.mode, "", n, nameField); // header + data
    if (in.encrypt) {
        std::optional<std::string> padded = askPassword(run);
        ScopeGuard wipePassword{[&] { if (padded) platform::WipeString(*padded); }};
        if (!padded) {
            view.setSizeLine("Botschaft: " + FormatThousands(msgLen) + " Byte");
            r.outcome = HideOutcome::Cancelled;
            return r;
        }
        view.setCaption(in.cipher == payload::Mode::Rc4 ? "***********  Datei wird RC4 verschlüsselt  *********\""
                                                        : "***********  Datei wird AES-256 verschlüsselt  *********\"");
        *data = encrypt(*padded, in.cipher, *data);
        view.setCaption(kRestCaptionA);
        text = payload::ComposeHeader(r.mode, crypto::clsMD5().DigestString(*padded),
                                      static_cast<std::int64_t>(data->size()), nameField);
    }
    text.append(data->begin(), data->end());
    const bool ok = writeMessagePayload(run, text);
    return finish(run, ok ? HideOutcome::Written : HideOutcome::WriteFailed);
}

} // namespace kalmira::hide
