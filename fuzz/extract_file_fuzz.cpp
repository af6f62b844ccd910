// KalmiraB's extract run on a carrier file written from the fuzz input:
// header parsing, password check, block-wise reading, decryption,
// decompression and the replacement of the destination.
#include "fuzz_common.h"

#include "carriers.h"
#include "run_fakes.h"

#include <cstdlib>

using namespace kalmira;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::Scratch scratch;
    const std::vector<std::uint8_t> carrier = fuzz::CarrierFromInput(data, size);
    const std::string carrierPath = scratch.file("carrier.bmp");
    fuzz::Write(carrierPath, carrier.data(), carrier.size());

    // The header fields on their own.
    if (size >= 1 + payload::kHeaderSize) {
        const auto h = payload::ParseHeader({reinterpret_cast<const char *>(data + 1), payload::kHeaderSize});
        (void)payload::StoredFileName(h);
        if (h.dataLength && (*h.dataLength < 1 || *h.dataLength > payload::kMaxDataLength)) std::abort();
    }

    test::FakeMessages messages;
    test::FakePasswords passwords;
    for (int i = 0; i < 3; ++i) passwords.extract.push_back(test::Padded("geheim"));
    test::FakeExtractView view;
    view.destination = scratch.file("extracted.out");
    extract::ExtractEngine engine;
    const extract::FileExtractResult report = ExtractAsWindow(engine, view, passwords, carrierPath);

    // Only a finished run may leave the destination; every refusal says why.
    const bool written = std::filesystem::exists(view.destination);
    if (written != (report.outcome == extract::ExtractOutcome::Extracted)) std::abort();
    if (report.outcome == extract::ExtractOutcome::Damaged && !extract::ExtractNotice(report)) std::abort();
    if (engine.running()) std::abort();
    scratch.clear();
    return 0;
}
