// The stealth format ("Tarnformat") in the tool: capacity with the
// recommended payload, the warning above it, the note on a picture that was
// once a JPEG, and both versions' answers.
#include "cli_fixture.h"
#include "platform/journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace kalmira;
using namespace kalmira::test;
namespace fs = std::filesystem;

namespace {

// The stealth format with the real key derivation: a few runs only.
TEST_F(Cli, StealthFilesAndMessagesAndTheOneAnswer) {
    const auto secret = RandomBytes(3000, 4);
    put("geheim.bin", secret);
    const auto original = MakeBmp(400, 300);
    put("c.bmp", original);
    // The largest payload first (scripts read it), then the recommended one.
    Result r = run("capacity c.bmp --stealth");
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::uint64_t largest = std::stoull(r.out);
    EXPECT_GT(largest, 5000u);
    EXPECT_NE(r.out.find("\nEmpfohlen: höchstens "), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
    r = run("hide c.bmp geheim.bin --stealth --cipher none", "KALMIRA_PASSWORD=Sesam");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("--cipher gilt nicht mit --stealth"), std::string::npos);
    EXPECT_EQ(ReadAll(dir.file("c.bmp")), original);

    r = run("hide c.bmp geheim.bin --stealth", "KALMIRA_PASSWORD=Sesam");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.err.find("Warnung"), std::string::npos) << r.err; // within the recommended payload
    EXPECT_NE(ReadAll(dir.file("c.bmp")), original);
    EXPECT_FALSE(fs::exists(platform::JournalPathFor(dir.file("c.bmp")))); // committed
    EXPECT_NE(run("info c.bmp").out.find("Tarnformat: ohne Passwort nicht feststellbar"), std::string::npos);
    // Wrong password and no data are one answer, exit 2; nothing is written.
    r = run("extract c.bmp -o x.bin", "KALMIRA_PASSWORD=sesam");
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("keine Daten gefunden, oder das Passwort ist falsch"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("absichtlich nicht unterscheiden"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("x.bin")));
    r = run("extract c.bmp -o -", "KALMIRA_PASSWORD=Sesam");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, std::string(secret.begin(), secret.end()));
    r = run("extract c.bmp --text -o -", "KALMIRA_PASSWORD=Sesam");
    EXPECT_EQ(r.rc, 4); // a file, not a message
    EXPECT_NE(r.err.find("eine Datei, keine Botschaft"), std::string::npos) << r.err;
    EXPECT_EQ(run("extract c.bmp", "KALMIRA_PASSWORD=Sesam").rc, 5); // the stored name exists here
    fs::create_directory(dir.file("aus"));
    ASSERT_EQ(run("extract c.bmp -o aus", "KALMIRA_PASSWORD=Sesam").rc, 0);
    EXPECT_EQ(ReadAll(dir.file("aus/geheim.bin")), secret);

    // A message goes in as Windows-1252 and comes out as UTF-8.
    put("gruss.txt", std::vector<std::uint8_t>{'G', 'r', 0xC3, 0xBC, 0xC3, 0x9F, 'e'});
    put("m.wav", MakeWav(100000));
    ASSERT_EQ(run("hide m.wav gruss.txt --text --stealth", "KALMIRA_PASSWORD=Sesam").rc, 0);
    r = run("extract m.wav --text -o -", "KALMIRA_PASSWORD=Sesam");
    EXPECT_EQ(r.out, "Gr\xC3\xBC\xC3\x9F"
                     "e")
        << r.err;

    // A palette picture cannot hold the format: refused, and info may call it empty.
    auto palette = MakeBmp(150, 100);
    palette[28] = 8;
    put("p.bmp", palette);
    r = run("capacity p.bmp --stealth");
    EXPECT_EQ(r.rc, 4);
    EXPECT_NE(r.err.find("Farbpalette"), std::string::npos);
    EXPECT_NE(run("info p.bmp").out.find("Versteckte Daten: nein"), std::string::npos);

    // Above the recommended payload: one warning line, and the run goes on.
    const auto more = RandomBytes(static_cast<std::size_t>(largest - 20), 5);
    put("mehr.bin", more);
    put("d.bmp", original);
    r = run("hide d.bmp mehr.bin --stealth", "KALMIRA_PASSWORD=Sesam");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.err.rfind("kalmira: Warnung: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    r = run("extract d.bmp -o -", "KALMIRA_PASSWORD=Sesam");
    EXPECT_EQ(r.out, std::string(more.begin(), more.end())) << r.err;
}

// A picture decoded from a JPEG keeps its 8x8 block grid: the tool says that
// every change stands out and how the converter prepares a better carrier.
TEST_F(Cli, StealthNotesAPictureThatWasOnceAJpeg) {
    auto blocks = MakeBmp(400, 300);
    for (std::size_t i = 54; i < blocks.size(); ++i) {
        const std::size_t p = (i - 54) / 3, x = p % 400, y = p / 400;
        blocks[i] =
            static_cast<std::uint8_t>(90 + ((x / 8) * 37 + (y / 8) * 71 + (i - 54) % 3 * 13) % 80 + (blocks[i] & 1));
    }
    put("j.bmp", blocks);
    Result r = run("capacity j.bmp --stealth");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("war einmal ein JPEG-Bild"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("kalmira convert --verkleinern"), std::string::npos) << r.err;
    put("kurz.txt", {'h', 'i'});
    r = run("hide j.bmp kurz.txt --stealth", "KALMIRA_PASSWORD=Sesam");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("war einmal ein JPEG-Bild"), std::string::npos) << r.err;
}

} // namespace
