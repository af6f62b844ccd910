// Carriers made once by the hide engine and checked in. Later versions must
// still read them: they pin the key suffix, the password padding, the header
// layout and the compressed format.
#include "extract/extract_engine.h"
#include "run_fakes.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace kalmira;
using namespace kalmira::test;

namespace {

const std::string kGoldenDir = std::string(KALMIRA_TEST_DATA) + "/golden/";
const char *kPassword = "Golden1";

std::vector<std::uint8_t> GoldenPlain() {
    std::string text;
    for (int i = 0; i < 40; ++i) text += "Zeile " + std::to_string(i) + ": Kalmira Golden-Träger\r\n";
    std::vector<std::uint8_t> v(text.begin(), text.end());
    auto noise = RandomBytes(300, 2024); // an incompressible tail
    v.insert(v.end(), noise.begin(), noise.end());
    return v;
}

struct Case {
    payload::Mode mode;
    const char *file;
};
const Case kCases[] = {{payload::Mode::Plain, "golden-yesn.bmp"},
                       {payload::Mode::Rc4, "golden-yesp.bmp"},
                       {payload::Mode::Aes, "golden-yesa.bmp"}};

} // namespace

// KALMIRA_WRITE_GOLDEN=1 writes the carriers anew (only on purpose: a format change).
TEST(Golden, CarriersStillExtract) {
    FakePasswords passwords;
    if (std::getenv("KALMIRA_WRITE_GOLDEN")) {
        TempDir dir;
        hide::HideEngine hider(KeepBackups());
        hider.setLeadByteForTesting(0x79);
        for (const Case &c : kCases) {
            WriteAll(kGoldenDir + c.file, MakeBmp(64, 64, 11));
            ASSERT_EQ(
                HideFile(hider, passwords, dir, kGoldenDir + c.file, GoldenPlain(), "Golden.txt", c.mode, kPassword),
                hide::HideOutcome::Written);
        }
    }
    for (const Case &c : kCases) {
        TempDir dir;
        extract::ExtractEngine extractor;
        FakeExtractView view;
        view.destination = dir.file("out.txt");
        passwords.extract = {Padded(kPassword)};
        auto report = ExtractAsWindow(extractor, view, passwords, kGoldenDir + c.file);
        ASSERT_EQ(report.outcome, extract::ExtractOutcome::Extracted) << c.file;
        EXPECT_EQ(view.offeredName, "Golden.txt");
        EXPECT_EQ(ReadAll(view.destination), GoldenPlain()) << c.file;
    }
}
