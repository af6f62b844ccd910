// Carriers and media that fail in ways a normal run never sees: empty files,
// carriers that cannot be read, a disk that fills up while decompressing.
// Each ends with a German message, writes nothing and leaves no temporary file.
#include "extract/extract_engine.h"

#include "engine_fixture.h"
#include "platform/platform.h"

#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

using namespace kalmira;
using namespace kalmira::test;
using extract::ExtractOutcome;

namespace {

struct Hostile : EngineTest {};

// Writes beyond `bytes` fail as on a full medium while `f` runs.
template <class F>
void WithFileSizeLimit(rlim_t bytes, F f) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit low = old;
    low.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &low);
    f();
    setrlimit(RLIMIT_FSIZE, &old);
}

} // namespace

TEST_F(Hostile, ZeroByteCarrierHoldsNoPayload) {
    WriteAll(dir.file("empty.bmp"), std::string());
    view.destination = dir.file("out");
    EXPECT_EQ(Told(messages, ExtractAsWindow(extractor, view, passwords, dir.file("empty.bmp"))).outcome,
              ExtractOutcome::NoPayload);
    EXPECT_EQ(messages.last(), "Die ausgewählte Container-Datei enthält keine versteckte Datei!");
    EXPECT_EQ(Told(messages, ExtractAsWindow(extractor, messageView, passwords, dir.file("empty.bmp"), 65535)).outcome,
              ExtractOutcome::NoPayload);
    EXPECT_EQ(messages.last(), "Diese Datei enthält keine versteckte Botschaft!");
    EXPECT_FALSE(platform::FileExists(dir.file("out")));
}

TEST_F(Hostile, CarrierThatIsNoRegularFileIsRefused) {
    std::filesystem::create_directory(dir.file("folder.bmp"));
    ASSERT_EQ(::mkfifo(dir.file("pipe.bmp").c_str(), 0600), 0);
    view.destination = dir.file("out");
    for (const char *name : {"folder.bmp", "pipe.bmp"}) {
        auto report = Told(messages, ExtractAsWindow(extractor, view, passwords, dir.file(name)));
        EXPECT_EQ(report.outcome, ExtractOutcome::NoAccess);
        EXPECT_EQ(messages.shown.back().title, "Kalmira - Fehlernachricht");
        EXPECT_NE(messages.last().find("ist keine gewöhnliche Datei"), std::string::npos);
        auto m = Told(messages, ExtractAsWindow(extractor, messageView, passwords, dir.file(name), 65535));
        EXPECT_EQ(m.outcome, ExtractOutcome::NoAccess);
    }
    EXPECT_FALSE(platform::FileExists(dir.file("out")));
}

TEST_F(Hostile, FullDiskWhileDecompressingKeepsTheDestination) {
    // 200 KB of text compress to a few hundred bytes; only the output overflows.
    const std::vector<std::uint8_t> plain(200000, 'a');
    const std::string carrier = hideFile(plain, "a.txt");
    WriteAll(dir.file("keep.txt"), std::string("vorher"));
    view.destination = dir.file("keep.txt");
    extract::FileExtractResult report;
    WithFileSizeLimit(64 * 1024,
                      [&] { report = Told(messages, ExtractAsWindow(extractor, view, passwords, carrier)); });
    EXPECT_EQ(report.outcome, ExtractOutcome::WriteFailed);
    EXPECT_NE(messages.last().find("Ist der Datenträger voll?"), std::string::npos) << messages.last();
    EXPECT_EQ(ReadAll(dir.file("keep.txt")), std::vector<std::uint8_t>({'v', 'o', 'r', 'h', 'e', 'r'}));
    EXPECT_EQ(FilesIn(dir.path()), 2u) << "a partial file was left beside the destination"; // c.bmp, keep.txt

    // KalmiraA unpacks in memory and stops at what its box holds.
    extract::MessageExtractResult m;
    WithFileSizeLimit(4096, [&] { m = ExtractAsWindow(extractor, messageView, passwords, carrier, 65535); });
    EXPECT_EQ(m.outcome, ExtractOutcome::TooLarge);
}

TEST_F(Hostile, DestinationThatIsNoRegularFileIsNeverReplaced) {
    const std::string carrier = hideFile({'g', 'e', 'h', 'e', 'i', 'm'}, "a.txt");
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("folder"));
    for (const char *name : {"pipe", "folder"}) {
        view.destination = dir.file(name); // the view allows replacing, as --force does
        const auto r = Told(messages, ExtractAsWindow(extractor, view, passwords, carrier));
        EXPECT_EQ(r.outcome, ExtractOutcome::DestinationNotRegular) << name;
        EXPECT_NE(messages.last().find("keine gewöhnliche Datei"), std::string::npos);
    }
    EXPECT_TRUE(std::filesystem::is_fifo(dir.file("pipe")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("folder")));
}
