// Runs the built `kalmira` and checks its files, outputs and exit codes
// against the engines the windows use.
#include "cli_fixture.h"
#include "platform/file_lock.h"
#include "platform/journal.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kalmira;
using namespace kalmira::test;
namespace fs = std::filesystem;

namespace {

TEST_F(Cli, HiddenByTheToolExtractedByTheEngine) {
    const auto secret = RandomBytes(7000, 3);
    put("Geheimnis.bin", secret);
    put("pw.txt", std::vector<std::uint8_t>{'S', 'e', 's', 'a', 'm', '\n'});
    struct Case {
        const char *cipher, *carrier;
        std::vector<std::uint8_t> bytes;
        const char *how;
    };
    const Case cases[] = {
        {"aes", "a.bmp", MakeBmp(200, 100), "--password-file pw.txt"},
        {"rc4", "r.wav", MakeWav(70000), ""},
        {"none", "n.bmp", MakeBmp(120, 160), ""},
    };
    for (const Case &c : cases) {
        const std::string carrier = put(c.carrier, c.bytes);
        const Result r = run(std::string("hide ") + c.carrier + " Geheimnis.bin --cipher " + c.cipher + " " + c.how,
                             *c.how ? "" : "KALMIRA_PASSWORD=Sesam");
        ASSERT_EQ(r.rc, 0) << r.err;
        auto after = ReadAll(carrier);
        EXPECT_TRUE(std::equal(after.begin(), after.begin() + 91, c.bytes.begin())) << c.cipher;
        std::string name;
        EXPECT_EQ(extractWithEngine(carrier, "Sesam", &name), secret) << c.cipher;
        EXPECT_EQ(name, "Geheimnis.bin");
    }

    // A KalmiraA message, read back by the message extraction of KalmiraA.
    put("Gruss.txt", std::vector<std::uint8_t>{'G', 'r', 0xC3, 0xBC, 0xC3, 0x9F, 'e', '!'});
    const std::string carrier = put("m.wav", MakeWav(30000));
    ASSERT_EQ(run("hide m.wav Gruss.txt --text", "KALMIRA_PASSWORD=Sesam").rc, 0);
    FakePasswords passwords;
    passwords.extract.push_back(Padded("Sesam"));
    FakeMessageExtractView view;
    extract::ExtractEngine engine;
    auto report = ExtractAsWindow(engine, view, passwords, carrier, 65535);
    EXPECT_EQ(report.outcome, extract::ExtractOutcome::Extracted);
    EXPECT_EQ(report.messageAnsi, "Gr\xFC\xDF"
                                  "e!");
    EXPECT_EQ(report.storedName, "Gruss.txt");
    // The tool gives it as UTF-8 unless the stored bytes are asked for.
    EXPECT_EQ(run("extract m.wav --text -o -", "KALMIRA_PASSWORD=Sesam").out, "Gr\xC3\xBC\xC3\x9F"
                                                                              "e!");
    ASSERT_EQ(run("extract m.wav --text --raw -o roh.txt", "KALMIRA_PASSWORD=Sesam").rc, 0);
    EXPECT_EQ(ReadAll(dir.file("roh.txt")), (std::vector<std::uint8_t>{'G', 'r', 0xFC, 0xDF, 'e', '!'}));
}

TEST_F(Cli, HiddenByTheEngineExtractedByTheTool) {
    const auto secret = RandomBytes(20000, 5);
    const std::string carrier = put("c.wav", MakeWav(200000));
    const auto data = Compressed(dir, secret);
    hideWithEngine(carrier, *payload::NameField("Bericht.pdf"), data, "Sesam");

    Result r = run("extract c.wav", "KALMIRA_PASSWORD=Sesam");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "Bericht.pdf\n");
    EXPECT_EQ(ReadAll(dir.file("Bericht.pdf")), secret);

    // Never over an existing file without --force, and the old file stays as it was.
    put("alt.pdf", {'a', 'l', 't'});
    r = run("extract c.wav -o alt.pdf", "KALMIRA_PASSWORD=Sesam");
    EXPECT_EQ(r.rc, 5);
    EXPECT_NE(r.err.find("existiert bereits"), std::string::npos);
    EXPECT_EQ(ReadAll(dir.file("alt.pdf")), (std::vector<std::uint8_t>{'a', 'l', 't'}));
    ASSERT_EQ(run("extract c.wav -o alt.pdf --force", "KALMIRA_PASSWORD=Sesam").rc, 0);
    EXPECT_EQ(ReadAll(dir.file("alt.pdf")), secret);

    // Into a folder, under the stored name.
    fs::create_directory(dir.file("sub"));
    ASSERT_EQ(run("extract c.wav -o sub", "KALMIRA_PASSWORD=Sesam").rc, 0);
    EXPECT_EQ(ReadAll(dir.file("sub/Bericht.pdf")), secret);

    // A stored name is only ever a name: no way out of the chosen folder.
    hideWithEngine(carrier, *payload::NameField("../../x.txt"), data, "Sesam");
    fs::create_directory(dir.file("tief"));
    ASSERT_EQ(run("extract c.wav -o tief", "KALMIRA_PASSWORD=Sesam").rc, 0);
    EXPECT_EQ(ReadAll(dir.file("tief/x.txt")), secret);
}

TEST_F(Cli, EveryExitCode) {
    put("s.bin", RandomBytes(3000, 1));
    put("c.bmp", MakeBmp(150, 100));
    put("pw.txt", {'S', 'e', 's', 'a', 'm'});

    // 1: usage and password problems.
    EXPECT_EQ(run("").rc, 1);
    EXPECT_EQ(run("verstecken c.bmp s.bin").rc, 1);
    EXPECT_EQ(run("hide c.bmp s.bin --cipher des").rc, 1);
    EXPECT_EQ(run("hide c.bmp s.bin").rc, 1); // no password source, no terminal
    EXPECT_EQ(run("hide c.bmp s.bin", "KALMIRA_PASSWORD=12345678901234567").rc, 1);
    EXPECT_EQ(ReadAll(dir.file("c.bmp")), MakeBmp(150, 100));

    // 2: nothing hidden.
    Result r = run("extract c.bmp");
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("enthält keine versteckte Datei!"), std::string::npos);

    // 3: wrong password after one try; nothing written.
    ASSERT_EQ(run("hide c.bmp s.bin --password-file pw.txt").rc, 0);
    r = run("extract c.bmp -o x.bin", "KALMIRA_PASSWORD=sesam");
    EXPECT_EQ(r.rc, 3);
    EXPECT_NE(r.err.find("Falsches Passwort!"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("x.bin")));
    EXPECT_EQ(run("extract c.bmp -o x.bin --password-file pw.txt").rc, 0);
    EXPECT_EQ(ReadAll(dir.file("x.bin")), RandomBytes(3000, 1));

    // 4: too small, not a carrier, a header the payload would overwrite.
    put("klein.bmp", MakeBmp(20, 20));
    r = run("hide klein.bmp s.bin --cipher none");
    EXPECT_EQ(r.rc, 4);
    EXPECT_NE(r.err.find("ist zu klein"), std::string::npos);
    EXPECT_EQ(ReadAll(dir.file("klein.bmp")), MakeBmp(20, 20));
    put("text.bmp", std::vector<std::uint8_t>(40000, 'x'));
    EXPECT_EQ(run("hide text.bmp s.bin --cipher none").rc, 4);
    put("c.png", MakeBmp(150, 100));
    EXPECT_EQ(run("extract c.png").rc, 4);

    // 5: missing files.
    EXPECT_EQ(run("extract fehlt.bmp").rc, 5);
    EXPECT_EQ(run("hide c.bmp fehlt.bin --cipher none").rc, 5);

    // 6: a length field beyond the carrier, and data that do not decompress,
    // reported under the destination's name.
    const auto good = ReadAll(dir.file("c.bmp"));
    PatchHeader(dir.file("c.bmp"), 20, "9999999");
    EXPECT_EQ(run("info c.bmp").rc, 6);
    auto broken = good;
    for (std::size_t i = payload::kDataOffset + 800; i < payload::kDataOffset + 1600; ++i) broken[i] ^= 1;
    WriteAll(dir.file("c.bmp"), broken);
    r = run("extract c.bmp -o d.bin --password-file pw.txt");
    EXPECT_EQ(r.rc, 6) << r.err;
    EXPECT_NE(r.err.find("\"d.bin\" wurde nicht geschrieben"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.file("d.bin")));
    for (const auto &e : fs::directory_iterator(dir.path()))
        EXPECT_NE(e.path().extension(), ".tmp") << "a partial output was left";
}

// The capacity is the largest incompressible file that goes in: that size
// fits, one byte more does not, in a single-block and a multi-block carrier.
TEST_F(Cli, CapacityIsExact) {
    struct Case {
        const char *name;
        std::vector<std::uint8_t> bytes;
        const char *cipher;
    };
    const Case cases[] = {
        {"c.bmp", MakeBmp(120, 90), "none"}, // about 4,000 bytes
        {"c.wav", MakeWav(320000), "aes"},   // about 40,000 bytes, three blocks
    };
    for (const Case &c : cases) {
        put(c.name, c.bytes);
        Result r = run(std::string("capacity ") + c.name + " --cipher " + c.cipher);
        ASSERT_EQ(r.rc, 0) << r.err;
        const long n = std::stol(r.out);
        put("over.bin", RandomBytes(static_cast<std::size_t>(n + 1), 11));
        EXPECT_EQ(run(std::string("hide ") + c.name + " over.bin --cipher " + c.cipher, "KALMIRA_PASSWORD=pw").rc, 4)
            << n;
        EXPECT_EQ(ReadAll(dir.file(c.name)), c.bytes);
        put("fits.bin", RandomBytes(static_cast<std::size_t>(n), 12));
        EXPECT_EQ(run(std::string("hide ") + c.name + " fits.bin --cipher " + c.cipher, "KALMIRA_PASSWORD=pw").rc, 0)
            << n;
        EXPECT_EQ(extractWithEngine(dir.file(c.name), "pw"), RandomBytes(static_cast<std::size_t>(n), 12));
    }
}

TEST_F(Cli, InfoWipeConvertAndVersion) {
    put("c.bmp", MakeBmp(150, 100));
    Result r = run("info c.bmp");
    EXPECT_EQ(r.rc, 0);
    // A carrier that could hold the stealth format is never called empty.
    EXPECT_NE(r.out.find("Versteckte Daten: keine im klassischen Format"), std::string::npos);
    EXPECT_NE(r.out.find("Tarnformat: ohne Passwort nicht feststellbar"), std::string::npos);
    put("s.txt", {'h', 'i'});
    ASSERT_EQ(run("hide c.bmp s.txt --cipher rc4 --backup", "KALMIRA_PASSWORD=pw").rc, 0);
    EXPECT_EQ(ReadAll(dir.file("c-Kopie.bmp")), MakeBmp(150, 100));
    r = run("info c.bmp");
    EXPECT_NE(r.out.find("Verfahren: RC4-256"), std::string::npos);
    EXPECT_NE(r.out.find("Gespeicherter Name: s.txt"), std::string::npos);

    ASSERT_EQ(run("wipe s.txt --intensiv").rc, 0);
    EXPECT_FALSE(fs::exists(dir.file("s.txt")));

    put("bild.bmp", MakeBmp(101, 80));
    ASSERT_EQ(run("convert bild.bmp -o neu.bmp").rc, 0);
    EXPECT_EQ(ReadAll(dir.file("neu.bmp")).size(), 54u + 100 * 3 * 79);
    EXPECT_EQ(run("convert bild.bmp -o neu.bmp --no-optimise").rc, 5);
    // Reduced by 2 (51 x 40), then pad-free; a .png target is an 8-bit RGB PNG.
    ASSERT_EQ(run("convert bild.bmp -o klein.bmp --verkleinern 2").rc, 0);
    EXPECT_EQ(ReadAll(dir.file("klein.bmp")).size(), 54u + 52 * 3 * 41);
    Result png = run("convert bild.bmp -o traeger.png");
    ASSERT_EQ(png.rc, 0) << png.err;
    EXPECT_NE(png.out.find("PNG-Datei (8 Bit RGB)"), std::string::npos);
    EXPECT_EQ(ReadAll(dir.file("traeger.png"))[25], 2); // colour type RGB
    for (const char *bad : {"1", "x", "-3", ""})
        EXPECT_EQ(run(std::string("convert bild.bmp -o y.bmp --verkleinern ") + bad).rc, 1) << bad;
    put("kaputt.jpg", {'n', 'o'});
    EXPECT_EQ(run("convert kaputt.jpg -o x.bmp").rc, 4);
    EXPECT_FALSE(fs::exists(dir.file("x.bmp")));
    EXPECT_EQ(run("--version").out.rfind("kalmira ", 0), 0u);
}

TEST_F(Cli, StandardOutputAndANameThatCannotBeStored) {
    const auto secret = RandomBytes(5000, 6);
    put("s.bin", secret);
    put("c.bmp", MakeBmp(150, 100));
    ASSERT_EQ(run("hide c.bmp s.bin --cipher none").rc, 0);
    Result r = run("extract c.bmp -o -");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, std::string(secret.begin(), secret.end()));
    EXPECT_FALSE(fs::exists(dir.file("-")));

    // A long name without a dot cannot be stored: 4, as the help says.
    put("abcdefghijklmnopqrstuvwxyz0", {'x'});
    EXPECT_EQ(run("hide c.bmp abcdefghijklmnopqrstuvwxyz0 --cipher none").rc, 4);
}

TEST_F(Cli, BadInputsAreRefusedAndNothingIsWritten) {
    const auto secret = RandomBytes(2000, 8);
    const std::string carrier = put("c.bmp", MakeBmp(150, 100));
    const std::string field = ".ba\x1b[2J\x9Dsh"; // ESC, and a byte that becomes the C1 control U+009D
    hideWithEngine(carrier, field + std::string(25 - field.size(), ' '), Compressed(io, secret), "");

    // Stored names never reach the terminal raw, nor make a dot-file.
    Result r = run("info c.bmp");
    EXPECT_NE(r.out.find("Gespeicherter Name: .ba\\x1B[2J\\x9Dsh"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    r = run("extract c.bmp");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "ba_[2J_sh\n"); // no control character reaches a file name
    EXPECT_EQ(ReadAll(dir.file("ba_[2J_sh")), secret);
    r = run("extract c.bmp --text"); // its refusal names the stored name
    EXPECT_NE(r.err.find("ba_[2J_sh"), std::string::npos) << r.err;

    // Pipes and devices are neither carriers nor destinations, --force or not.
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe.bmp").c_str(), 0600), 0);
    r = run("extract c.bmp -o pipe --force");
    EXPECT_EQ(r.rc, 5);
    EXPECT_NE(r.err.find("keine gewöhnliche Datei"), std::string::npos) << r.err;
    EXPECT_EQ(run("extract c.bmp -o /dev/null --force").rc, 5);
    EXPECT_TRUE(fs::is_fifo(dir.file("pipe")));
    for (const char *command : {"info pipe.bmp", "extract pipe.bmp", "hide pipe.bmp c.bmp"}) {
        r = run(command);
        EXPECT_EQ(r.rc, 5) << command;
        EXPECT_NE(r.err.find("\"pipe.bmp\" ist keine gewöhnliche Datei"), std::string::npos) << r.err;
    }

    // A planted link under the backup's name is never followed.
    const auto before = ReadAll(carrier);
    fs::create_symlink(io.file("ziel"), dir.file("c-Kopie.bmp"));
    put("s.txt", {'h', 'i'});
    r = run("hide c.bmp s.txt --cipher none --backup");
    EXPECT_EQ(r.rc, 5);
    EXPECT_NE(r.err.find("Verknüpfung"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(io.file("ziel")));
    EXPECT_EQ(ReadAll(carrier), before);
}

TEST_F(Cli, LockedCarrierStopsWithExitFiveAndAnInterruptedHideIsUndone) {
    const std::string carrier = put("c.bmp", MakeBmp(150, 100));
    put("s.txt", {'h', 'i'});
    const auto before = ReadAll(carrier);
    {
        platform::FileLock lock; // a hide in this process: the tool is the other one
        ASSERT_EQ(lock.acquire(carrier, platform::FileLock::Kind::Exclusive), platform::FileLock::Result::Locked);
        const Result r = run("info c.bmp");
        EXPECT_EQ(r.rc, 5);
        EXPECT_NE(r.err.find("von einem anderen Kalmira-Vorgang benutzt"), std::string::npos) << r.err;
        lock.acquire(carrier, platform::FileLock::Kind::Shared); // a reader lets readers in
        EXPECT_EQ(run("info c.bmp").rc, 0);
        EXPECT_EQ(run("hide c.bmp s.txt --cipher none").rc, 5);
        EXPECT_EQ(ReadAll(carrier), before);
    }

    // A writer that died after changing the carrier: the next run rolls back, once.
    const pid_t child = ::fork();
    if (child == 0) {
        platform::CarrierJournal journal(carrier);
        const auto flip = [](std::int64_t, const std::uint8_t *o, std::uint8_t *out, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i) out[i] = o[i] ^ 1;
        };
        if (journal.begin({{91, 2000, flip}}) != platform::JournalError::None) ::_exit(1);
        auto bytes = ReadAll(carrier);
        for (int i = 91; i < 2091; ++i) bytes[i] ^= 1;
        WriteAll(carrier, bytes);
        ::_exit(0); // no destructor runs: the journal stays
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_NE(ReadAll(carrier), before);
    Result r = run("info c.bmp");
    EXPECT_EQ(r.rc, 0);
    EXPECT_NE(r.err.find("Ein unterbrochener Schreibvorgang in der Containerdatei \"c.bmp\" wurde rückgängig gemacht."),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadAll(carrier), before);
    EXPECT_EQ(run("info c.bmp").err, "");
}

TEST_F(Cli, KilledHideProcessLeavesOldOrNew) {
    const auto oldSecret = RandomBytes(1000, 1), newSecret = RandomBytes(400000, 2);
    put("neu.bin", newSecret);
    const std::string carrier = put("c.wav", MakeWav(4000000));
    put("alt.bin", oldSecret);
    ASSERT_EQ(run("hide c.wav alt.bin --cipher none").rc, 0);
    const auto oldCarrier = ReadAll(carrier);
    int olds = 0, news = 0;
    // Every 4 ms up to 120 ms, then on until a run got through (a slow machine).
    for (int delayMs = 0; delayMs < 120 || (news == 0 && delayMs < 10000); delayMs += delayMs < 120 ? 4 : 100) {
        WriteAll(carrier, oldCarrier);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
            ::execl(KALMIRA_CLI, "kalmira", "hide", "c.wav", "neu.bin", "--cipher", "none", "--backup", nullptr);
            ::_exit(127);
        }
        ::usleep(static_cast<useconds_t>(delayMs * 1000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const Result r = run("extract c.wav -o out --force");
        ASSERT_EQ(r.rc, 0) << delayMs << " ms: " << r.err;
        const auto out = ReadAll(dir.file("out"));
        ASSERT_TRUE(out == oldSecret || out == newSecret) << delayMs << " ms";
        (out == oldSecret ? olds : news)++;
        if (fs::exists(dir.file("c-Kopie.wav"))) {
            ASSERT_EQ(ReadAll(dir.file("c-Kopie.wav")), oldCarrier); // never a part copy
        }
        fs::remove(dir.file("c-Kopie.wav"));
    }
    EXPECT_GT(olds, 0);
    EXPECT_GT(news, 0);
}

TEST_F(Cli, PasswordFilesInWindows1252OrUtf8WithMark) {
    const auto secret = RandomBytes(3000, 4);
    put("s.bin", secret);
    put("c.bmp", MakeBmp(150, 100));
    put("ansi.txt", {'M', 0xFC, 'l', 'l', 'e', 'r', 0x80, '\r', '\n'});
    put("bom.txt", {0xEF, 0xBB, 0xBF, 'M', 0xC3, 0xBC, 'l', 'l', 'e', 'r', 0xE2, 0x82, 0xAC});
    ASSERT_EQ(run("hide c.bmp s.bin --password-file ansi.txt").rc, 0);
    Result r = run("extract c.bmp -o out --password-file bom.txt");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(ReadAll(dir.file("out")), secret);
    put("omega.txt", {'a', 0xCE, 0xA9});
    r = run("extract c.bmp -o out2 --password-file omega.txt");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("\"\xCE\xA9\" (U+03A9)"), std::string::npos) << r.err;
}

// What cannot fit is refused early and in little memory (the 1 GB figure is
// in the benchmark).
TEST_F(Cli, RefusalsOfHugeInputsAreBounded) {
    put("c.wav", MakeWav(30000));
    put("gross.bin", RandomBytes(24 << 20, 9));
    ASSERT_EQ(::truncate(put("riesig.txt", {}).c_str(), off_t{5} << 30), 0);
#ifndef __SANITIZE_ADDRESS__        // the sanitizer's shadow memory needs terabytes of address space
    limits = "ulimit -v 196608 &&"; // the tool's libraries take about 100 MB of address space
#endif
    // Compression stops once the output passes what the carrier takes; a file
    // beyond even deflate's best ratio (5 GB of zeros) is refused unread.
    for (const char *file : {"gross.bin", "riesig.txt"}) {
        Result r = run(std::string("hide c.wav ") + file + " --cipher none");
        EXPECT_EQ(r.rc, 4) << r.err;
        EXPECT_NE(r.err.find("ist zu klein"), std::string::npos) << r.err;
    }
    const Result r = run("hide c.wav riesig.txt --text --cipher none");
    EXPECT_EQ(r.rc, 4) << r.err;
    EXPECT_NE(r.err.find("keine Textdatei von 1 bis 65535 Byte"), std::string::npos) << r.err;
}

} // namespace

// What killed runs left goes with the next run, a reading one too; a file-size
// limit is a write error with a message, not a silent death by SIGXFSZ.
TEST_F(Cli, LeftoversGoWithAnyRunAndAFileSizeLimitIsAWriteError) {
    const auto secret = RandomBytes(300000, 4);
    const std::string carrier = put("c.wav", MakeWav(3000000));
    hideWithEngine(carrier, "geheim.bin               ", Compressed(io, secret), "");
    put(".~Abgebroch1.part", RandomBytes(100, 1));
    WriteAll(tmp.file(".~Abgebroch2.part"), RandomBytes(100, 2));
    EXPECT_EQ(run("info c.wav").rc, 0); // the run's check finds the temporary folder empty
    EXPECT_FALSE(fs::exists(dir.file(".~Abgebroch1.part")));

    limits = "ulimit -f 100 &&"; // 100 KiB
    const Result r = run("extract c.wav -o aus.bin");
    EXPECT_EQ(r.rc, 5) << r.err;
    EXPECT_NE(r.err.find("konnte nicht geschrieben werden"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.file("aus.bin")));
    for (const auto &e : fs::directory_iterator(dir.path()))
        EXPECT_NE(e.path().filename().string().rfind(".~", 0), 0u) << e.path();
}
