// Runs every class of bad input through the engines and prints what the
// programs answer, one table row each (docs/robustness.md is made from it).
//   kalmira_probe [FULL_FOLDER]   FULL_FOLDER: a small tmpfs for the full-disk rows
#include "carrier/payload_fit.h"
#include "carriers.h"
#include "compress/zorbzlib.h"
#include "convert/modConvert.h"
#include "hide/hide_engine.h"
#include "inspect/bmp_info.h"
#include "inspect/modWAV.h"
#include "platform/platform.h"
#include "run_fakes.h"
#include "shell/helpers.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sys/stat.h>

using namespace kalmira;
using namespace kalmira::test;
using extract::ExtractOutcome;

namespace {

const char *Name(ExtractOutcome o) {
    switch (o) {
    case ExtractOutcome::Extracted: return "Extracted";
    case ExtractOutcome::NoCarrierChosen: return "NoCarrierChosen";
    case ExtractOutcome::CarrierMissing: return "CarrierMissing";
    case ExtractOutcome::NoPayload: return "NoPayload";
    case ExtractOutcome::Damaged: return "Damaged";
    case ExtractOutcome::Cancelled: return "Cancelled";
    case ExtractOutcome::ProgramEnded: return "ProgramEnded";
    case ExtractOutcome::TooLarge: return "TooLarge";
    case ExtractOutcome::LibraryMissing: return "LibraryMissing";
    case ExtractOutcome::CarrierUnreadable: return "CarrierUnreadable";
    case ExtractOutcome::TempWriteFailed: return "TempWriteFailed";
    case ExtractOutcome::FolderUnwritable: return "FolderUnwritable";
    case ExtractOutcome::WriteFailed: return "WriteFailed";
    case ExtractOutcome::ReplaceFailed: return "ReplaceFailed";
    case ExtractOutcome::DestinationExists: return "DestinationExists";
    case ExtractOutcome::Busy: return "Busy";
    }
    return "?";
}

void Row(const std::string &input, const std::string &where, const std::string &answer, const std::string &message) {
    std::cout << "| " << input << " | " << where << " | " << answer << " | "
              << (message.empty() ? "(none)" : "\"" + message + "\"") << " |\n";
}

struct Probe {
    TempDir dir;
    FakeMessages messages;
    TellingPasswords passwords{messages, Program::B};
    struct Questions : hide::RunQuestions {
        explicit Questions(Messages &m) : messages(m) {}
        bool replaceBackup(const std::string &name) override {
            return messages.show(Icon::Question, hide::kReplaceBackupTitle, hide::ReplaceBackupQuestion(name),
                                 Buttons::YesNoDefaultNo) == Answer::Yes;
        }
        Messages &messages;
    } questions{messages};
    hide::HideEngine hider{questions};
    extract::ExtractEngine extractor;

    std::string hidden(payload::Mode mode, std::size_t plainBytes = 3000, std::uint32_t seed = 3) {
        return hiddenData(mode, RandomBytes(plainBytes, seed));
    }
    std::string hiddenData(payload::Mode mode, const std::vector<std::uint8_t> &plain) {
        const std::string c = dir.file("c.bmp");
        WriteAll(c, MakeBmp(150, 150));
        auto data = Compressed(dir, plain);
        hide::FileHideInput in;
        in.carrierPath = c;
        in.sourcePath = dir.file("a.bin");
        in.nameField = *payload::NameField("a.bin");
        in.encrypt = mode != payload::Mode::Plain;
        in.cipher = mode;
        passwords.hide = {Padded("geheim")};
        FakeHideProgress v;
        HideAsWindow(hider, v, passwords, in, data);
        return c;
    }
    std::string last() {
        std::string m = messages.last();
        messages.shown.clear();
        return m;
    }
    // Both extract runs on one carrier.
    void extractBoth(const std::string &input, const std::string &carrier, const std::string &dest = "") {
        FakeExtractView v;
        v.destination = dest.empty() ? dir.file("out.bin") : dest;
        passwords.extract = {Padded("geheim")};
        messages.shown.clear();
        auto r = Told(messages, ExtractAsWindow(extractor, v, passwords, carrier));
        const bool left = r.outcome != ExtractOutcome::Extracted && platform::FileExists(v.destination) && dest.empty();
        Row(input, "extract (KalmiraB)", std::string(Name(r.outcome)) + (left ? ", FILE LEFT" : ", nothing written"),
            last());
        std::remove(v.destination.c_str());
        FakeMessageExtractView mv;
        passwords.extract = {Padded("geheim")};
        auto m = Told(messages, ExtractAsWindow(extractor, mv, passwords, carrier, 65535));
        Row(input, "extract (KalmiraA)", Name(m.outcome), last());
    }
};

std::string Wav(std::vector<std::uint8_t> bytes, std::uint32_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return std::string(bytes.begin(), bytes.end());
}

void WavRows(Probe &p, const std::string &input, const std::string &bytes) {
    const std::string path = p.dir.file("w.wav");
    WriteAll(path, bytes);
    carrier::WavChunks c;
    const auto r = carrier::ReadWavChunks(path, c);
    std::string ids;
    for (std::size_t i = 0; i < c.ids.size() && i < 4; ++i) ids += (i ? "," : "") + c.ids[i];
    if (c.ids.size() > 4) ids += ",... (" + std::to_string(c.ids.size()) + " lines)";
    Row(input, "WAV info",
        r == carrier::WavRead::Ok            ? "chunks: " + ids
        : r == inspect::WavRead::NotRiffWave ? "NotRiffWave"
                                             : "CannotOpen",
        r == inspect::WavRead::NotRiffWave ? "Die Datei '" + path + "' ist keine gültige Wave-Datei." : "");
    const double s = carrier::WavSeconds(path);
    Row(input, "play buttons (WavSeconds)", s < 0 ? "no playing time" : std::to_string(s) + " s", "");
    const auto cs = payload::CheckStructure(path, 100);
    Row(input, "hide carrier check", cs == payload::CarrierStructure::Ok ? "Ok" : "refused",
        hide::CarrierStructureMessage(cs, "w.wav"));
}

void BmpRows(Probe &p, const std::string &input, const std::vector<std::uint8_t> &bytes) {
    const std::string path = p.dir.file("b.bmp");
    WriteAll(path, bytes);
    carrier::BmpHeader f;
    std::string error;
    std::array<std::string, 8> lines;
    if (!inspect::ReadBmpHeaderFacts(path, f, error))
        Row(input, "image info", "error branch", error + "Fehler");
    else if (!inspect::BmpInfoLines(f, lines, error))
        Row(input, "image info", "error branch", error + "Fehler");
    else
        Row(input, "image info", lines[0] + "; " + lines[1] + "; " + lines[4], "");
    const auto st = convert::ConvertImage({path, p.dir.file("o.bmp")}).status;
    Row(input, "converter",
        st == convert::ConvertStatus::Ok             ? "Ok"
        : st == convert::ConvertStatus::CannotDecode ? "CannotDecode"
                                                     : "SaveFailed",
        "");
    const auto cs = payload::CheckStructure(path, 10);
    Row(input, "hide carrier check", cs == payload::CarrierStructure::Ok ? "Ok" : "refused",
        hide::CarrierStructureMessage(cs, "b.bmp"));
}

} // namespace

int main(int argc, char **argv) {
    Probe p;
    std::cout << "| Input | Where | Answer | Message |\n|---|---|---|---|\n";

    // Carriers with damaged payloads.
    {
        auto bytes = ReadAll(p.hidden(payload::Mode::Plain));
        bytes.resize(2000);
        WriteAll(p.dir.file("cut.bmp"), bytes);
        p.extractBoth("truncated carrier (cut to 2,000 bytes)", p.dir.file("cut.bmp"));
    }
    for (const char *field : {"9999999", "00x1234", "-000001"}) {
        const std::string c = p.hidden(payload::Mode::Plain);
        PatchHeader(c, 20, field);
        p.extractBoth(std::string("length field ") + field, c);
    }
    for (const char *tag : {"YESN", "Yesp", "yesA"}) {
        const std::string c = p.hidden(payload::Mode::Plain);
        PatchHeader(c, 0, tag);
        p.extractBoth(std::string("mode tag ") + tag, c);
    }
    {
        const std::string c = p.hidden(payload::Mode::Aes);
        const auto n = *HeaderOf(ReadAll(c)).dataLength;
        char digits[16];
        std::snprintf(digits, sizeof digits, "%07lld", static_cast<long long>(n - 2));
        PatchHeader(c, 20, digits);
        p.extractBoth("AES length not a multiple of 16", c);
    }
    {
        const std::string c = p.hidden(payload::Mode::Plain);
        auto bytes = ReadAll(c);
        for (std::size_t i = 539 + 8 * 100; i < 539 + 8 * 200; ++i) bytes[i] ^= 1;
        WriteAll(c, bytes);
        p.extractBoth("corrupt deflate stream (100 data bytes flipped)", c);
    }
    {
        WriteAll(p.dir.file("zero.bmp"), std::string());
        p.extractBoth("zero-byte carrier", p.dir.file("zero.bmp"));
        std::filesystem::create_directory(p.dir.file("folder.bmp"));
        p.extractBoth("unreadable carrier (a folder of that name)", p.dir.file("folder.bmp"));
        if (::geteuid() != 0) {
            const std::string c = p.hidden(payload::Mode::Plain);
            ::chmod(c.c_str(), 0);
            p.extractBoth("unreadable carrier (no read permission)", c);
            ::chmod(c.c_str(), 0644);
        }
        const std::string c = p.hidden(payload::Mode::Plain, 2000, 9);
        WriteAll(p.dir.file("ro.bin"), std::string("alt"));
        platform::SetFileAttributes(p.dir.file("ro.bin"), platform::AttrReadOnly);
        FakeExtractView v;
        v.destination = p.dir.file("ro.bin");
        auto r = Told(p.messages, ExtractAsWindow(p.extractor, v, p.passwords, c));
        Row("read-only destination file", "extract (KalmiraB)",
            std::string(Name(r.outcome)) +
                (ReadAll(p.dir.file("ro.bin")) == RandomBytes(2000, 9) ? ", replaced" : ", NOT replaced"),
            p.last());
    }

    // The compression library directly.
    for (auto [input, bytes] : std::initializer_list<std::pair<const char *, std::string>>{
             {"zero-byte compressed file", ""},
             {"random bytes as compressed data", std::string(4000, '\x5a')},
             {"compressed stream cut in half", ""}}) {
        std::string data = bytes;
        if (std::string(input).find("cut") != std::string::npos) {
            auto z = Compressed(p.dir, RandomBytes(5000));
            data.assign(z.begin(), z.begin() + z.size() / 2);
        }
        WriteAll(p.dir.file("z.in"), data);
        ZorbComprFile z;
        z.InputFile = p.dir.file("z.in");
        z.OutputFile = p.dir.file("z.out");
        z.Decompress();
        Row(input, "DecompFile",
            "status " + std::to_string(z.ResultStatus()) +
                (platform::FileExists(p.dir.file("z.out")) ? ", output left" : ", no output"),
            "");
    }

    // WAV headers.
    const auto wav = MakeWav(64);
    WavRows(p, "WAV data chunk size 0x7FFFFFFF", Wav(wav, 40, 0x7FFFFFFF));
    WavRows(p, "WAV fmt chunk size -8 (0xFFFFFFF8)", Wav(wav, 16, 0xFFFFFFF8));
    WavRows(p, "WAV RIFF size 0xFFFFFFFF", Wav(wav, 4, 0xFFFFFFFF));
    {
        auto many = ReadAll(KALMIRA_SOURCE_DIR "/tests/data/inspect/empty_chunks.wav");
        WavRows(p, "WAV of 5,000 empty chunks", std::string(many.begin(), many.end()));
    }
    WavRows(p, "zero-byte WAV", "");

    // BMP headers.
    auto bmp = MakeBmp(8, 8);
    auto put = [](std::vector<std::uint8_t> b, std::size_t at, std::uint32_t v, int n = 4) {
        for (int i = 0; i < n; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        return b;
    };
    BmpRows(p, "BMP width 0x7FFFFFFF, height 0x7FFFFFFF", put(put(bmp, 18, 0x7FFFFFFF), 22, 0x7FFFFFFF));
    BmpRows(p, "BMP height -2147483648 (top-down)", put(bmp, 22, 0x80000000));
    BmpRows(p, "BMP 32767 bits per pixel", put(bmp, 28, 32767, 2));
    BmpRows(p, "BMP info header size 0xFFFFFFFF", put(bmp, 14, 0xFFFFFFFF));
    BmpRows(p, "zero-byte BMP", {});
    {
        const std::string path = p.dir.file("huge.wmf");
        auto w = ReadAll(KALMIRA_SOURCE_DIR "/tests/data/convert/huge_max_record.wmf");
        WriteAll(path, w);
        const auto st = convert::ConvertImage({path, p.dir.file("o.bmp")}).status;
        Row("WMF claiming a 2.2 GB record", "converter",
            st == convert::ConvertStatus::CannotDecode ? "CannotDecode" : "other", "");
        const auto t0 = platform::MonotonicSeconds();
        const auto st2 =
            convert::ConvertImage({KALMIRA_SOURCE_DIR "/tests/data/convert/slow_draw.wmf", p.dir.file("o.bmp")}).status;
        char took[64];
        std::snprintf(took, sizeof took, ", after %.1f s", platform::MonotonicSeconds() - t0);
        Row("WMF whose drawing never ends", "converter",
            std::string(st2 == convert::ConvertStatus::CannotDecode ? "CannotDecode" : "other") + took, "");
    }

    // A full medium.
    if (argc > 1) {
        const std::string full = argv[1];
        // 400 KB of text compress to a few hundred bytes; only the output overflows.
        const std::string c = p.hiddenData(payload::Mode::Plain, std::vector<std::uint8_t>(400000, 'a'));
        std::filesystem::copy_file(c, full + "/c.bmp");
        p.messages.shown.clear();
        FakeExtractView v;
        v.destination = full + "/out.bin";
        auto r = Told(p.messages, ExtractAsWindow(p.extractor, v, p.passwords, c));
        Row("full disk at the destination", "extract (KalmiraB)",
            std::string(Name(r.outcome)) + (platform::FileExists(v.destination) ? ", FILE LEFT" : ", nothing written"),
            p.last());
        WriteAll(p.dir.file("big.bmp"), MakeBmp(400, 400));
        const auto st2 =
            convert::ConvertImage({p.dir.file("big.bmp"), full + "/big.bmp", convert::OutputType::Bmp, false}).status;
        Row("full disk at the converter's target", "converter",
            std::string(st2 == convert::ConvertStatus::SaveFailed ? "SaveFailed" : "other") +
                (platform::FileExists(full + "/big.bmp") ? ", FILE LEFT" : ", nothing written"),
            "");
        // Hide with a backup copy onto the full medium.
        auto data = Compressed(p.dir, RandomBytes(1000, 4));
        hide::FileHideInput in;
        in.carrierPath = full + "/c.bmp";
        in.sourcePath = p.dir.file("a.bin");
        in.nameField = *payload::NameField("a.bin");
        in.backup = true;
        in.backupPath = full + "/c-Kopie.bmp";
        FakeHideProgress hv;
        p.messages.answers = {Answer::Yes};
        auto h = Told(p.messages, HideAsWindow(p.hider, hv, p.passwords, in, data)).outcome;
        Row("full disk for the backup copy", "hide (KalmiraB)",
            h == hide::HideOutcome::Written        ? "Written"
            : h == hide::HideOutcome::BackupFailed ? "BackupFailed"
                                                   : "WriteFailed or other",
            p.last());
    }
    return 0;
}
