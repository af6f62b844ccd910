// The fixture of the extract engine tests.
#pragma once

#include "carriers.h"
#include "hide/hide_engine.h"
#include "run_fakes.h"

#include <gtest/gtest.h>

namespace kalmira::test {

// Engine runs on carriers the hide engine made, in a folder of their own.
struct EngineTest : ::testing::Test {
    TempDir dir;
    TempDir tmp; // the runs' temporary folder; must be empty after every run
    void SetUp() override { ::setenv("TMPDIR", tmp.path().c_str(), 1); }
    void TearDown() override {
        EXPECT_EQ(FilesIn(tmp.path()), 0u) << "temporary files were left";
        ::unsetenv("TMPDIR");
    }
    FakeMessages messages;
    FakePasswords passwords;
    FakeExtractView view;
    FakeMessageExtractView messageView;
    hide::HideEngine hider{KeepBackups()};
    extract::ExtractEngine extractor;

    std::string hideFile(const std::vector<std::uint8_t> &plain, const std::string &name,
                         payload::Mode mode = payload::Mode::Plain,
                         const std::vector<std::uint8_t> &carrierBytes = MakeBmp(150, 150),
                         const std::string &carrierName = "c.bmp") {
        const std::string carrier = dir.file(carrierName);
        WriteAll(carrier, carrierBytes);
        EXPECT_EQ(HideFile(hider, passwords, dir, carrier, plain, name, mode), hide::HideOutcome::Written);
        return carrier;
    }

    // Extraction answers the password dialogs with `typed` (padded).
    extract::FileExtractResult extractTo(const std::string &carrier, const std::string &dest,
                                         std::deque<std::string> typed = {"Sesam"}) {
        view.destination = dest;
        passwords.extract.clear();
        for (const auto &p : typed) passwords.extract.push_back(p.empty() ? "" : Padded(p));
        return Told(messages, ExtractAsWindow(extractor, view, passwords, carrier));
    }
    extract::MessageExtractResult extractMessage(FakeMessageExtractView &v, const std::string &carrier) {
        passwords.extract = {Padded("Sesam")};
        return Told(messages, ExtractAsWindow(extractor, v, passwords, carrier, 65535));
    }
};

} // namespace kalmira::test
