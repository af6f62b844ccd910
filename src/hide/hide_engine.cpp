#include "hide/hide_engine.h"

#include "compress/ZorbComprFile.h"
#include "crypto/cRijndael.h"
#include "crypto/clsMD5.h"
#include "crypto/clsRC4.h"
#include "crypto/keys.h"
#include "hide/carrier_check.h"
#include "platform/binary_file.h"
#include "platform/platform.h"
#include "shell/helpers.h"

#include <chrono>
#include <cstdio>
#include <random>

namespace kalmira::hide {

using platform::BinaryFile;

namespace {

constexpr std::size_t kDataBlock = 4096;      // data bytes per block
constexpr std::size_t kCopyBlock = 40960;

const char *const kTitleB = "KalmiraB-Nachricht";
const char *const kTitleA = "KalmiraA-Nachricht";
const char *const kTitleCommon = "Kalmira-Nachricht";
const char *const kRestCaptionB = "KalmiraB - Verstecken";
const char *const kRestCaptionA = "KalmiraA - Verstecken";

const char *const kHintB =
    "Um schon bei der Auswahl der Containerdatei deren Grösse zu erkennen, clickt man im "
    "Datei-Auswahlfenster auf den Button \"Details\" (Unter XP ->Ansicht->Details, rechts oben im "
    "Datei-Auswahlfenster). Die Dateigrösse wird dann im Datei-Auswahlfenster in KByte angezeigt.";
const char *const kHintA =
    "Um bei der Auswahl der Containerdatei deren Grösse zu erkennen, clickt man im "
    "Datei-Auswahlfenster auf den Button \"Details\" (rechts oben im Auswahlfenster). Die "
    "Dateigrösse wird dann im Datei-Auswahlfenster in KByte angezeigt.";

// Runs its action when the scope ends, however it ends.
template <class F> struct Finally {
    F f;
    bool armed = true;
    ~Finally() { if (armed) f(); }
};
template <class F> Finally(F) -> Finally<F>;

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

std::string WithSign(long long value) {
    return (value >= 0 ? " " : "") + std::to_string(value);
}

HideEngine::HideEngine(Messages &messages, PasswordSource &passwords)
    : messages_(messages), passwords_(passwords) {}

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

std::vector<std::uint8_t> HideEngine::aesEncrypt(const std::string &padded,
                                                 const std::vector<std::uint8_t> &data) {
    if (!aes_) aes_ = std::make_unique<crypto::cRijndael>();
    std::string key = crypto::CipherKeyText(padded);
    aes_->SetCipherKey(reinterpret_cast<const std::uint8_t *>(key.data()), key.size(), 256);
    std::vector<std::uint8_t> out;
    aes_->ArrayEncrypt(data, out, 0);
    return out;
}

bool HideEngine::tooSmall(const std::string &carrier, const std::string &hiddenPath,
                          std::int64_t n, const std::string &hint) {
    const std::int64_t need = payload::MinCarrierForRun(n);
    const std::int64_t have = platform::FileSize(carrier);
    if (have >= need) return false;
    messages_.show(Icon::Exclamation, kTitleCommon,
                   "Die ausgewählte Containerdatei \"" + FileNameOf(carrier) + "\" ist zu klein (" +
                       FormatThousands(have) + " Byte). Um die Datei \"" + FileNameOf(hiddenPath) +
                       "\" zu verstecken, muss die Containerdatei mindestens " +
                       FormatThousands(need) + " Byte gross sein.\r\n\r\nHinweis:\r\n" + hint);
    return true;
}

bool HideEngine::structureRefused(const std::string &carrier, std::int64_t dataLength,
                                  const char *title) {
    CarrierStructure s = CheckCarrierStructure(carrier, dataLength);
    if (s == CarrierStructure::Ok) return false;
    messages_.show(Icon::Exclamation, title, CarrierStructureMessage(s, FileNameOf(carrier)));
    return true;
}

void HideEngine::reportWriteFailure(const std::string &carrier, const std::string &backupPath) {
    std::string text = "Die Containerdatei \"" + carrier +
                       "\" konnte nicht vollständig beschrieben werden (Datei gesperrt, "
                       "schreibgeschützt oder Datenträger voll). Die versteckte Datei wurde "
                       "NICHT gespeichert, und die Containerdatei ist möglicherweise beschädigt.";
    if (!backupPath.empty())
        text += "\r\n\r\nDie Sicherheitskopie \"" + backupPath +
                "\" enthält den Zustand vor dem Verstecken.";
    messages_.show(Icon::Critical, "Kalmira - Fehlernachricht", text);
}

HideEngine::Backup HideEngine::makeBackup(RunView &view, const std::string &carrier,
                                          const std::string &copy) {
    view.setBusy(true);
    Finally normalPointer{[&] { view.setBusy(false); }};
    if (!platform::FileExists(carrier)) return Backup::Skipped;
    const std::string copyName = FileNameOf(copy);
    if (platform::FileExists(copy)) {
        const std::string text =
            "Es existiert bereits eine Sicherheitskopie (" + copyName +
            ") der ContainerDatei.\r\nSoll eine neue Kopie erzeugt werden?\r\n\r\n"
            "\"Ja\"   -> Die bestehende Sicherheitskopie wird überschrieben.\r\n\r\n"
            "\"Nein\" -> Die bestehende Sicherheitskopie bleibt erhalten. Es wird keine neue Kopie "
            "erzeugt.\r\r\nSicherheits-Hinweis:"
            "\rEs sollten möglichst keine Kopien der Containerdateien erzeugt werden. Zumindest "
            "sollten Kopie und "
            "\rOriginal nicht zusammen an einem Ort aufbewahrt werden. Ein Angreifer könnte durch "
            "Vergleich der  "
            "\rbeidenDateien versteckte Daten rekonstruieren. Diese sind dann aber immer noch sehr "
            "sicher AES-256 "
            "\roder RC4-kompatibel verschlüsselt. "
            "\rDeshalb sollte immer die Option \"Zu versteckende Datei zusätzlich verschlüsseln\" "
            "verwendet werden.";
        if (messages_.show(Icon::Question, "Kalmira - Anfrage", text, Buttons::YesNoDefaultNo) !=
            Answer::Yes)
            return Backup::Skipped;
        platform::SetFileAttributes(copy, platform::AttrNormal);
        std::remove(copy.c_str());
    }
    const std::string status = "Erstelle Kopie -> " + copyName;
    BinaryFile in, out;
    bool ok = in.open(carrier, BinaryFile::Mode::Read) &&
              out.open(copy, BinaryFile::Mode::CreateTruncate);
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
    if (!ok) {
        // A missing copy must not pass for a made one: the run stops here.
        std::remove(copy.c_str());
        messages_.show(Icon::Critical, "Kalmira - Fehlernachricht",
                       "Die Sicherheitskopie \"" + copy +
                           "\" konnte nicht erstellt werden. Die Containerdatei wurde nicht "
                           "verändert.");
        return Backup::Failed;
    }
    view.setCaption(status + " 100 %");
    return Backup::Made;
}

HideOutcome HideEngine::hideFile(RunView &view, const FileHideInput &in,
                                 std::vector<std::uint8_t> &data) {
    if (running_) return HideOutcome::Busy;
    running_ = true;
    Finally idle{[this] { running_ = false; }};

    const std::string &carrier = in.carrierPath;
    const auto n = static_cast<std::int64_t>(data.size());
    bool stopped = false;
    bool failed = false;
    bool copied = false;
    SavedAttributes attrs;
    HideOutcome outcome = HideOutcome::Stopped;

    auto finish = [&](bool commonEnd) {
        if (commonEnd) {
            view.setBusy(false);
            attrs.restore();
            if (!failed) {
                view.setCaption(">>>>>>>>>> Die Datei wurde versteckt... 100 %");
                view.repaint();
            }
            Flags().hideRunDone = true;
        }
        if (failed) {
            reportWriteFailure(carrier, copied ? in.backupPath : "");
            view.setCaption(kRestCaptionB);
            return HideOutcome::Failed;
        }
        if (!stopped) view.pause(1);
        view.setCaption(kFinishedCaption);
        if (!stopped) view.pause(4);
        view.setCaption(kRestCaptionB);
        return outcome;
    };

    if (carrier.empty()) {
        messages_.show(Icon::Information, kTitleB,
                       "Bitte eine BMP-Bild oder eine WAV-Datei als Containerdatei auswählen. "
                       "(Befehl OPEN)");
        return finish(false);
    }
    stopped = true;
    if (!platform::FileExists(carrier)) {
        messages_.show(Icon::None, kTitleB, "Die ContainerDatei wurde nicht gefunden!");
        return finish(true);
    }
    if (in.sourcePath.empty()) {
        messages_.show(Icon::None, kTitleB, "Es wurde noch keine zu versteckende Datei ausgewählt!");
        return finish(true);
    }
    if (tooSmall(carrier, in.sourcePath, n, kHintB)) return finish(true);
    const payload::Mode mode = in.encrypt ? in.cipher : payload::Mode::Plain;
    if (structureRefused(carrier, payload::StoredDataLength(mode, n), kTitleB)) return finish(true);
    if (in.backup) {
        Backup b = makeBackup(view, carrier, in.backupPath);
        if (b == Backup::Failed) return finish(true);
        copied = b == Backup::Made;
    }
    view.setBusy(true);
    if (!platform::FileExists(carrier)) {
        messages_.show(Icon::None, kTitleCommon, "ContainerDatei wurde nicht gefunden!");
        return finish(true);
    }
    stopped = false;
    attrs.save(carrier);

    std::string header;
    std::vector<std::uint8_t> aesOut;
    bool rc4Applied = false;
    std::string cipherKey;
    // The window's data are plain again whatever happens below.
    Finally restorePlain{[&] {
        if (rc4Applied) crypto::clsRC4().EncryptByte(data.data(), data.size(), cipherKey);
    }};
    if (in.encrypt) {
        std::optional<std::string> padded = passwords_.hidePassword();
        view.setBusy(true);
        if (!padded || padded->empty()) {
            view.setBusy(false);
            return HideOutcome::Cancelled; // attributes stay normal
        }
        const std::string digest = crypto::clsMD5().DigestString(*padded);
        cipherKey = crypto::CipherKeyText(*padded);
        if (in.cipher == payload::Mode::Rc4) {
            view.setCaption(">>>>>>>>>>>>>  Datei wird RC4 verschlüsselt...");
            crypto::clsRC4().EncryptByte(data.data(), data.size(), cipherKey);
            rc4Applied = true;
            header = payload::ComposeHeader(payload::Mode::Rc4, digest, n, in.nameField);
        } else {
            view.setCaption(">>>>>>>>>>>>>  Datei wird AES-256 verschlüsselt...");
            aesOut = aesEncrypt(*padded, data);
            header = payload::ComposeHeader(payload::Mode::Aes, digest,
                                            static_cast<std::int64_t>(aesOut.size()), in.nameField);
        }
    } else {
        header = payload::ComposeHeader(payload::Mode::Plain, "", n, in.nameField);
    }

    view.repaint();
    const std::vector<std::uint8_t> &source = in.encrypt && in.cipher == payload::Mode::Aes ? aesOut : data;
    const auto total = static_cast<std::int64_t>(source.size());
    BinaryFile f;
    std::vector<std::uint8_t> buf(payload::kHeaderRegionSize);
    failed = !f.open(carrier, BinaryFile::Mode::ReadWrite) ||
             !f.readAt(payload::kLeadOffset, buf.data(), buf.size());
    if (!failed) {
        payload::EmbedByte(leadByte(), buf.data());
        payload::EmbedBytes(reinterpret_cast<const std::uint8_t *>(header.data()), header.size(),
                            buf.data() + 8);
        failed = !f.writeAt(payload::kLeadOffset, buf.data(), buf.size());
    }
    buf.resize(8 * kDataBlock);
    int shown = 0;
    for (std::int64_t done = 0; !failed && done < total;) {
        view.processEvents();
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(kDataBlock, total - done));
        const std::int64_t p0 = payload::kDataOffset + 8 * done;
        if (!f.readAt(p0, buf.data(), 8 * count)) { failed = true; break; }
        const int pct = percentOf(p0 + 8 * static_cast<std::int64_t>(count), 8 * total);
        if (pct - shown >= 1) {
            shown = pct;
            view.setCaption(">>>>>>>>>> Die Datei wird versteckt... " + WithSign(pct) + " % bearbeitet");
        }
        payload::EmbedBytes(source.data() + done, count, buf.data());
        if (!f.writeAt(p0, buf.data(), 8 * count)) { failed = true; break; }
        done += static_cast<std::int64_t>(count);
    }
    if (!failed) failed = !f.flush();
    if (!f.close()) failed = true;
    if (!failed) outcome = HideOutcome::Written;
    return finish(true);
}

HideOutcome HideEngine::hideMessage(MessageHideView &view, const MessageHideInput &in) {
    if (running_) return HideOutcome::Busy;
    running_ = true;
    Finally idle{[this] { running_ = false; }};

    const std::string &carrier = in.carrierPath;
    bool stopped = false;
    bool failed = false;
    bool copied = false;
    SavedAttributes attrs;
    HideOutcome outcome = HideOutcome::Stopped;

    auto finish = [&](bool commonEnd) {
        if (commonEnd) {
            view.setBusy(false);
            attrs.restore();
            Flags().hideRunDone = true;
        }
        if (failed) {
            reportWriteFailure(carrier, copied ? in.backupPath : "");
            view.setCaption(kRestCaptionA);
            return HideOutcome::Failed;
        }
        view.setCaption(kFinishedCaptionA);
        if (!stopped) view.pause(3);
        view.setCaption(kRestCaptionA);
        return outcome;
    };

    if (carrier.empty()) {
        messages_.show(Icon::Information, kTitleA,
                       "Bitte eine BMP-Bild oder eine WAV-Datei als Containerdatei auswählen. "
                       "(Befehl OPEN)");
        return finish(false);
    }
    stopped = true;
    if (in.messageAnsi.empty()) {
        messages_.show(Icon::None, kTitleA,
                       "Das Textfeld enthält keine zu versteckende Botschaft. Bitte eine Textdatei "
                       "öffnen, Text direkt in das Textfeld eingeben oder eine Textdatei in das "
                       "Textfeld ziehen.");
        view.focusMessage();
        return finish(true);
    }
    if (in.backup) {
        Backup b = makeBackup(view, carrier, in.backupPath);
        if (b == Backup::Failed) return finish(true);
        copied = b == Backup::Made;
    }
    if (!ZorbLibraryPresent()) {
        messages_.show(Icon::Critical, kTitleCommon, ZorbMissingMessage());
        return HideOutcome::Stopped;
    }

    // The message goes through two temporary files that are wiped, not just deleted.
    std::vector<std::uint8_t> data;
    {
        const std::string t = platform::MakeTempFile("Tex");
        const std::string m = platform::MakeTempFile("Mes");
        bool ok = false;
        {
            BinaryFile tf;
            ok = tf.open(t, BinaryFile::Mode::CreateTruncate) &&
                 tf.writeAt(0, in.messageAnsi.data(), in.messageAnsi.size()) && tf.close();
        }
        view.setBusy(true);
        ZorbComprFile z;
        z.InputFile = t;
        z.OutputFile = m;
        if (ok) z.Compress();
        view.setBusy(false);
        WipeTempFile(t, view);
        if (ok && z.ResultStatus() == 0) {
            BinaryFile mf;
            std::int64_t size = 0;
            ok = mf.open(m, BinaryFile::Mode::Read) && (size = mf.size()) > 0;
            if (ok) {
                data.resize(static_cast<std::size_t>(size));
                ok = mf.readAt(0, data.data(), data.size());
            }
        } else {
            ok = false;
        }
        WipeTempFile(m, view);
        if (!ok) {
            messages_.show(Icon::Critical, "Kalmira - Fehlernachricht",
                           "Die Botschaft konnte nicht komprimiert werden. Die Containerdatei wurde "
                           "nicht verändert.");
            return finish(true);
        }
    }
    const std::string nameField = in.nameField.empty() ? std::string(payload::kTypedMessageName)
                                                       : in.nameField;
    view.setBusy(true);
    if (!platform::FileExists(carrier)) {
        messages_.show(Icon::None, kTitleCommon, "ContainerDatei wurde nicht gefunden!");
        return finish(true);
    }
    attrs.save(carrier);

    const auto n = static_cast<std::int64_t>(data.size());
    const auto msgLen = static_cast<std::int64_t>(in.messageAnsi.size());
    const std::int64_t p = payload::RoundedForRun(n);
    const std::int64_t carrierLen = platform::FileSize(carrier);
    const std::string sizes = " Byte, ContainerMinSize: " + FormatThousands(8 * p + 562) + " Byte";
    if (p < msgLen) {
        view.setSizeLine("Botschaft: " + FormatThousands(msgLen) + " Byte, komprimiert zu: " +
                         FormatThousands(p) + " Byte [" + std::to_string(p * 100 / msgLen) +
                         " %]. ContainerSize: " + FormatThousands(carrierLen) + sizes);
    } else {
        view.setSizeLine("Botschaft: " + FormatThousands(msgLen) +
                         " Byte.  ContainerSize: " + FormatThousands(carrierLen) + sizes);
    }
    if (tooSmall(carrier, in.sourcePath, n, kHintA)) return finish(true);
    const payload::Mode mode = in.encrypt ? in.cipher : payload::Mode::Plain;
    if (structureRefused(carrier, payload::StoredDataLength(mode, n), kTitleA)) return finish(true);

    std::string text; // header + data, one character per byte
    if (in.encrypt) {
        std::optional<std::string> padded = passwords_.hidePassword();
        view.setBusy(true);
        if (!padded || padded->empty()) {
            view.setBusy(false);
            view.setSizeLine("Botschaft: " + FormatThousands(msgLen) + " Byte");
            return HideOutcome::Cancelled;
        }
        const std::string key = crypto::CipherKeyText(*padded);
        std::vector<std::uint8_t> enc;
        if (in.cipher == payload::Mode::Rc4) {
            view.setCaption("***********  Datei wird RC4 verschlüsselt  *********\"");
            crypto::clsRC4().EncryptByte(data.data(), data.size(), key);
            enc = std::move(data);
        } else {
            view.setCaption("***********  Datei wird AES-256 verschlüsselt  *********\"");
            enc = aesEncrypt(*padded, data);
        }
        view.setCaption(kRestCaptionA);
        const std::string digest = crypto::clsMD5().DigestString(*padded);
        text = payload::ComposeHeader(mode, digest, static_cast<std::int64_t>(enc.size()), nameField);
        text.append(enc.begin(), enc.end());
    } else {
        text = payload::ComposeHeader(mode, "", n, nameField);
        text.append(data.begin(), data.end());
    }

    view.setCaption(">>>>>>>>>> ByteArrays erzeugen ...");
    const auto L = static_cast<std::int64_t>(text.size());
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(8 + 8 * L));
    BinaryFile f;
    failed = !f.open(carrier, BinaryFile::Mode::ReadWrite) ||
             !f.readAt(payload::kLeadOffset, buf.data(), buf.size());
    if (!failed) {
        payload::EmbedByte(leadByte(), buf.data());
        int shown = -1;
        for (std::int64_t i = 0; i < L; ++i) {
            payload::EmbedByte(static_cast<std::uint8_t>(text[static_cast<std::size_t>(i)]),
                               buf.data() + 8 + 8 * i);
            const int pct = percentOf(i, L);
            if (pct != shown) {
                shown = pct;
                view.setCaption(">>>>>>>>>> Versteck-Vorgang läuft ...   " + WithSign(pct) +
                                " % bearbeitet");
                view.processEvents();
            }
        }
        view.setCaption(">>>>>>>>>> Versteck-Vorgang beendet, 100% bearbeitet");
        view.setBusy(true);
        failed = !f.writeAt(payload::kLeadOffset, buf.data(), buf.size()) || !f.flush();
    }
    if (!f.close()) failed = true;
    stopped = false;
    if (!failed) outcome = HideOutcome::Written;
    return finish(true);
}

} // namespace kalmira::hide
