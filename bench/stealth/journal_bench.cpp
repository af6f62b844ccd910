// What the journal of a guarded stealth hide costs: 100 bytes hidden in a
// 1 GB BMP, once unguarded (the engine alone) and once as the programs run
// it (lock, journal of the changed bytes, commit). Limits: the journal stays
// under 1 % of the carrier, and the guarded run adds under 3 s to the
// unguarded one. Best of three runs each; the key derivation is the format's.
//   journal_bench [FOLDER]   (FOLDER needs about 1 GB free; default: TMPDIR)
#include "bench_bmp.h"
#include "carrier/element_file.h"
#include "platform/platform.h"
#include "stealth/guarded.h"
#include "stealth/standard_costs.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

using namespace kalmira;

namespace {

constexpr int kSide = 18'260; // 18260 x 18260 x 3 bytes: 1.0003 GB of pixels

void WriteBmp(const std::string &path) {
    std::ofstream out(path, std::ios::binary);
    const std::uint32_t row = WriteBmpHeader(out, kSide, kSide);
    std::mt19937 gen(7);
    std::vector<char> r(row);
    for (int y = 0; y < kSide; ++y) {
        for (auto &c : r) c = static_cast<char>(gen());
        out.write(r.data(), row);
    }
}

template <class Fn>
double Best(Fn &&fn) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        fn();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

} // namespace

int main(int argc, char **argv) {
    const std::string folder = argc > 1 ? argv[1] : platform::TempFolder();
    const std::string carrier = folder + "/journal_bench_carrier.bmp";
    WriteBmp(carrier);
    platform::FlushPath(carrier);
    const double carrierBytes = static_cast<double>(platform::FileSize(carrier));
    std::vector<std::uint8_t> data(100);
    std::mt19937 gen(3);
    for (auto &b : data) b = static_cast<std::uint8_t>(gen());
    stealth::HideSource source;
    source.bytes = data;
    bool ok = true;
    const double plain = Best([&] {
        const carrier::ElementFile file = carrier::OpenElementFile(carrier, carrier::ElementAccess::Write);
        ok = ok && file.elements &&
             stealth::Hide2(*file.elements, *file.elements, "Korrekt-Pferd-7", stealth::Kind::File, "a.bin", source,
                            stealth::StandardCosts(file.elements->shape()))
                     .outcome == stealth::HideResult::Outcome::Written;
    });
    std::int64_t journal = 0;
    const double guarded = Best([&] {
        stealth::Safety safety;
        ok = ok &&
             stealth::GuardedHide(carrier, "Korrekt-Pferd-7", stealth::Kind::File, "a.bin", source, safety).outcome ==
                 stealth::HideResult::Outcome::Written;
        journal = safety.journalBytes;
    });
    std::filesystem::remove(carrier);
    if (!ok) {
        std::fprintf(stderr, "a hide failed\n");
        return 1;
    }
    std::printf("%-44s %14s %14s\n", "100 bytes into a 1 GB BMP", "measured", "limit");
    std::printf("%-44s %14.0f %14.0f\n", "journal (bytes)", double(journal), carrierBytes / 100);
    std::printf("%-44s %14.2f %14s\n", "unguarded hide (s)", plain, "");
    std::printf("%-44s %14.2f %14s\n", "guarded hide (s)", guarded, "");
    std::printf("%-44s %14.2f %14.2f\n", "added by lock, journal, commit (s)", guarded - plain, 3.0);
    const bool within = journal < carrierBytes / 100 && guarded - plain < 3.0;
    std::printf("%s\n", within ? "within both limits" : "LIMIT EXCEEDED");
    return within ? 0 : 2;
}
