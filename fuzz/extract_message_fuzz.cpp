// KalmiraA's message extraction on a carrier file written from the fuzz input.
#include "fuzz_common.h"

#include "carriers.h"
#include "run_fakes.h"

#include <cstdlib>

using namespace kalmira;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::Scratch scratch;
    const std::vector<std::uint8_t> carrier = fuzz::CarrierFromInput(data, size);
    const std::string carrierPath = scratch.file("carrier.wav");
    fuzz::Write(carrierPath, carrier.data(), carrier.size());

    test::FakeMessages messages;
    test::FakePasswords passwords;
    for (int i = 0; i < 3; ++i) passwords.extract.push_back(test::Padded("geheim"));
    test::FakeMessageExtractView view;
    extract::ExtractEngine engine;
    const int limit = 65535;
    const extract::MessageExtractResult report = ExtractAsWindow(engine, view, passwords, carrierPath, limit);

    // What the message box shows is a text without NUL, within the limit.
    if (report.messageAnsi.size() > static_cast<std::size_t>(limit)) std::abort();
    if (report.messageAnsi.find('\0') != std::string::npos) std::abort();
    if (view.shown != report.messageAnsi) std::abort();
    if (report.outcome == extract::ExtractOutcome::Damaged && !extract::ExtractNotice(report)) std::abort();
    scratch.clear();
    return 0;
}
