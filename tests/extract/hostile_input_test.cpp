// Carriers and media that fail in ways a normal run never sees: empty files,
// carriers that cannot be read, a disk that fills up while decompressing.
// Each ends with a German message, writes nothing and leaves no temporary file.
#include "extract/extract_engine.h"

#include "carriers.h"
#include "hide/hide_engine.h"
#include "platform/platform.h"
#include "run_fakes.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

using namespace kalmira;
using namespace kalmira::test;
using extract::ExtractOutcome;

namespace {

struct Hostile : ::testing::Test {
    TempDir dir;
    TempDir tmp;
    void SetUp() override { ::setenv("TMPDIR", tmp.path().c_str(), 1); }
    void TearDown() override {
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()), {}), 0)
            << "temporary files were left";
        ::unsetenv("TMPDIR");
    }
    FakeMessages messages;
    FakePasswords passwords;
    FakeExtractView view;
    FakeMessageExtractView messageView;
    hide::HideEngine hider{KeepBackups(), passwords};
    extract::ExtractEngine extractor{passwords};

    std::string hidePlain(const std::vector<std::uint8_t> &plain, std::vector<std::uint8_t> carrier) {
        const std::string path = dir.file("c.bmp");
        WriteAll(path, carrier);
        auto data = Compressed(dir, plain);
        hide::FileHideInput in;
        in.carrierPath = path;
        in.sourcePath = dir.file("a.txt");
        in.nameField = *payload::NameField("a.txt");
        FakeRunView v;
        EXPECT_EQ(hider.hideFile(v, in, data).outcome, hide::HideOutcome::Written) << messages.last();
        return path;
    }
};

// Writes beyond `bytes` fail as on a full medium while `f` runs.
template <class F> void WithFileSizeLimit(rlim_t bytes, F f) {
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
    EXPECT_EQ(Told(messages, extractor.extractFile(view, dir.file("empty.bmp"))).outcome, ExtractOutcome::NoPayload);
    EXPECT_EQ(messages.last(), "Die ausgewählte Container-Datei enthält keine versteckte Datei!");
    EXPECT_EQ(Told(messages, extractor.extractMessage(messageView, dir.file("empty.bmp"), 65535)).outcome,
              ExtractOutcome::NoPayload);
    EXPECT_EQ(messages.last(), "Diese Datei enthält keine versteckte Botschaft!");
    EXPECT_FALSE(platform::FileExists(dir.file("out")));
}

TEST_F(Hostile, UnreadableCarrierIsReportedNotFinishedSilently) {
    // A folder under the carrier's name exists but cannot be read as a file
    // (permissions would not stop a test run as root).
    std::filesystem::create_directory(dir.file("folder.bmp"));
    view.destination = dir.file("out");
    auto report = Told(messages, extractor.extractFile(view, dir.file("folder.bmp")));
    EXPECT_EQ(report.outcome, ExtractOutcome::CarrierUnreadable);
    EXPECT_EQ(messages.shown.back().title, "Kalmira - Fehlernachricht");
    EXPECT_NE(messages.last().find("kann nicht gelesen werden"), std::string::npos);
    EXPECT_FALSE(platform::FileExists(dir.file("out")));

    messages.shown.clear();
    auto m = Told(messages, extractor.extractMessage(messageView, dir.file("folder.bmp"), 65535));
    EXPECT_EQ(m.outcome, ExtractOutcome::CarrierUnreadable);
    EXPECT_NE(messages.last().find("kann nicht gelesen werden"), std::string::npos);
}

TEST_F(Hostile, FullDiskWhileDecompressingKeepsTheDestination) {
    // 200 KB of text compress to a few hundred bytes; only the output overflows.
    const std::vector<std::uint8_t> plain(200000, 'a');
    const std::string carrier = hidePlain(plain, MakeBmp(100, 100));
    WriteAll(dir.file("keep.txt"), std::string("vorher"));
    view.destination = dir.file("keep.txt");
    extract::FileExtractResult report;
    WithFileSizeLimit(64 * 1024, [&] { report = Told(messages, extractor.extractFile(view, carrier)); });
    EXPECT_EQ(report.outcome, ExtractOutcome::WriteFailed);
    EXPECT_NE(messages.last().find("Ist der Datenträger voll?"), std::string::npos) << messages.last();
    EXPECT_EQ(ReadAll(dir.file("keep.txt")), std::vector<std::uint8_t>({'v', 'o', 'r', 'h', 'e', 'r'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), std::ptrdiff_t(4))
        << "a partial file was left beside the destination"; // plain.in/.z, c.bmp, keep.txt

    // KalmiraA unpacks into the temporary folder: the same answer there.
    messages.shown.clear();
    extract::MessageExtractResult m;
    WithFileSizeLimit(64 * 1024, [&] { m = Told(messages, extractor.extractMessage(messageView, carrier, 65535)); });
    EXPECT_EQ(m.outcome, ExtractOutcome::TempWriteFailed);
    EXPECT_NE(messages.last().find("Ist der Datenträger voll?"), std::string::npos) << messages.last();
    EXPECT_TRUE(messageView.shown.empty());
}
