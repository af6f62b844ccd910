// `kalmira info`: what the carrier layer reads of a carrier, in one call,
// put into words.
#include "carrier/carrier_texts.h"
#include "carrier/facts.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "extract/extract_texts.h"
#include "inspect/bmp_info.h"
#include "inspect/codec_info.h"
#include "inspect/modWAV.h"

#include <array>
#include <iostream>

namespace kalmira::cli {

namespace {

void PrintBmpFacts(const carrier::CarrierFacts &f) {
    std::cout << "Typ: BMP-Bild\n";
    std::array<std::string, 8> lines;
    std::string error = f.bmpRead == carrier::BmpRead::CannotRead ? "Fehler beim Zugriff auf Pfad/Datei" : "";
    if (f.bmpRead == carrier::BmpRead::Ok && inspect::BmpInfoLines(f.bmp, lines, error))
        for (const auto &l : lines) std::cout << "  " << l << "\n";
    else
        std::cout << "  " << error << " Fehler\n";
}

void PrintWavFacts(const carrier::CarrierFacts &f) {
    std::cout << "Typ: WAV-Datei\n";
    if (f.wavRead != carrier::WavRead::Ok) return;
    const carrier::WavFormat &w = f.wav.format;
    std::string ids;
    for (const auto &id : f.wav.ids) ids += (ids.empty() ? "" : ", ") + id;
    std::cout << "  Format: " << inspect::FormatTagName(w.formatTag) << "\n"
              << "  Kanäle: " << inspect::ChannelText(w.channels) << "\n"
              << "  Abtastrate: " << w.sampleRate << " Hz\n"
              << "  Bits pro Sample: " << inspect::BitsPerSampleText(w.bitsPerSample) << "\n";
    const double seconds = carrier::WavSeconds(f.wav);
    if (seconds >= 0) std::cout << "  Spieldauer: " << extract::FormatSeconds(seconds) << " s\n";
    std::cout << "  Chunks: " << ids << "\n";
}

// The classic payload's lines; kDamaged when its length cannot be right.
int PrintPayload(const carrier::CarrierFacts &f) {
    const payload::ParsedHeader &h = f.header;
    std::cout << "Versteckte Daten: ja\n"
              << "  Verfahren: " << CipherName(*h.mode) << "\n"
              << "  Gespeicherter Name: " << Printable(payload::StoredFileName(h)) << "\n";
    if (!f.dataWithin) {
        std::cout << "  Datenlänge: ungültig (beschädigt)\n";
        return kDamaged;
    }
    std::cout << "  Datenlänge: " << *h.dataLength << " Byte\n"
              << "  Noch frei: " << std::max<std::int64_t>(0, f.room - *h.dataLength) << " Byte\n";
    return kOk;
}

// PNG and FLAC: their facts; what the stealth format can take is for
// `capacity --stealth` (it reads the whole picture or recording).
int InfoStealthOnly(const std::string &path) {
    const inspect::CodecFacts f = inspect::ReadCodecFacts(path);
    if (int rc = SayOpening(f.opening, path)) return rc;
    if (f.problem != carrier::CodecProblem::None) {
        Complain(carrier::CodecProblemText(f.problem, path));
        return f.problem == carrier::CodecProblem::ReadFailed ? kIoError : kUnsuitable;
    }
    const bool png = f.kind == carrier::CarrierKind::Png;
    std::cout << "Container: " << path << "\n"
              << "Dateigrösse: " << f.length << " Byte\n"
              << (png ? "Typ: PNG-Bild\n" : "Typ: FLAC-Aufnahme\n");
    for (const std::string &line : png ? inspect::PngFactLines(f.png) : inspect::FlacFactLines(f.flac))
        std::cout << "  " << line << "\n";
    std::cout << "Kapazität: nur im Tarnformat (kalmira capacity --stealth)\n"
              << "Versteckte Daten: ohne Passwort nicht feststellbar (absichtlich; kalmira extract prüft es)\n";
    std::cout.flush();
    return kOk;
}

} // namespace

int Info(const Options &o) {
    const std::string &path = o.args[0];
    const carrier::CarrierFacts f = carrier::ReadFacts(path);
    if (int rc = RefuseCarrier(f.kind, path)) return rc;
    if (carrier::StealthOnly(f.kind)) return InfoStealthOnly(path);
    if (int rc = SayOpening(f.opening, path)) return rc;
    if (!f.read) {
        Complain("Die ContainerDatei \"" + path + "\" kann nicht gelesen werden.");
        return kIoError;
    }
    std::cout << "Container: " << path << "\n"
              << "Dateigrösse: " << f.length << " Byte\n";
    if (f.kind == carrier::CarrierKind::Bmp)
        PrintBmpFacts(f);
    else
        PrintWavFacts(f);
    std::cout << "Kapazität: " << (f.capacity < 0 ? 0 : f.capacity) << " Byte (grösste unkomprimierbare Datei)\n";
    int rc = kOk;
    if (!f.header.mode)
        PrintNoClassicPayload(path, f.stealth);
    else
        rc = PrintPayload(f);
    std::cout.flush();
    return rc;
}

} // namespace kalmira::cli
