#include "extract/extract_engine.h"

#include "carriers.h"
#include "hide/hide_engine.h"
#include "platform/platform.h"
#include "run_fakes.h"
#include "shell/helpers.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kalmira;
using namespace kalmira::test;
using extract::ExtractOutcome;
using hide::HideOutcome;

namespace {

struct Fixture : ::testing::Test {
    TempDir dir;
    TempDir tmp;   // the runs' temporary folder; must be empty after every run
    void SetUp() override { ::setenv("TMPDIR", tmp.path().c_str(), 1); }
    void TearDown() override {
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()), {}), 0)
            << "temporary files were left";
        ::unsetenv("TMPDIR");
    }
    FakeMessages messages;
    TellingPasswords passwords{messages, Program::B};
    FakeRunView hideView;
    FakeExtractView view;
    hide::HideEngine hider{KeepBackups(), passwords};
    extract::ExtractEngine extractor{passwords};

    // Hides `plain` under `name` into `carrierBytes` the way KalmiraB does.
    std::string hideFileB(const std::vector<std::uint8_t> &plain, const std::string &name,
                          std::vector<std::uint8_t> carrierBytes, payload::Mode mode,
                          const std::string &carrierName = "c.bmp") {
        std::string carrier = dir.file(carrierName);
        WriteAll(carrier, carrierBytes);
        auto data = Compressed(dir, plain);
        hide::FileHideInput in;
        in.carrierPath = carrier;
        in.sourcePath = dir.file(name);
        in.nameField = *payload::NameField(name);
        in.encrypt = mode != payload::Mode::Plain;
        in.cipher = mode;
        if (in.encrypt) passwords.hide.push_back(Padded("Sesam"));
        EXPECT_EQ(hider.hideFile(hideView, in, data).outcome, HideOutcome::Written) << messages.last();
        return carrier;
    }

    std::string hideMessageA(const std::string &text, std::vector<std::uint8_t> carrierBytes,
                             payload::Mode mode, const std::string &nameField = "") {
        std::string carrier = dir.file("a.wav");
        WriteAll(carrier, carrierBytes);
        FakeMessageHideView v;
        hide::MessageHideInput in;
        in.carrierPath = carrier;
        in.messageAnsi = text;
        in.nameField = nameField;
        in.encrypt = mode != payload::Mode::Plain;
        in.cipher = mode;
        if (in.encrypt) passwords.hide.push_back(Padded("Sesam"));
        EXPECT_EQ(Told(messages, hider.hideMessage(v, in)).outcome, HideOutcome::Written) << messages.last();
        return carrier;
    }

    extract::FileExtractResult extractTo(const std::string &carrier, const std::string &dest) {
        view.destination = dest;
        return Told(messages, extractor.extractFile(view, carrier));
    }
};

const payload::Mode kModes[] = {payload::Mode::Plain, payload::Mode::Rc4, payload::Mode::Aes};

} // namespace

TEST_F(Fixture, FilesRoundTripInEveryModeThroughBmpAndWav) {
    const auto plain = RandomBytes(30000, 1);
    for (payload::Mode mode : kModes) {
        for (bool wav : {false, true}) {
            auto carrierBytes = wav ? MakeWav(300000) : MakeBmp(400, 400);
            std::string carrier = hideFileB(plain, "Bericht.pdf", carrierBytes, mode,
                                            wav ? "c.wav" : "c.bmp");
            const auto written = ReadAll(carrier);
            for (std::size_t i = 0; i < 91; ++i) ASSERT_EQ(written[i], carrierBytes[i]);
            if (mode != payload::Mode::Plain) passwords.extract = {Padded("Sesam")};
            auto report = extractTo(carrier, dir.file("out.pdf"));
            ASSERT_EQ(report.outcome, ExtractOutcome::Extracted) << messages.last();
            EXPECT_EQ(ReadAll(dir.file("out.pdf")), plain);
            EXPECT_EQ(view.offeredName, "Bericht.pdf");
            EXPECT_EQ(report.destination, dir.file("out.pdf"));
            EXPECT_EQ(ReadAll(carrier), written);   // extraction only reads
        }
    }
    EXPECT_EQ(passwords.asked, 8);   // 4 hides and 4 extractions ask once
}

TEST_F(Fixture, ReportLabelsFollowTheRoundedLength) {
    // Compressible data: the decompressed file is larger than the payload.
    std::vector<std::uint8_t> text(50000, 'x');
    std::string carrier = hideFileB(text, "notiz.txt", MakeBmp(200, 200), payload::Mode::Aes);
    const auto n = *HeaderOf(ReadAll(carrier)).dataLength;
    passwords.extract = {Padded("Sesam")};
    auto report = extractTo(carrier, dir.file("x.txt"));
    ASSERT_EQ(report.outcome, ExtractOutcome::Extracted);
    const std::int64_t rounded = ((n - 1) / 16 + 1) * 16;
    auto lines = extract::ResultLines(report);
    EXPECT_EQ(lines.sizes, "Extrahierte Datei (komprimiert): " + FormatThousands(rounded) +
                                 " Bytes, dekomprimiert: 50.000 Bytes (x.txt)");
    EXPECT_EQ(lines.cipher, "Die extrahierten Daten waren zusaetzlich verschluesselt. Erkanntes Kryptoverfahren: AES-256");
    EXPECT_EQ(lines.seconds.size(), 5u);
    EXPECT_EQ(lines.seconds[1], ',');
    EXPECT_TRUE(view.sawCaption(">>>>>>>>>>>>>  Datei wird entschlüsselt (AES-256)..."));
    EXPECT_EQ(view.captions.back(), "KalmiraB - Extraktion");
    EXPECT_EQ(view.pauses, std::vector<double>{1});

    // Incompressible data: the short form.
    std::string c2 = hideFileB(RandomBytes(3000, 4), "zufall.bin", MakeBmp(200, 200), payload::Mode::Plain);
    lines = extract::ResultLines(extractTo(c2, dir.file("z.bin")));
    EXPECT_EQ(lines.sizes, "Extrahierte Datei: 3.000 Bytes (z.bin)");
    EXPECT_EQ(lines.cipher, "Die extrahierten Daten waren nicht zusaetzlich verschluesselt.");
}

TEST_F(Fixture, PasswordGetsThreeAttempts) {
    std::string carrier = hideFileB(RandomBytes(500), "a.bin", MakeBmp(100, 100), payload::Mode::Rc4);
    passwords.extract = {Padded("falsch"), Padded("Sesam")};
    auto report = extractTo(carrier, dir.file("a.bin"));
    EXPECT_EQ(report.outcome, ExtractOutcome::Extracted);
    EXPECT_EQ(messages.last(), "Falsches Passwort! Sie haben noch 2 Versuche!");
    EXPECT_EQ(view.exits, 0);

    messages.shown.clear();
    passwords.extract = {Padded("x"), Padded("y"), ""};
    report = extractTo(carrier, dir.file("b.bin"));
    EXPECT_EQ(report.outcome, ExtractOutcome::ProgramEnded);
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[0].text, "Falsches Passwort! Sie haben noch 2 Versuche!");
    EXPECT_EQ(messages.shown[1].text, "Falsches Passwort! Sie haben noch 1 Versuch!");
    EXPECT_EQ(messages.shown[2].text, "Falsches Passwort! Sie haben noch 0 Versuche!");
    EXPECT_EQ(messages.shown[2].icon, Icon::Exclamation);
    EXPECT_EQ(view.exits, 1);
    EXPECT_FALSE(platform::FileExists(dir.file("b.bin")));
}

TEST_F(Fixture, CarriersWithoutPayload) {
    WriteAll(dir.file("plain.bmp"), MakeBmp(100, 100));
    auto report = extractTo(dir.file("plain.bmp"), dir.file("o"));
    EXPECT_EQ(report.outcome, ExtractOutcome::NoPayload);
    EXPECT_EQ(messages.last(), "Die ausgewählte Container-Datei enthält keine versteckte Datei!");
    EXPECT_TRUE(view.pauses.empty());

    // Tags are case-sensitive.
    std::string carrier = hideFileB(RandomBytes(100), "a.bin", MakeBmp(100, 100), payload::Mode::Plain);
    PatchHeader(carrier, 0, "YESN");
    EXPECT_EQ(extractTo(carrier, dir.file("o")).outcome, ExtractOutcome::NoPayload);

    WriteAll(dir.file("tiny.bmp"), std::string("BM"));
    EXPECT_EQ(extractTo(dir.file("tiny.bmp"), dir.file("o")).outcome, ExtractOutcome::NoPayload);
    EXPECT_EQ(extractTo(dir.file("gone.bmp"), dir.file("o")).outcome, ExtractOutcome::CarrierMissing);
    EXPECT_EQ(messages.last(), "ContainerDatei wurde nicht gefunden!");
    EXPECT_EQ(extractTo("", dir.file("o")).outcome, ExtractOutcome::NoCarrierChosen);
    EXPECT_FALSE(platform::FileExists(dir.file("o")));
}

TEST_F(Fixture, DamagedPayloadsWriteNothingAndKeepTheDestination) {
    WriteAll(dir.file("keep.bin"), std::string("vorher"));
    auto expectDamaged = [&](const std::string &carrier, const char *what) {
        auto report = extractTo(carrier, dir.file("keep.bin"));
        EXPECT_EQ(report.outcome, ExtractOutcome::Damaged) << what;
        EXPECT_EQ(ReadAll(dir.file("keep.bin")), std::vector<std::uint8_t>({'v', 'o', 'r', 'h', 'e', 'r'})) << what;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}),
                  std::ptrdiff_t(4)) << what << ": a temporary file was left";   // plain.in/.z, keep, c.bmp
    };
    auto fresh = [&] { return hideFileB(RandomBytes(5000, 3), "a.bin", MakeBmp(150, 150), payload::Mode::Plain); };

    std::string c = fresh();
    PatchHeader(c, 20, "9999999");   // hostile length
    expectDamaged(c, "length beyond the file");
    c = fresh();
    PatchHeader(c, 20, "0000000");   // one data byte: read, but no deflate stream
    expectDamaged(c, "single byte");
    c = fresh();
    PatchHeader(c, 20, "00x1234");
    expectDamaged(c, "length not digits");
    c = fresh();
    {
        auto bytes = ReadAll(c);
        bytes.resize(2000);   // truncated carrier
        WriteAll(c, bytes);
    }
    expectDamaged(c, "truncated");
    c = fresh();
    {
        auto bytes = ReadAll(c);
        for (std::size_t i = 539 + 8 * 100; i < 539 + 8 * 200; ++i) bytes[i] ^= 1;   // corrupt deflate data
        WriteAll(c, bytes);
    }
    expectDamaged(c, "corrupt data");
    EXPECT_NE(messages.last().find("dekomprimiert"), std::string::npos);
    EXPECT_EQ(messages.shown.back().title, "Kalmira - Fehlernachricht");

    // AES with a length that is no multiple of 16.
    c = hideFileB(RandomBytes(5000, 3), "a.bin", MakeBmp(150, 150), payload::Mode::Aes);
    auto n = *HeaderOf(ReadAll(c)).dataLength;
    char digits[24];
    std::snprintf(digits, sizeof digits, "%07lld", static_cast<long long>(n - 2));
    PatchHeader(c, 20, digits);
    passwords.extract = {Padded("Sesam")};
    expectDamaged(c, "AES length");
}

TEST_F(Fixture, DestinationHandling) {
    std::string carrier = hideFileB(RandomBytes(2000, 9), "a.bin", MakeBmp(100, 100), payload::Mode::Plain);
    // Cancelled save dialog: nothing written, no temporary file.
    auto report = extractTo(carrier, "");
    EXPECT_EQ(report.outcome, ExtractOutcome::Cancelled);
    EXPECT_TRUE(report.destination.empty());
    // An existing read-only destination is replaced.
    WriteAll(dir.file("ro.bin"), std::string("alt"));
    platform::SetFileAttributes(dir.file("ro.bin"), platform::AttrReadOnly);
    report = extractTo(carrier, dir.file("ro.bin"));
    EXPECT_EQ(report.outcome, ExtractOutcome::Extracted);
    EXPECT_EQ(ReadAll(dir.file("ro.bin")), RandomBytes(2000, 9));
    EXPECT_EQ(platform::GetFileAttributes(dir.file("ro.bin")), platform::AttrNormal);

    // The save dialog is offered a plain file name, trimmed at both ends.
    for (const char *stored : {"../../tmp/  x.txt", "  x.txt", "a\\b\\x.txt"}) {
        carrier = hideFileB(RandomBytes(100, 2), stored, MakeBmp(100, 100), payload::Mode::Plain);
        extractTo(carrier, "");
        EXPECT_EQ(view.offeredName, "x.txt") << stored;
    }
    carrier = hideFileB(RandomBytes(100, 2), "..", MakeBmp(100, 100), payload::Mode::Plain);
    extractTo(carrier, "");
    EXPECT_EQ(view.offeredName, "");
}

TEST_F(Fixture, MessagesRoundTripAndCrossBetweenThePrograms) {
    const std::string text = "Grüße aus München!\r\nZweite Zeile ÄÖÜ äöü ß €";
    const std::string ansi = platform::AnsiFromUtf8(text);
    for (payload::Mode mode : kModes) {
        std::string carrier = hideMessageA(ansi, MakeWav(200000), mode);
        FakeMessageExtractView v;
        if (mode != payload::Mode::Plain) passwords.extract = {Padded("Sesam")};
        auto r = Told(messages, extractor.extractMessage(v, carrier, 65535));
        ASSERT_EQ(r.outcome, ExtractOutcome::Extracted) << messages.last();
        EXPECT_EQ(r.messageAnsi, ansi);   // nothing appended on either side
        EXPECT_EQ(v.shown, ansi);
        EXPECT_EQ(r.storedName, "Botschaft.txt");
        EXPECT_TRUE(r.saveEnabled);
        EXPECT_EQ(v.resultLine.substr(0, 30), "Extrahierte Botschaft: " + std::to_string(ansi.size()) + " Byte");

        // KalmiraB extracts the same carrier as a text file.
        if (mode != payload::Mode::Plain) passwords.extract = {Padded("Sesam")};
        auto b = extractTo(carrier, dir.file("Botschaft.txt"));
        ASSERT_EQ(b.outcome, ExtractOutcome::Extracted);
        EXPECT_EQ(ReadAll(dir.file("Botschaft.txt")), std::vector<std::uint8_t>(ansi.begin(), ansi.end()));
    }
    // A small text file hidden by KalmiraB shows in KalmiraA.
    std::string note = "Treffpunkt 12 Uhr";
    std::string carrier = hideFileB({note.begin(), note.end()}, "notiz.txt", MakeBmp(100, 100), payload::Mode::Plain);
    FakeMessageExtractView v;
    auto r = Told(messages, extractor.extractMessage(v, carrier, 65535));
    EXPECT_EQ(r.outcome, ExtractOutcome::Extracted);
    EXPECT_EQ(v.shown, note);
    EXPECT_EQ(r.storedName, "notiz.txt");
    EXPECT_EQ(v.resultLine, "Extrahierte Botschaft: 17 Byte,  ContainerSize: " +
                                FormatThousands(platform::FileSize(carrier)) +
                                " Byte, erkanntes Kryptoverfahren: unverschluesselt");
}

TEST_F(Fixture, KalmiraARefusesWhatIsNoMessage) {
    // Too large before any data is read.
    std::string big = hideFileB(RandomBytes(70000, 2), "film.avi", MakeBmp(500, 500), payload::Mode::Plain);
    FakeMessageExtractView v;
    auto r = Told(messages, extractor.extractMessage(v, big, 65535));
    EXPECT_EQ(r.outcome, ExtractOutcome::TooLarge);
    EXPECT_FALSE(r.saveEnabled);
    EXPECT_EQ(messages.last(),
              "Die eingebettete (versteckte) Datei film.avi ist grösser 65535 Byte oder ist keine ASCII "
              "Textdatei. Zum Einbetten (Verstecken) wurde wahrscheinlich KalmiraB verwendet. Bitte zum "
              "Extrahieren der Datei das Programm KalmiraB verwenden.");
    EXPECT_EQ(messages.shown.back().title, "KalmiraA - Nachricht");
    EXPECT_FALSE(v.sawCaption("FERTIG"));
    EXPECT_EQ(v.captions.back(), "KalmiraA - Extraktion");

    // A small binary file: shown up to its first NUL, then refused.
    std::vector<std::uint8_t> bin = {'M', 'Z', 0x90, 0, 3, 0};
    std::string small = hideFileB(bin, "prog.exe", MakeBmp(100, 100), payload::Mode::Plain);
    FakeMessageExtractView v2;
    r = Told(messages, extractor.extractMessage(v2, small, 65535));
    EXPECT_EQ(r.outcome, ExtractOutcome::TooLarge);
    EXPECT_EQ(v2.shown, "MZ\x90");
    EXPECT_FALSE(r.saveEnabled);

    // No payload: the program's own text, the save button still enabled.
    WriteAll(dir.file("leer.bmp"), MakeBmp(50, 50));
    FakeMessageExtractView v3;
    r = Told(messages, extractor.extractMessage(v3, dir.file("leer.bmp"), 65535));
    EXPECT_EQ(r.outcome, ExtractOutcome::NoPayload);
    EXPECT_EQ(messages.last(), "Diese Datei enthält keine versteckte Botschaft!");
    EXPECT_TRUE(r.saveEnabled);
}

TEST_F(Fixture, MessageHideChecksAndSizes) {
    WriteAll(dir.file("k.bmp"), MakeBmp(20, 20));
    FakeMessageHideView v;
    hide::MessageHideInput in;
    in.carrierPath = dir.file("k.bmp");
    EXPECT_EQ(Told(messages, hider.hideMessage(v, in)).outcome, HideOutcome::NoMessage);
    EXPECT_EQ(v.focused, 1);
    EXPECT_EQ(v.captions.back(), "KalmiraA - Verstecken");
    EXPECT_TRUE(v.pauses.empty());

    for (auto b : RandomBytes(5000, 8)) in.messageAnsi += static_cast<char>('a' + b % 26);
    in.sourcePath = dir.file("brief.txt");
    EXPECT_EQ(Told(messages, hider.hideMessage(v, in)).outcome, HideOutcome::CarrierTooSmall);
    EXPECT_NE(messages.last().find("\"brief.txt\""), std::string::npos);
    EXPECT_NE(messages.last().find("(rechts oben im Auswahlfenster)"), std::string::npos);
    EXPECT_EQ(v.sizeLine.substr(0, 39), "Botschaft: 5.000 Byte, komprimiert zu: ");

    WriteAll(dir.file("k.bmp"), MakeBmp(100, 100));
    const auto before = ReadAll(dir.file("k.bmp"));
    in.encrypt = true;
    EXPECT_EQ(Told(messages, hider.hideMessage(v, in)).outcome, HideOutcome::Cancelled);
    EXPECT_EQ(v.sizeLine, "Botschaft: 5.000 Byte");
    EXPECT_EQ(ReadAll(dir.file("k.bmp")), before);

    passwords.hide = {Padded("pw")};
    in.cipher = payload::Mode::Rc4;
    v.pauses.clear();
    EXPECT_EQ(Told(messages, hider.hideMessage(v, in)).outcome, HideOutcome::Written);
    EXPECT_EQ(v.pauses, std::vector<double>{3});
    EXPECT_TRUE(v.sawCaption("***********  Datei wird RC4 verschlüsselt  *********\""));
    EXPECT_TRUE(v.sawCaption(">>>>>>>>>> Versteck-Vorgang läuft ...    50 % bearbeitet"));
    EXPECT_TRUE(v.sawCaption(hide::kFinishedCaptionA));
    const auto after = ReadAll(dir.file("k.bmp"));
    auto h = HeaderOf(after);
    ASSERT_TRUE(h.dataLength);
    // Nothing beyond the payload span is read or written.
    const auto end = static_cast<std::size_t>(payload::CarrierBytesFor(*h.dataLength));
    EXPECT_TRUE(std::equal(after.begin() + static_cast<long>(end), after.end(), before.begin() + static_cast<long>(end)));
}
