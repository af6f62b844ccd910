#include "cli/commands.h"

#include "cli/capacity.h"
#include "cli/console.h"
#include "compress/ZorbComprFile.h"
#include "convert/modConvert.h"
#include "crypto/clsMD5.h"
#include "extract/extract_engine.h"
#include "hide/carrier_check.h"
#include "hide/hide_engine.h"
#include "inspect/bmp_info.h"
#include "inspect/modWAV.h"
#include "platform/binary_file.h"
#include "platform/platform.h"
#include "shell/helpers.h"
#include "shredder/wipe.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sys/stat.h>

namespace kalmira::cli {

using platform::BinaryFile;

namespace {

// Removes a file of ours unless it was handed on.
struct OwnedFile {
    std::string path;
    ~OwnedFile() {
        if (!path.empty()) std::remove(path.c_str());
    }
};

// Moves a finished file of ours into place, replacing an older one only when
// asked; the result gets the permissions of a newly created file.
bool Publish(OwnedFile &staged, const std::string &dest, bool force) {
    const bool moved = force ? std::rename(staged.path.c_str(), dest.c_str()) == 0
                             : platform::RenameNoReplace(staged.path, dest);
    if (!moved) return false;
    staged.path.clear();
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(dest.c_str(), 0666 & ~mask);
    return true;
}

std::string Lower(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool ReadFile(const std::string &path, std::string &out) {
    BinaryFile f;
    if (!f.open(path, BinaryFile::Mode::Read)) return false;
    const std::int64_t size = f.size();
    if (size < 0) return false;
    out.assign(static_cast<std::size_t>(size), '\0');
    return size == 0 || f.readAt(0, out.data(), out.size());
}

bool SameFile(const std::string &a, const std::string &b) {
    struct stat sa{}, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool ValidUtf8(const std::string &s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

const char *CipherName(payload::Mode mode) {
    switch (mode) {
    case payload::Mode::Aes: return "AES-256";
    case payload::Mode::Rc4: return "RC4-256";
    case payload::Mode::Plain: break;
    }
    return "unverschlüsselt";
}

// Compresses a file as the hide windows do; the temporary result is wiped.
std::optional<std::vector<std::uint8_t>> CompressFile(const std::string &path, ProgressBar &bar) {
    OwnedFile packed{platform::MakeTempFile("Kal")};
    if (packed.path.empty()) {
        Complain("Im temporären Ordner kann nicht geschrieben werden.");
        return std::nullopt;
    }
    SetCompressionProgressHook([&](int pct) { bar.show(pct, "Datei wird komprimiert..."); });
    ZorbComprFile z;
    z.InputFile = path;
    z.OutputFile = packed.path;
    z.Compress();
    SetCompressionProgressHook(nullptr);
    bar.finish();
    std::string bytes;
    const bool ok = z.ResultStatus() == 0 && ReadFile(packed.path, bytes);
    NullEventPump pump;
    if (WipeTempFile(packed.path, pump)) packed.path.clear();
    if (!ok) {
        Complain("Die Datei \"" + path + "\" konnte nicht komprimiert werden (Fehler " +
                 std::to_string(z.ResultStatus()) + ").");
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// The message as KalmiraA holds it: one ANSI byte per character.
std::optional<std::string> MessageText(const std::string &path) {
    std::string bytes;
    if (!ReadFile(path, bytes)) {
        Complain("Die Datei \"" + path + "\" kann nicht gelesen werden.");
        return std::nullopt;
    }
    if (bytes.empty() || static_cast<std::int64_t>(bytes.size()) > kMaxMessageSize ||
        bytes.find('\0') != std::string::npos) {
        Complain("Die Datei \"" + path + "\" ist keine Textdatei von 1 bis " +
                 std::to_string(kMaxMessageSize) +
                 " Byte, wie KalmiraA sie versteckt. Bitte ohne --text verstecken.");
        return std::nullopt;
    }
    if (!ValidUtf8(bytes)) return bytes; // already single-byte text
    std::string ansi = platform::AnsiFromUtf8(bytes);
    if (platform::Utf8FromAnsi(ansi) != bytes) {
        Complain("Die Datei \"" + path +
                 "\" enthält Zeichen, die im Zeichensatz Windows-1252 nicht vorkommen.");
        return std::nullopt;
    }
    return ansi;
}

std::optional<payload::ParsedHeader> ReadHeader(const std::string &carrier, std::int64_t &length) {
    BinaryFile f;
    if (!f.open(carrier, BinaryFile::Mode::Read)) return std::nullopt;
    length = f.size();
    std::string header(payload::kHeaderSize, ' ');
    if (length >= payload::kDataOffset + 1) {
        std::vector<std::uint8_t> region(8 * payload::kHeaderSize);
        if (!f.readAt(payload::kHeaderOffset, region.data(), region.size())) return std::nullopt;
        payload::ReadBytes(region.data(), payload::kHeaderSize,
                           reinterpret_cast<std::uint8_t *>(header.data()));
    }
    return payload::ParseHeader(header);
}

int Refuse(Fit fit, const std::string &carrier, const std::string &file, std::int64_t compressed,
           payload::Mode mode) {
    switch (fit) {
    case Fit::TooLarge:
        Complain("Die Datei \"" + FileNameOf(file) +
                 "\" ist zu gross: komprimiert mehr als 9.999.999 Byte.");
        break;
    case Fit::TooSmall:
        Complain("Die ausgewählte Containerdatei \"" + FileNameOf(carrier) + "\" ist zu klein (" +
                 FormatThousands(platform::FileSize(carrier)) + " Byte). Um die Datei \"" +
                 FileNameOf(file) + "\" zu verstecken, muss die Containerdatei mindestens " +
                 FormatThousands(payload::MinCarrierForRun(compressed)) + " Byte gross sein.");
        break;
    case Fit::Structure:
        Complain(hide::CarrierStructureMessage(
            hide::CheckCarrierStructure(carrier, payload::StoredDataLength(mode, compressed)),
            FileNameOf(carrier)));
        break;
    case Fit::Ok: return kOk;
    }
    return kUnsuitable;
}

} // namespace

int CheckCarrier(const std::string &path) {
    if (!platform::IsRegularFile(path)) {
        Complain("Die ContainerDatei \"" + path + "\" wurde nicht gefunden!");
        return kIoError;
    }
    const std::string ext = Lower(ExtensionOf(FileNameOf(path)));
    unsigned char head[12] = {};
    BinaryFile f;
    if (!f.open(path, BinaryFile::Mode::Read)) {
        Complain("Die ContainerDatei \"" + path + "\" kann nicht gelesen werden.");
        return kIoError;
    }
    const std::int64_t size = f.size();
    const bool read = size >= 12 ? f.readAt(0, head, 12) : size >= 2 && f.readAt(0, head, 2);
    if (ext == ".bmp") {
        if (read && head[0] == 'B' && head[1] == 'M') return kOk;
        Complain("Die ausgewählte Datei ist keine gültige BMP-Datei, oder sie ist fehlerhaft!");
        return kUnsuitable;
    }
    if (ext == ".wav") {
        if (read && size >= 12 && inspect::IsRiffWave(head)) return kOk;
        Complain("Die Datei: " + path + " ist keine gültige WAV-Datei.");
        return kUnsuitable;
    }
    Complain("Die Datei \"" + path + "\" ist keine BMP- oder WAV-Datei (.bmp, .wav).");
    return kUnsuitable;
}

std::string SafeFileName(const std::string &storedName) {
    std::string name = FileNameOf(storedName);
    for (char &c : name)
        if (static_cast<unsigned char>(c) < 0x20) c = '_';
    if (name.empty() || name == "." || name == "..") return "Extrahierte-Datei";
    return name;
}

int Hide(const Options &o) {
    const std::string &carrier = o.args[0];
    const std::string &file = o.args[1];
    if (!platform::IsRegularFile(file)) {
        Complain("Die zu versteckende Datei \"" + file + "\" wurde nicht gefunden!");
        return kIoError;
    }
    if (int rc = CheckCarrier(carrier)) return rc;
    if (SameFile(carrier, file)) {
        Complain("Die Containerdatei kann sich nicht selbst verstecken.");
        return kUsage;
    }
    const std::optional<std::string> nameField = payload::NameField(FileNameOf(file));
    if (!nameField) {
        Complain("Der Dateiname \"" + FileNameOf(file) +
                 "\" ist länger als 25 Zeichen und lässt sich nicht kürzen.");
        return kUsage;
    }
    if (!ZorbLibraryPresent()) {
        Complain(ZorbMissingMessage());
        return kIoError;
    }

    ProgressBar bar;
    std::optional<std::string> message;
    std::optional<std::vector<std::uint8_t>> data;
    if (o.text) {
        message = MessageText(file);
        if (!message) return kUsage;
        // The run compresses the message itself; the size check needs the result first.
        OwnedFile plain{platform::MakeTempFile("Tex")};
        BinaryFile t;
        if (plain.path.empty() || !t.open(plain.path, BinaryFile::Mode::CreateTruncate) ||
            !t.writeAt(0, message->data(), message->size()) || !t.close()) {
            Complain("Im temporären Ordner kann nicht geschrieben werden.");
            return kIoError;
        }
        data = CompressFile(plain.path, bar);
        NullEventPump pump;
        if (WipeTempFile(plain.path, pump)) plain.path.clear();
    } else {
        data = CompressFile(file, bar);
    }
    if (!data) return kIoError;

    const auto n = static_cast<std::int64_t>(data->size());
    const Fit fit = CheckFit(carrier, platform::FileSize(carrier), o.cipher, n);
    if (fit != Fit::Ok) return Refuse(fit, carrier, file, n, o.cipher);

    const bool encrypt = o.cipher != payload::Mode::Plain;
    std::string padded;
    if (encrypt) {
        std::optional<std::string> pw = ObtainPassword(o.passwordFile, true, false);
        if (!pw) return kUsage;
        padded = *pw;
    }
    const std::string backupPath =
        FolderOf(carrier) + BaseNameOf(carrier) + "-Kopie" + ExtensionOf(carrier);

    StderrMessages messages;
    FixedPassword passwords(padded);
    hide::HideEngine engine(messages, passwords);
    hide::HideOutcome outcome;
    if (o.text) {
        MessageHideView view(bar);
        hide::MessageHideInput in;
        in.carrierPath = carrier;
        in.messageAnsi = *message;
        in.sourcePath = file;
        in.nameField = *nameField;
        in.encrypt = encrypt;
        in.cipher = encrypt ? o.cipher : payload::Mode::Aes;
        in.backup = o.backup;
        in.backupPath = backupPath;
        outcome = engine.hideMessage(view, in);
    } else {
        HideView view(bar);
        hide::FileHideInput in;
        in.carrierPath = carrier;
        in.sourcePath = file;
        in.nameField = *nameField;
        in.encrypt = encrypt;
        in.cipher = encrypt ? o.cipher : payload::Mode::Aes;
        in.backup = o.backup;
        in.backupPath = backupPath;
        outcome = engine.hideFile(view, in, *data);
    }
    bar.finish();
    switch (outcome) {
    case hide::HideOutcome::Written:
        std::cout << "Die Datei \"" << FileNameOf(file) << "\" wurde in \"" << carrier
                  << "\" versteckt (" << n << " Byte komprimiert, " << CipherName(o.cipher) << ")."
                  << std::endl;
        return kOk;
    case hide::HideOutcome::Cancelled: return kUsage;
    case hide::HideOutcome::Stopped:   // the checks above passed: the backup or the carrier failed
    case hide::HideOutcome::Failed:
    case hide::HideOutcome::Busy: break;
    }
    return kIoError;
}

int Extract(const Options &o) {
    const std::string &carrier = o.args[0];
    if (int rc = CheckCarrier(carrier)) return rc;
    if (!ZorbLibraryPresent()) {
        Complain(ZorbMissingMessage());
        return kIoError;
    }
    std::int64_t length = 0;
    const std::optional<payload::ParsedHeader> header = ReadHeader(carrier, length);
    if (!header) {
        Complain("Die ContainerDatei \"" + carrier + "\" kann nicht gelesen werden.");
        return kIoError;
    }
    if (!header->mode) {
        Complain("Die ausgewählte Container-Datei enthält keine versteckte Datei!");
        return kNoPayload;
    }

    const std::string name = SafeFileName(payload::StoredFileName(*header));
    std::string dest = o.output.empty() ? name : o.output;
    std::error_code ec;
    if (!o.output.empty() && std::filesystem::is_directory(o.output, ec))
        dest = o.output + (o.output.back() == '/' ? "" : "/") + name;
    if (std::filesystem::is_directory(dest, ec)) {
        Complain("\"" + dest + "\" ist ein Ordner.");
        return kIoError;
    }
    if (platform::FileExists(dest) && !o.force) {
        Complain("Die Datei \"" + dest + "\" existiert bereits. Mit --force wird sie überschrieben.");
        return kIoError;
    }

    std::string padded;
    if (*header->mode != payload::Mode::Plain) {
        std::optional<std::string> pw = ObtainPassword(o.passwordFile, false, true);
        if (!pw) return kUsage;
        if (crypto::clsMD5().DigestString(*pw) != header->digest) {
            Complain("Falsches Passwort!");
            return kWrongPassword;
        }
        padded = *pw;
    }

    const std::string folder = FolderOf(dest).empty() ? "./" : FolderOf(dest);
    OwnedFile staged{platform::MakeTempFileIn(folder, FileNameOf(dest))};
    if (staged.path.empty()) {
        Complain("Im Zielordner \"" + folder + "\" kann nicht geschrieben werden.");
        return kIoError;
    }
    ProgressBar bar;
    StderrMessages messages;
    FixedPassword passwords(padded);
    extract::ExtractEngine engine(messages, passwords);
    ExtractView view(bar, staged.path);
    const extract::FileReport report = engine.extractFile(view, carrier);
    bar.finish();
    switch (report.outcome) {
    case extract::ExtractOutcome::Extracted: break;
    case extract::ExtractOutcome::NoPayload: return kNoPayload;
    case extract::ExtractOutcome::Damaged: return kDamaged;
    case extract::ExtractOutcome::ProgramEnded: return kWrongPassword;
    default: return kIoError;
    }
    // The engine has written the complete result under our staging name.
    if (!Publish(staged, dest, o.force)) {
        Complain(platform::FileExists(dest)
                     ? "Die Datei \"" + dest + "\" existiert bereits. Mit --force wird sie überschrieben."
                     : "Die Datei \"" + dest + "\" konnte nicht geschrieben werden.");
        return kIoError;
    }
    std::cout << dest << std::endl;
    return kOk;
}

int Info(const Options &o) {
    const std::string &carrier = o.args[0];
    if (int rc = CheckCarrier(carrier)) return rc;
    std::int64_t length = 0;
    const std::optional<payload::ParsedHeader> header = ReadHeader(carrier, length);
    if (!header) {
        Complain("Die ContainerDatei \"" + carrier + "\" kann nicht gelesen werden.");
        return kIoError;
    }
    const bool bmp = Lower(ExtensionOf(FileNameOf(carrier))) == ".bmp";
    std::cout << "Container: " << carrier << "\n"
              << "Dateigrösse: " << length << " Byte\n";
    if (bmp) {
        inspect::BmpHeaderFacts facts;
        std::string error;
        std::array<std::string, 8> lines;
        std::cout << "Typ: BMP-Bild\n";
        if (inspect::ReadBmpHeaderFacts(carrier, facts, error) && inspect::BmpInfoLines(facts, lines, error))
            for (const auto &l : lines) std::cout << "  " << l << "\n";
        else
            std::cout << "  " << error << " Fehler\n";
    } else {
        inspect::WavChunks chunks;
        std::cout << "Typ: WAV-Datei\n";
        if (inspect::ReadWavChunks(carrier, chunks) == inspect::WavRead::Ok) {
            const inspect::WavFormat &f = chunks.format;
            std::string ids;
            for (const auto &id : chunks.ids) ids += (ids.empty() ? "" : ", ") + id;
            std::cout << "  Format: " << inspect::FormatTagName(f.formatTag) << "\n"
                      << "  Kanäle: " << inspect::ChannelText(f.channels) << "\n"
                      << "  Abtastrate: " << f.sampleRate << " Hz\n"
                      << "  Bits pro Sample: " << inspect::BitsPerSampleText(f.bitsPerSample) << "\n";
            const double seconds = inspect::WavSeconds(carrier);
            if (seconds >= 0) std::cout << "  Spieldauer: " << extract::FormatSeconds(seconds) << " s\n";
            std::cout << "  Chunks: " << ids << "\n";
        }
    }
    const std::int64_t room = MaxCompressed(carrier, payload::Mode::Aes);
    const std::int64_t capacity = Capacity(carrier, payload::Mode::Aes);
    std::cout << "Kapazität: " << (capacity < 0 ? 0 : capacity)
              << " Byte (grösste unkomprimierbare Datei)\n";
    int rc = kOk;
    if (!header->mode) {
        std::cout << "Versteckte Daten: nein\n";
    } else {
        std::cout << "Versteckte Daten: ja\n"
                  << "  Verfahren: " << CipherName(*header->mode) << "\n"
                  << "  Gespeicherter Name: " << payload::StoredFileName(*header) << "\n";
        const auto &n = header->dataLength;
        if (!n || payload::CarrierBytesFor(*n) > length) {
            std::cout << "  Datenlänge: ungültig (beschädigt)\n";
            rc = kDamaged;
        } else {
            std::cout << "  Datenlänge: " << *n << " Byte\n"
                      << "  Noch frei: " << std::max<std::int64_t>(0, room - *n) << " Byte\n";
        }
    }
    std::cout.flush();
    return rc;
}

int CapacityCommand(const Options &o) {
    const std::string &carrier = o.args[0];
    if (int rc = CheckCarrier(carrier)) return rc;
    const std::int64_t capacity = Capacity(carrier, o.cipher);
    if (capacity < 0) {
        Complain("Die Containerdatei \"" + FileNameOf(carrier) + "\" ist zu klein (" +
                 FormatThousands(platform::FileSize(carrier)) +
                 " Byte) oder kann nicht verwendet werden.");
        return kUnsuitable;
    }
    std::cout << capacity << std::endl;
    return kOk;
}

int Wipe(const Options &o) {
    const std::string &path = o.args[0];
    if (!platform::IsRegularFile(path)) {
        Complain("Die Datei \"" + path + "\" wurde nicht gefunden!");
        return kIoError;
    }
    struct Observer : shredder::WipeObserver {
        ProgressBar bar;
        void progress(int pct) override { bar.show(pct, "Datei wird überschrieben..."); }
    } observer;
    const auto method = o.intensiv ? shredder::Method::Intensiv : shredder::Method::Normal;
    const shredder::WipeResult result = shredder::wipe(path, method, observer);
    if (result == shredder::WipeResult::Destroyed) observer.bar.show(100, "Datei wird überschrieben...");
    observer.bar.finish();
    switch (result) {
    case shredder::WipeResult::Destroyed:
        std::cout << "Die Datei \"" << path << "\" wurde vernichtet." << std::endl;
        return kOk;
    case shredder::WipeResult::NotDeleted:
        Complain("Die Datei " + path + " wurde überschrieben, konnte aber nicht gelöscht werden!");
        break;
    case shredder::WipeResult::IsLink:
        Complain("Die Datei " + path + " ist eine Verknüpfung (symbolischer Link); Verknüpfungen "
                 "werden nicht zerstört. Es wurde nichts verändert.");
        break;
    case shredder::WipeResult::OpenFailed:
        Complain("Die Datei " + path +
                 " kann nicht geöffnet werden. Sie wird wahrscheinlich von einer anderen "
                 "Anwendung benutzt.");
        break;
    }
    return kIoError;
}

int Convert(const Options &o) {
    const std::string &image = o.args[0];
    const std::string &out = o.output;
    if (!platform::IsRegularFile(image)) {
        Complain("Die Bilddatei \"" + image + "\" wurde nicht gefunden!");
        return kIoError;
    }
    if (platform::FileExists(out) && !o.force) {
        Complain("Die Datei \"" + out + "\" existiert bereits. Mit --force wird sie überschrieben.");
        return kIoError;
    }
    const std::string folder = FolderOf(out).empty() ? "./" : FolderOf(out);
    OwnedFile staged{platform::MakeTempFileIn(folder, FileNameOf(out))};
    if (staged.path.empty()) {
        Complain("Im Zielordner \"" + folder + "\" kann nicht geschrieben werden.");
        return kIoError;
    }
    convert::PixelSize size;
    switch (convert::ConvertImageToBmp(image, staged.path, o.optimise, &size)) {
    case convert::ConvertStatus::Ok: break;
    case convert::ConvertStatus::CannotDecode:
        Complain("Die Datei \"" + image + "\" kann nicht als Bild gelesen werden.");
        return kUnsuitable;
    case convert::ConvertStatus::SaveFailed:
        Complain("Fehler beim Speichern der Bitmap!");
        return kIoError;
    }
    if (!Publish(staged, out, o.force)) {
        Complain("Die Datei \"" + out + "\" konnte nicht geschrieben werden.");
        return kIoError;
    }
    std::cout << "Die Bilddatei \"" << FileNameOf(image) << "\" wurde in eine 24-Bit Datei konvertiert ("
              << size.width << " x " << size.height << " Pixel): " << out << std::endl;
    return kOk;
}

} // namespace kalmira::cli
