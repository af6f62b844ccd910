#include "extract/extract_engine.h"

#include "engine_fixture.h"
#include "platform/platform.h"
#include "shell/helpers.h"

#include <functional>

using namespace kalmira;
using namespace kalmira::test;
using extract::ExtractOutcome;
using hide::HideOutcome;

struct Fixture : EngineTest {};

// Every mode and carrier kind runs end to end in programs_test.
TEST_F(Fixture, FileRoundTripKeepsTheCarrierHeaderAndExtractionOnlyReads) {
    const auto plain = RandomBytes(30000, 1);
    const auto carrierBytes = MakeWav(300000);
    const std::string carrier = hideFile(plain, "Bericht.pdf", payload::Mode::Aes, carrierBytes, "c.wav");
    const auto written = ReadAll(carrier);
    EXPECT_TRUE(std::equal(carrierBytes.begin(), carrierBytes.begin() + 91, written.begin()));
    ASSERT_EQ(extractTo(carrier, dir.file("out.pdf")).outcome, ExtractOutcome::Extracted) << messages.last();
    EXPECT_EQ(ReadAll(dir.file("out.pdf")), plain);
    EXPECT_EQ(view.offeredName, "Bericht.pdf");
    EXPECT_EQ(ReadAll(carrier), written); // extraction only reads
    EXPECT_EQ(passwords.asked, 2);
}

TEST_F(Fixture, ReportSizesFollowTheRoundedLength) {
    // Compressible data: the decompressed file is larger than the payload.
    const std::string carrier = hideFile(std::vector<std::uint8_t>(50000, 'x'), "notiz.txt", payload::Mode::Aes);
    const auto n = *HeaderOf(ReadAll(carrier)).dataLength;
    const auto report = extractTo(carrier, dir.file("x.txt"));
    ASSERT_EQ(report.outcome, ExtractOutcome::Extracted);
    EXPECT_EQ(extract::ResultLines(report).sizes,
              "Extrahierte Datei (komprimiert): " + FormatThousands(((n - 1) / 16 + 1) * 16) +
                  " Bytes, dekomprimiert: 50.000 Bytes (x.txt)");
}

TEST_F(Fixture, PasswordGetsThreeAttempts) {
    const std::string carrier = hideFile(RandomBytes(500), "a.bin", payload::Mode::Rc4);
    EXPECT_EQ(extractTo(carrier, dir.file("a.bin"), {"falsch", "Sesam"}).outcome, ExtractOutcome::Extracted);
    EXPECT_EQ(view.exits, 0);

    passwords.rejected.clear();
    EXPECT_EQ(extractTo(carrier, dir.file("b.bin"), {"x", "y", ""}).outcome, ExtractOutcome::ProgramEnded);
    EXPECT_EQ(passwords.rejected, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(view.exits, 1);
    EXPECT_FALSE(platform::FileExists(dir.file("b.bin")));
}

TEST_F(Fixture, CarriersWithoutPayload) {
    WriteAll(dir.file("plain.bmp"), MakeBmp(100, 100));
    EXPECT_EQ(extractTo(dir.file("plain.bmp"), dir.file("o")).outcome, ExtractOutcome::NoPayload);
    EXPECT_TRUE(view.pauses.empty());

    const std::string carrier = hideFile(RandomBytes(100), "a.bin");
    PatchHeader(carrier, 0, "YESN"); // tags are case-sensitive
    EXPECT_EQ(extractTo(carrier, dir.file("o")).outcome, ExtractOutcome::NoPayload);

    WriteAll(dir.file("tiny.bmp"), std::string("BM"));
    EXPECT_EQ(extractTo(dir.file("tiny.bmp"), dir.file("o")).outcome, ExtractOutcome::NoPayload);
    EXPECT_EQ(extractTo(dir.file("gone.bmp"), dir.file("o")).outcome, ExtractOutcome::CarrierMissing);
    EXPECT_EQ(extractTo("", dir.file("o")).outcome, ExtractOutcome::NoCarrierChosen);
    EXPECT_FALSE(platform::FileExists(dir.file("o")));
}

TEST_F(Fixture, DamagedPayloadsWriteNothingAndKeepTheDestination) {
    WriteAll(dir.file("keep.bin"), std::string("vorher"));
    const auto kept = ReadAll(dir.file("keep.bin"));
    using extract::Damage;
    auto damaged = [&](Damage why, payload::Mode mode, const std::function<void(std::string &)> &harm) {
        const auto what = static_cast<int>(why);
        std::string c = hideFile(RandomBytes(5000, 3), "a.bin", mode);
        harm(c);
        const auto r = extractTo(c, dir.file("keep.bin"));
        EXPECT_EQ(r.outcome, ExtractOutcome::Damaged) << what;
        EXPECT_EQ(r.damage, why);
        EXPECT_EQ(ReadAll(dir.file("keep.bin")), kept) << what;
        EXPECT_EQ(FilesIn(dir.path()), 2u) << what << ": a temporary file was left";
    };
    const auto plain = payload::Mode::Plain;
    damaged(Damage::LengthBeyondCarrier, plain, [](std::string &c) { PatchHeader(c, 20, "9999999"); });
    damaged(Damage::Decompression, plain,
            [](std::string &c) { PatchHeader(c, 20, "0000000"); }); // one byte, no deflate stream
    damaged(Damage::LengthField, plain, [](std::string &c) { PatchHeader(c, 20, "00x1234"); });
    damaged(Damage::LengthBeyondCarrier, plain, [](std::string &c) {
        auto bytes = ReadAll(c);
        bytes.resize(2000);
        WriteAll(c, bytes);
    });
    damaged(Damage::Decompression, plain, [](std::string &c) {
        auto bytes = ReadAll(c);
        for (std::size_t i = 539 + 8 * 100; i < 539 + 8 * 200; ++i) bytes[i] ^= 1;
        WriteAll(c, bytes);
    });
    damaged(Damage::AesBlocks, payload::Mode::Aes, [](std::string &c) {
        char digits[24];
        std::snprintf(digits, sizeof digits, "%07lld", static_cast<long long>(*HeaderOf(ReadAll(c)).dataLength - 2));
        PatchHeader(c, 20, digits);
    });
}

TEST_F(Fixture, DestinationHandling) {
    std::string carrier = hideFile(RandomBytes(2000, 9), "a.bin");
    // Cancelled save dialog: nothing written, no temporary file.
    auto report = extractTo(carrier, "");
    EXPECT_EQ(report.outcome, ExtractOutcome::Cancelled);
    EXPECT_TRUE(report.destination.empty());
    // An existing read-only destination is replaced.
    WriteAll(dir.file("ro.bin"), std::string("alt"));
    platform::SetFileAttributes(dir.file("ro.bin"), platform::AttrReadOnly);
    EXPECT_EQ(extractTo(carrier, dir.file("ro.bin")).outcome, ExtractOutcome::Extracted);
    EXPECT_EQ(ReadAll(dir.file("ro.bin")), RandomBytes(2000, 9));
    EXPECT_EQ(platform::GetFileAttributes(dir.file("ro.bin")), platform::AttrNormal);

    // The save dialog is offered a plain file name, trimmed at both ends.
    for (auto [stored, offered] : {std::pair{"../../tmp/  x.txt", "x.txt"}, std::pair{"  x.txt", "x.txt"},
                                   std::pair{"a\\b\\x.txt", "x.txt"}, std::pair{"..", ""}}) {
        extractTo(hideFile(RandomBytes(100, 2), stored), "");
        EXPECT_EQ(view.offeredName, offered) << stored;
    }
}

TEST_F(Fixture, MessagesRoundTripAndCrossBetweenThePrograms) {
    const std::string ansi = platform::AnsiFromUtf8("Grüße aus München!\r\nZweite Zeile ÄÖÜ äöü ß €");
    std::string carrier = dir.file("a.wav");
    WriteAll(carrier, MakeWav(200000));
    ASSERT_EQ(HideMessage(hider, passwords, carrier, ansi, payload::Mode::Rc4), HideOutcome::Written);
    FakeMessageExtractView v;
    auto r = extractMessage(v, carrier);
    ASSERT_EQ(r.outcome, ExtractOutcome::Extracted) << messages.last();
    EXPECT_EQ(r.messageAnsi, ansi); // nothing appended on either side
    EXPECT_EQ(v.shown, ansi);
    EXPECT_EQ(r.storedName, "Botschaft.txt");
    EXPECT_TRUE(r.saveEnabled);
    // KalmiraB extracts the same carrier as a text file.
    ASSERT_EQ(extractTo(carrier, dir.file("Botschaft.txt")).outcome, ExtractOutcome::Extracted);
    EXPECT_EQ(ReadAll(dir.file("Botschaft.txt")), std::vector<std::uint8_t>(ansi.begin(), ansi.end()));

    // A small text file hidden by KalmiraB shows in KalmiraA.
    const std::string note = "Treffpunkt 12 Uhr";
    r = extractMessage(v, hideFile({note.begin(), note.end()}, "notiz.txt"));
    EXPECT_EQ(r.outcome, ExtractOutcome::Extracted);
    EXPECT_EQ(v.shown, note);
    EXPECT_EQ(r.storedName, "notiz.txt");
}

TEST_F(Fixture, KalmiraARefusesWhatIsNoMessage) {
    // Too large before any data is read.
    FakeMessageExtractView v;
    auto r = extractMessage(v, hideFile(RandomBytes(70000, 2), "film.avi", payload::Mode::Plain, MakeBmp(500, 500)));
    EXPECT_EQ(r.outcome, ExtractOutcome::TooLarge);
    EXPECT_FALSE(r.saveEnabled);
    EXPECT_TRUE(v.shown.empty());

    // A small binary file: shown up to its first NUL, then refused.
    FakeMessageExtractView v2;
    r = extractMessage(v2, hideFile({'M', 'Z', 0x90, 0, 3, 0}, "prog.exe"));
    EXPECT_EQ(r.outcome, ExtractOutcome::TooLarge);
    EXPECT_EQ(v2.shown, "MZ\x90");
    EXPECT_FALSE(r.saveEnabled);

    // No payload: the save button stays enabled.
    WriteAll(dir.file("leer.bmp"), MakeBmp(50, 50));
    r = extractMessage(v2, dir.file("leer.bmp"));
    EXPECT_EQ(r.outcome, ExtractOutcome::NoPayload);
    EXPECT_TRUE(r.saveEnabled);
}

// Modes, pauses and the written span are pinned by the hide tests; here what
// only a message run does.
TEST_F(Fixture, MessageHideFocusesTheBoxAndTellsTheCompressedSize) {
    WriteAll(dir.file("k.bmp"), MakeBmp(20, 20));
    FakeHideProgress v;
    hide::MessageHideInput in;
    in.carrierPath = dir.file("k.bmp");
    EXPECT_EQ(HideAsWindow(hider, v, passwords, in).outcome, HideOutcome::NoMessage);
    EXPECT_EQ(v.focused, 1);

    for (auto b : RandomBytes(5000, 8)) in.messageAnsi += static_cast<char>('a' + b % 26);
    EXPECT_EQ(HideAsWindow(hider, v, passwords, in).outcome, HideOutcome::CarrierTooSmall);
    EXPECT_EQ(v.sizeLine.substr(0, 39), "Botschaft: 5.000 Byte, komprimiert zu: ");
    EXPECT_TRUE(v.pauses.empty());
}
