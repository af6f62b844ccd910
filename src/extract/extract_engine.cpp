#include "extract/extract_engine.h"

#include "compress/ZorbComprFile.h"
#include "compress/zorbzlib.h"
#include "crypto/cRijndael.h"
#include "crypto/clsMD5.h"
#include "crypto/clsRC4.h"
#include "crypto/keys.h"
#include "hide/hide_engine.h"
#include "platform/binary_file.h"
#include "platform/platform.h"
#include "shell/helpers.h"

#include <cstdio>
#include <vector>

namespace kalmira::extract {

using platform::BinaryFile;

namespace {

constexpr std::size_t kCarrierBlock = 32768;
const char *const kRestCaptionB = "KalmiraB - Extraktion";
const char *const kRestCaptionA = "KalmiraA - Extraktion";

template <class F> struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F> Finally(F) -> Finally<F>;

struct TempFile {
    std::string path;
    ~TempFile() { if (!path.empty()) std::remove(path.c_str()); }
};

void damagedMessage(Messages &m, const char *title, const std::string &why) {
    m.show(Icon::Exclamation, title,
           "Die versteckten Daten in der Container-Datei sind beschädigt oder unvollständig (" +
               why + "). Es wurde nichts gespeichert.");
}

// A carrier that exists but cannot be read (a folder, no permission, an I/O
// error) must not end with the finished caption alone.
void unreadableMessage(Messages &m, const std::string &carrier) {
    m.show(Icon::Critical, "Kalmira - Fehlernachricht",
           "Die Container-Datei \"" + carrier +
               "\" kann nicht gelesen werden. Es wurde nichts gespeichert.");
}

// Results of DecompFile that mean the output could not be written (a full
// disk), as against damaged input.
bool isWriteFailure(std::int32_t status) {
    return status == zorb::kWriteError || status == zorb::kDestNotOpened;
}

} // namespace

struct ExtractEngine::Payload {
    BinaryFile file;
    std::int64_t carrierLength = 0;
    payload::ParsedHeader header;
    payload::Mode mode = payload::Mode::Plain;
    std::string password;              // padded, when encrypted
    std::vector<std::uint8_t> data;    // hiddenData, decrypted in place
};

std::string FormatSeconds(double seconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", seconds < 0 ? 0.0 : seconds);
    std::string s = buf;
    for (char &c : s)
        if (c == '.') c = ',';
    return s;
}

ExtractEngine::ExtractEngine(Messages &messages, PasswordSource &passwords)
    : messages_(messages), passwords_(passwords) {}

ExtractEngine::~ExtractEngine() = default;

ExtractOutcome ExtractEngine::readHeader(RunView &view, const std::string &carrier,
                                         const HeaderTexts &texts,
                                         const std::function<void()> &exitProgram, Payload &p) {
    if (!platform::FileExists(carrier)) {
        messages_.show(Icon::Information, texts.title, texts.carrierMissing);
        return ExtractOutcome::CarrierMissing;
    }
    view.repaint();
    if (!p.file.open(carrier, BinaryFile::Mode::Read)) {
        unreadableMessage(messages_, carrier);
        return ExtractOutcome::Failed;
    }
    p.carrierLength = p.file.size();
    // The header region in one read; a shorter file simply holds no payload.
    std::vector<std::uint8_t> region(static_cast<std::size_t>(payload::kDataOffset + 1), ' ');
    const auto have = static_cast<std::size_t>(
        std::min<std::int64_t>(p.carrierLength, static_cast<std::int64_t>(region.size())));
    if (have > 0 && !p.file.readAt(0, region.data(), have)) {
        unreadableMessage(messages_, carrier);
        return ExtractOutcome::Failed;
    }
    std::string header(payload::kHeaderSize, '\0');
    payload::ReadBytes(region.data() + payload::kHeaderOffset, payload::kHeaderSize,
                       reinterpret_cast<std::uint8_t *>(header.data()));
    if (have < region.size()) header.assign(payload::kHeaderSize, ' ');
    p.header = payload::ParseHeader(header);
    if (!p.header.mode) {
        messages_.show(Icon::Information, texts.title, texts.noPayload);
        return ExtractOutcome::NoPayload;
    }
    p.mode = *p.header.mode;
    if (p.mode == payload::Mode::Plain) return ExtractOutcome::Extracted;

    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string pw = passwords_.extractPassword();
        view.setBusy(true);
        if (crypto::clsMD5().DigestString(pw) == p.header.digest) {
            p.password = pw;
            return ExtractOutcome::Extracted;
        }
        messages_.show(Icon::Exclamation, texts.title,
                       "Falsches Passwort! Sie haben noch " + std::to_string(2 - attempt) +
                           (attempt == 1 ? " Versuch!" : " Versuche!"));
    }
    exitProgram();
    return ExtractOutcome::ProgramEnded;
}

bool ExtractEngine::checkLength(const Payload &p, const char *title) {
    // The length field is untrusted: digits only, and the data must lie in the file.
    if (!p.header.dataLength) {
        damagedMessage(messages_, title, "ungültige Längenangabe");
        return false;
    }
    const std::int64_t n = *p.header.dataLength;
    if (payload::CarrierBytesFor(n) > p.carrierLength) {
        damagedMessage(messages_, title,
                       "die angegebene Länge von " + FormatThousands(n) +
                           " Byte passt nicht in die Container-Datei");
        return false;
    }
    if (p.mode == payload::Mode::Aes && n % 16 != 0) {
        damagedMessage(messages_, title,
                       "die Länge der AES-verschlüsselten Daten ist kein Vielfaches von 16 Byte");
        return false;
    }
    return true;
}

bool ExtractEngine::decrypt(Payload &p, const char *) {
    if (p.mode == payload::Mode::Plain) return true;
    const std::string key = crypto::CipherKeyText(p.password);
    if (p.mode == payload::Mode::Rc4) {
        crypto::clsRC4().EncryptByte(p.data.data(), p.data.size(), key);
        return true;
    }
    if (!aes_) aes_ = std::make_unique<crypto::cRijndael>();
    aes_->SetCipherKey(reinterpret_cast<const std::uint8_t *>(key.data()), key.size(), 256);
    std::vector<std::uint8_t> out;
    if (aes_->ArrayDecrypt(out, p.data, 0) != 0) return false;
    p.data = std::move(out);
    return true;
}

FileReport ExtractEngine::extractFile(ExtractView &view, const std::string &carrier) {
    FileReport report;
    if (running_) {
        report.outcome = ExtractOutcome::Busy;
        return report;
    }
    running_ = true;
    Finally idle{[this] { running_ = false; }};
    const char *title = "KalmiraB-Nachricht";

    if (!ZorbLibraryPresent()) {
        messages_.show(Icon::Critical, "Kalmira-Nachricht", ZorbMissingMessage());
        report.outcome = ExtractOutcome::LibraryMissing;
        return report;
    }
    bool skipPause = false;
    auto endCaption = [&] {
        view.setBusy(false);
        view.setCaption(hide::kFinishedCaption);
        if (!skipPause) view.pause(1);
        view.setCaption(kRestCaptionB);
        return report;
    };
    if (carrier.empty()) {
        messages_.show(Icon::Information, title,
                       "Bitte eine BMP-Bild oder eine WAV-Datei  auswählen, in welcher vorher eine "
                       "Datei versteckt wurde. (Befehl OPEN)");
        report.outcome = ExtractOutcome::NoCarrierChosen;
        return endCaption();
    }
    view.setBusy(true);
    const double start = platform::MonotonicSeconds();
    Payload p;
    const ExtractOutcome head = readHeader(
        view, carrier,
        {title, "ContainerDatei wurde nicht gefunden!",
         "Die ausgewählte Container-Datei enthält keine versteckte Datei!"},
        [&] { view.exitProgram(); }, p);
    if (head != ExtractOutcome::Extracted) {
        report.outcome = head;
        if (head == ExtractOutcome::ProgramEnded) {
            view.setBusy(false);
            return report;
        }
        skipPause = head == ExtractOutcome::CarrierMissing || head == ExtractOutcome::NoPayload;
        return endCaption();
    }
    if (!checkLength(p, title)) {
        report.outcome = ExtractOutcome::Damaged;
        return endCaption();
    }

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
        const auto count = static_cast<std::size_t>(
            std::min<std::int64_t>(kCarrierBlock / 8, n - done));
        if (!p.file.readAt(payload::kDataOffset + 8 * done, block.data(), 8 * count)) {
            unreadableMessage(messages_, carrier);
            report.outcome = ExtractOutcome::Failed;
            return endCaption();
        }
        payload::ReadBytes(block.data(), count, p.data.data() + done);
        done += static_cast<std::int64_t>(count);
    }
    p.file.close();
    const std::int64_t rounded = ((n - 1) / 16 + 1) * 16;
    view.setCaption(">>>>>>>>>>Versteckte Datei wurde extrahiert ...   100 % bearbeitet");

    const std::string stored = payload::StoredFileName(p.header);
    const std::string dest = view.chooseDestination(stored);
    if (dest.empty()) {
        report.outcome = ExtractOutcome::Cancelled;
        return endCaption();
    }
    view.repaint();
    view.setBusy(true);

    TempFile packed{platform::MakeTempFile(stored.empty() ? "Kal" : stored)};
    if (p.mode == payload::Mode::Rc4)
        view.setCaption(">>>>>>>>>>>>>  Datei wird entschlüsselt (RC4) ...");
    else if (p.mode == payload::Mode::Aes)
        view.setCaption(">>>>>>>>>>>>>  Datei wird entschlüsselt (AES-256)...");
    decrypt(p, title);
    {
        BinaryFile t;
        if (!t.open(packed.path, BinaryFile::Mode::CreateTruncate) ||
            !t.writeAt(0, p.data.data(), p.data.size()) || !t.close()) {
            messages_.show(Icon::Critical, "Kalmira - Fehlernachricht",
                           "Die extrahierten Daten konnten nicht in den temporären Ordner "
                           "geschrieben werden. Es wurde nichts gespeichert.");
            report.outcome = ExtractOutcome::Failed;
            return endCaption();
        }
    }
    p.data.clear();
    p.data.shrink_to_fit();

    // Decompress beside the destination; the destination is replaced only
    // when everything came out right.
    TempFile unpacked{platform::MakeTempFileIn(FolderOf(dest), FileNameOf(dest))};
    view.setCaption(">>>>>>>>>>>>>>> Datei wird dekomprimiert...");
    int lastShown = -1;
    SetCompressionProgressHook([&](int pct) {
        if (pct == lastShown) return;
        lastShown = pct;
        view.setCaption(">>>>>>>>>> Die Datei wird dekomprimiert: " + std::to_string(pct) +
                        " % bearbeitet...");
        view.processEvents();
    });
    ZorbComprFile z;
    z.InputFile = packed.path;
    z.OutputFile = unpacked.path;
    if (!unpacked.path.empty()) z.Decompress();
    SetCompressionProgressHook(nullptr);
    if (unpacked.path.empty() || z.ResultStatus() != 0) {
        const bool writeFailed = unpacked.path.empty() || isWriteFailure(z.ResultStatus());
        messages_.show(Icon::Critical, "Kalmira - Fehlernachricht",
                       unpacked.path.empty()
                           ? "Im Zielordner \"" + FolderOf(dest) +
                                 "\" kann nicht geschrieben werden. Es wurde nichts gespeichert."
                       : writeFailed
                           ? "Die Datei \"" + dest +
                                 "\" konnte nicht geschrieben werden. Ist der Datenträger voll? "
                                 "Es wurde nichts gespeichert."
                           : "Die versteckten Daten konnten nicht dekomprimiert werden. Die "
                             "Container-Datei ist beschädigt oder wurde verändert. Die Datei \"" +
                                 dest + "\" wurde nicht geschrieben.");
        report.outcome = writeFailed ? ExtractOutcome::Failed : ExtractOutcome::Damaged;
        return endCaption();
    }
    if (platform::FileExists(dest)) {
        platform::SetFileAttributes(dest, platform::AttrNormal);
        std::remove(dest.c_str());
    }
    if (!platform::ReplaceFile(unpacked.path, dest)) {
        messages_.show(Icon::Critical, "Kalmira - Fehlernachricht",
                       "Die Datei \"" + dest + "\" konnte nicht geschrieben werden.");
        report.outcome = ExtractOutcome::Failed;
        return endCaption();
    }
    unpacked.path.clear();
    report.destination = dest;
    view.setCaption(kRestCaptionB);

    const std::int64_t f = platform::FileSize(dest);
    const std::string name = FileNameOf(dest);
    report.label4 = f >= rounded ? "Extrahierte Datei (komprimiert): " + FormatThousands(rounded) +
                                       " Bytes, dekomprimiert: " + FormatThousands(f) +
                                       " Bytes (" + name + ")"
                                 : "Extrahierte Datei: " + FormatThousands(f) + " Bytes (" + name + ")";
    switch (p.mode) {
    case payload::Mode::Rc4:
        report.label6 = "Die extrahierten Daten waren zusaetzlich verschluesselt. Erkanntes "
                        "Kryptoverfahren: RC4-256";
        break;
    case payload::Mode::Aes:
        report.label6 = "Die extrahierten Daten waren zusaetzlich verschluesselt. Erkanntes "
                        "Kryptoverfahren: AES-256";
        break;
    case payload::Mode::Plain:
        report.label6 = "Die extrahierten Daten waren nicht zusaetzlich verschluesselt.";
        break;
    }
    report.label5 = FormatSeconds(platform::MonotonicSeconds() - start);
    view.setCaption(">>>>>>>>>>Versteckte Datei wurde extrahiert ...100 % bearbeitet");
    report.outcome = ExtractOutcome::Extracted;
    return endCaption();
}

MessageReport ExtractEngine::extractMessage(MessageExtractView &view, const std::string &carrier,
                                            int maxMessageSize) {
    MessageReport report;
    if (running_) {
        report.outcome = ExtractOutcome::Busy;
        return report;
    }
    running_ = true;
    Finally idle{[this] { running_ = false; }};
    const char *title = "KalmiraA-Nachricht";
    bool skipPause = false;
    auto endCaption = [&] {
        view.setCaption(hide::kFinishedCaption);
        if (!skipPause) view.pause(1);
        view.setCaption(kRestCaptionA);
        return report;
    };
    auto regularEnd = [&] {
        view.setBusy(false);
        report.saveEnabled = true;
        return endCaption();
    };
    auto tooLarge = [&](const std::string &name) {
        messages_.show(Icon::Exclamation, "KalmiraA - Nachricht",
                       "Die eingebettete (versteckte) Datei " + name + " ist grösser " +
                           std::to_string(maxMessageSize) +
                           " Byte oder ist keine ASCII Textdatei. Zum Einbetten (Verstecken) wurde "
                           "wahrscheinlich KalmiraB verwendet. Bitte zum Extrahieren der Datei das "
                           "Programm KalmiraB verwenden.");
        view.setBusy(false);
        view.setCaption(kRestCaptionA);
        report.outcome = ExtractOutcome::TooLarge;
        report.saveEnabled = false;
        return report;
    };

    if (carrier.empty()) {
        view.setResultLine("");
        messages_.show(Icon::Information, title,
                       "Bitte eine BMP-Bild oder eine WAV-Datei  auswählen, in welcher vorher eine "
                       "Botschaft versteckt wurde. (Befehl OPEN)");
        report.outcome = ExtractOutcome::NoCarrierChosen;
        return endCaption();
    }
    if (!ZorbLibraryPresent()) {
        messages_.show(Icon::Critical, "Kalmira-Nachricht", ZorbMissingMessage());
        report.outcome = ExtractOutcome::LibraryMissing;
        return report;
    }
    view.setBusy(true);
    view.showMessage("");
    Payload p;
    const ExtractOutcome head = readHeader(
        view, carrier,
        {title, "Die ContainerDatei wurde nicht gefunden!",
         "Diese Datei enthält keine versteckte Botschaft!"},
        [&] { view.exitProgram(); }, p);
    if (head != ExtractOutcome::Extracted) {
        report.outcome = head;
        if (head == ExtractOutcome::ProgramEnded) {
            view.setBusy(false);
            return report;
        }
        skipPause = head == ExtractOutcome::CarrierMissing || head == ExtractOutcome::NoPayload;
        return regularEnd();
    }
    view.setCaption(">>>>>>>>>> Extraktion vorbereiten (ByteArray erzeugen) ...");
    report.hiddenName = payload::StoredFileName(p.header);
    if (p.header.dataLength && *p.header.dataLength - 1 > maxMessageSize)
        return tooLarge(report.hiddenName);
    if (!checkLength(p, title)) {
        report.outcome = ExtractOutcome::Damaged;
        return regularEnd();
    }

    const std::int64_t n = *p.header.dataLength;
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(8 * n));
    if (!p.file.readAt(payload::kDataOffset, samples.data(), samples.size())) {
        unreadableMessage(messages_, carrier);
        report.outcome = ExtractOutcome::Failed;
        return regularEnd();
    }
    p.data.resize(static_cast<std::size_t>(n));
    int shown = 0;
    const std::int64_t l8 = std::max<std::int64_t>(1, (n - 1) * 8);
    for (std::int64_t i = 0; i < n; ++i) {
        p.data[static_cast<std::size_t>(i)] = payload::ReadByte(samples.data() + 8 * i);
        const int pct = static_cast<int>(std::min<std::int64_t>(100, 8 * i * 100 / l8));
        if (pct - shown >= 1) {
            shown = pct;
            view.repaint();
            view.setCaption(">>>>>>>>>> Extraktion - Vorgang läuft ...   " + std::to_string(pct) +
                            " % bearbeitet");
        }
    }
    p.file.close();
    view.setCaption(">>>>>>>>>> Extraktion - Vorgang ...   100 % bearbeitet");
    if (p.mode == payload::Mode::Rc4) view.setCaption(">>>>>>>>>> Entschlüsseln (RC4) ...");
    if (p.mode == payload::Mode::Aes) view.setCaption(">>>>>>>>>> Entschlüsseln (AES) ...");
    decrypt(p, title);

    // Through two temporary files, both wiped afterwards, as on the hide side.
    std::string message;
    bool ok = false;
    bool writeFailed = false;
    {
        const std::string t = platform::MakeTempFile("Tex");
        const std::string b = platform::MakeTempFile("Bot");
        {
            BinaryFile tf;
            ok = tf.open(t, BinaryFile::Mode::CreateTruncate) &&
                 tf.writeAt(0, p.data.data(), p.data.size()) && tf.close();
            writeFailed = !ok;
        }
        ZorbComprFile z;
        z.InputFile = t;
        z.OutputFile = b;
        if (ok) z.Decompress();
        if (ok && isWriteFailure(z.ResultStatus())) writeFailed = true;
        ok = ok && z.ResultStatus() == 0;
        if (ok) {
            BinaryFile bf;
            std::int64_t size = 0;
            ok = bf.open(b, BinaryFile::Mode::Read) && (size = bf.size()) >= 0;
            message.resize(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
            ok = ok && (size == 0 || bf.readAt(0, message.data(), message.size()));
        }
        WipeTempFile(t, view);
        WipeTempFile(b, view);
    }
    if (!ok) {
        messages_.show(Icon::Critical, "Kalmira - Fehlernachricht",
                       writeFailed ? "Die Botschaft konnte nicht im temporären Ordner entpackt "
                                     "werden. Ist der Datenträger voll?"
                                   : "Die versteckten Daten konnten nicht dekomprimiert werden. Die "
                                     "Container-Datei ist beschädigt oder wurde verändert.");
        report.outcome = writeFailed ? ExtractOutcome::Failed : ExtractOutcome::Damaged;
        return regularEnd();
    }
    // The message box takes text up to a NUL character and up to its capacity.
    std::size_t shownLen = std::min(message.find('\0'), message.size());
    shownLen = std::min(shownLen, static_cast<std::size_t>(std::max(maxMessageSize, 0)));
    report.messageAnsi = message.substr(0, shownLen);
    view.showMessage(report.messageAnsi);
    const char *cipherPart = p.mode == payload::Mode::Aes   ? " Byte, erkanntes Kryptoverfahren: AES-256"
                             : p.mode == payload::Mode::Rc4 ? " Byte, erkanntes Kryptoverfahren: RC4-256"
                                                            : " Byte, erkanntes Kryptoverfahren: unverschluesselt";
    view.setResultLine("Extrahierte Botschaft: " + FormatThousands(static_cast<long long>(shownLen)) +
                       " Byte,  ContainerSize: " + FormatThousands(p.carrierLength) + cipherPart);
    if (shownLen < message.size()) return tooLarge(report.hiddenName);
    report.outcome = ExtractOutcome::Extracted;
    return regularEnd();
}

} // namespace kalmira::extract
