// PNG and FLAC carriers in the built `kalmira`: the stealth format takes
// them, the classic one refuses them naming --stealth, info shows their facts.
#include "fakes.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

using namespace kalmira::test;

namespace {

struct Result {
    int rc = -1;
    std::string out, err;
};

struct CliPngFlac : ::testing::Test {
    TempDir dir, io;

    // Runs `command` in `dir`; "kalmira" in it is the built tool.
    Result run(const std::string &command, const std::string &env = "") {
        std::string cmd = command;
        cmd.replace(0, 7, std::string("'") + KALMIRA_CLI + "'");
        const int status = std::system(("cd '" + dir.path() + "' && env -u KALMIRA_PASSWORD " + env + " " + cmd +
                                        " >'" + io.file("out") + "' 2>'" + io.file("err") + "' </dev/null")
                                           .c_str());
        auto text = [](const std::string &p) {
            const auto b = ReadAll(p);
            return std::string(b.begin(), b.end());
        };
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text(io.file("out")), text(io.file("err"))};
    }
    int shell(const std::string &command) { return std::system(("cd '" + dir.path() + "' && " + command).c_str()); }
};

} // namespace

TEST_F(CliPngFlac, ClassicRefusesInfoShowsFacts) {
    ASSERT_EQ(shell("convert -size 64x48 -seed 2 plasma:fractal -depth 8 -interlace PNG -define png:color-type=2 "
                    "-set comment Kalmira c.png"),
              0);
    WriteAll(dir.file("a.wav"), MakeWav(40000, 2, 44100, 16));
    ASSERT_EQ(shell("flac -s --tag=TITLE=Kalmira -o a.flac a.wav"), 0);
    WriteAll(dir.file("s.txt"), std::string("geheim"));
    const auto png = ReadAll(dir.file("c.png"));

    Result r = run("kalmira hide c.png s.txt", "KALMIRA_PASSWORD=Sesam");
    EXPECT_EQ(r.rc, 4);
    EXPECT_NE(r.err.find("nur BMP- und WAV-Dateien"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--stealth"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(dir.file("c.png")), png);
    EXPECT_EQ(run("kalmira capacity a.flac").rc, 4);

    r = run("kalmira info c.png");
    ASSERT_EQ(r.rc, 0) << r.err;
    for (const char *line : {"Typ: PNG-Bild", "Breite: 64 Pixel", "Höhe: 48 Pixel", "Farbtyp: RGB\n",
                             "Bits pro Kanal: 8", "Zeilensprung: Adam7", "tEXt", "IEND"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    r = run("kalmira info a.flac");
    ASSERT_EQ(r.rc, 0) << r.err;
    for (const char *line : {"Typ: FLAC-Aufnahme", "Kanäle: Stereo", "Abtastrate: 44100 Hz", "Bits pro Sample: 16",
                             "Metadaten: STREAMINFO, SEEKTABLE, VORBIS_COMMENT, PADDING"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;

    // A damaged file and a file that only bears the name are refused with reasons.
    auto bad = png;
    bad[bad.size() / 2] ^= 0x10;
    WriteAll(dir.file("bad.png"), bad);
    r = run("kalmira info bad.png");
    EXPECT_EQ(r.rc, 4);
    EXPECT_NE(r.err.find("beschädigt"), std::string::npos) << r.err;
    WriteAll(dir.file("fake.flac"), std::string("RIFF...."));
    r = run("kalmira info fake.flac");
    EXPECT_EQ(r.rc, 4);
    EXPECT_NE(r.err.find("keine gültige FLAC-Datei"), std::string::npos) << r.err;
}

// The stealth format end to end: capacity, hide, a valid file afterwards
// (pngcheck, flac -t), extract; refusals name their reason and change nothing.
TEST_F(CliPngFlac, StealthHideAndExtract) {
    ASSERT_EQ(shell("convert -size 256x180 -seed 3 plasma:fractal -blur 0x1 -depth 16 -define png:color-type=6 "
                    "c.png"),
              0);
    WriteAll(dir.file("a.wav"), MakeWav(4 * 48000, 2, 48000, 16));
    ASSERT_EQ(shell("flac -s -o a.flac a.wav"), 0);
    WriteAll(dir.file("s.txt"), std::string("Treffpunkt: Bahnhof, 18 Uhr."));
    for (const char *carrier : {"c.png", "a.flac"}) {
        const std::string c = carrier;
        Result r = run("kalmira capacity --stealth " + c);
        ASSERT_EQ(r.rc, 0) << c << r.err;
        EXPECT_GT(std::stoull(r.out), 40u) << c;
        r = run("kalmira hide --stealth " + c + " s.txt", "KALMIRA_PASSWORD=Sesam");
        ASSERT_EQ(r.rc, 0) << c << r.err;
        EXPECT_EQ(shell(c == "c.png" ? "pngcheck -q c.png >/dev/null" : "flac -t -s a.flac"), 0) << c;
        r = run("kalmira extract " + c + " -o -", "KALMIRA_PASSWORD=Sesam");
        ASSERT_EQ(r.rc, 0) << c << r.err;
        EXPECT_EQ(r.out, "Treffpunkt: Bahnhof, 18 Uhr.") << c;
        EXPECT_EQ(run("kalmira extract " + c + " -o x", "KALMIRA_PASSWORD=sesam").rc, 2) << c;
    }
    EXPECT_EQ(FilesIn(dir.path()), 4u); // no journal, no staging file, no "x"

    ASSERT_EQ(shell("convert c.png -colors 16 PNG8:p.png"), 0);
    const auto palette = ReadAll(dir.file("p.png"));
    Result r = run("kalmira hide --stealth p.png s.txt", "KALMIRA_PASSWORD=Sesam");
    EXPECT_EQ(r.rc, 4);
    EXPECT_NE(r.err.find("BildConverter"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(dir.file("p.png")), palette);
    ASSERT_EQ(shell("ln c.png zweiter-name.png"), 0);
    const auto linked = ReadAll(dir.file("c.png"));
    r = run("kalmira hide --stealth c.png s.txt", "KALMIRA_PASSWORD=Sesam");
    EXPECT_EQ(r.rc, 4);
    EXPECT_NE(r.err.find("harte Links"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(dir.file("c.png")), linked);
}

// The converter writes an RGB PNG when asked for one: a palette picture so
// becomes a carrier of the stealth format.
TEST_F(CliPngFlac, ConverterWritesAPng) {
    ASSERT_EQ(shell("convert -size 300x200 -seed 4 plasma:fractal -colors 16 PNG8:p.png"), 0);
    Result r = run("kalmira convert p.png -o rgb.png --no-optimise");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(shell("pngcheck -q rgb.png >/dev/null"), 0);
    r = run("kalmira info rgb.png");
    EXPECT_NE(r.out.find("Farbtyp: RGB\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Breite: 300 Pixel"), std::string::npos) << r.out;
    EXPECT_EQ(shell("test \"$(convert p.png rgb:- | md5sum)\" = \"$(convert rgb.png rgb:- | md5sum)\""), 0);
    r = run("kalmira capacity --stealth rgb.png");
    EXPECT_EQ(r.rc, 0) << r.err;
}
