#include "hide/carrier_check.h"

#include "hide/payload.h"
#include "platform/binary_file.h"
#include "platform/byte_order.h"
#include "platform/platform.h"

#include <cstring>

namespace kalmira::hide {

using platform::Le32u;

namespace {

std::string LowerExtension(const std::string &path) {
    const auto dot = path.rfind('.');
    const auto sep = path.find_last_of("\\/");
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return "";
    std::string ext = path.substr(dot);
    for (char &c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

bool IsRiffWave(const unsigned char *head12) {
    return std::memcmp(head12, "RIFF", 4) == 0 && std::memcmp(head12 + 8, "WAVE", 4) == 0;
}

// Walks the chunks (RIFF pads odd sizes) to "data" and checks that the
// samples start in time and cover the payload span.
CarrierStructure CheckWav(const platform::BinaryFile &f, std::int64_t size, std::int64_t dataLength) {
    const std::int64_t spanEnd = payload::CarrierBytesFor(dataLength); // one past the last
    std::int64_t pos = 12;
    while (pos + 8 <= size) {
        unsigned char chunk[8];
        if (!f.readAt(pos, chunk, 8)) return CarrierStructure::Unreadable;
        const std::int64_t body = pos + 8;
        const std::int64_t len = Le32u(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            const std::int64_t end = std::min(body + len, size);
            return body <= payload::kLeadOffset && end >= spanEnd ? CarrierStructure::Ok
                                                                  : CarrierStructure::WavDataTooShort;
        }
        pos = body + len + (len & 1);
        if (body > payload::kLeadOffset) break; // any data chunk now starts too late
    }
    return CarrierStructure::WavDataTooShort;
}

// Largest x in [lo, hi) with fits(x), given fits(lo) and fits is monotone.
template <class F> std::int64_t Largest(std::int64_t lo, std::int64_t hi, F fits) {
    while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        (fits(mid) ? lo : hi) = mid;
    }
    return lo;
}

} // namespace

CarrierKind ClassifyCarrier(const std::string &path) {
    if (!platform::IsRegularFile(path))
        return platform::FileExists(path) ? CarrierKind::NotRegular : CarrierKind::Missing;
    platform::BinaryFile f;
    if (!f.open(path, platform::BinaryFile::Mode::Read)) return CarrierKind::Unreadable;
    unsigned char head[12] = {};
    const std::int64_t size = f.size();
    const bool read = size >= 12 ? f.readAt(0, head, 12) : size >= 2 && f.readAt(0, head, 2);
    const std::string ext = LowerExtension(path);
    if (ext == ".bmp") return read && head[0] == 'B' && head[1] == 'M' ? CarrierKind::Bmp : CarrierKind::NotBmp;
    if (ext == ".wav") return read && size >= 12 && IsRiffWave(head) ? CarrierKind::Wav : CarrierKind::NotWav;
    return CarrierKind::OtherName;
}

CarrierStructure CheckCarrierStructure(const std::string &path, std::int64_t dataLength) {
    platform::BinaryFile f;
    if (!f.open(path, platform::BinaryFile::Mode::Read)) return CarrierStructure::Unreadable;
    const std::int64_t size = f.size();
    unsigned char head[18] = {};
    if (size < 2 || !f.readAt(0, head, size < 18 ? 2 : 18)) return CarrierStructure::Unreadable;

    if (head[0] == 'B' && head[1] == 'M') {
        if (size < 18) return CarrierStructure::BmpHeaderTooLong;
        const std::int64_t headers = 14 + static_cast<std::int64_t>(Le32u(head + 14));
        return headers > payload::kLeadOffset ? CarrierStructure::BmpHeaderTooLong : CarrierStructure::Ok;
    }
    if (size >= 12 && IsRiffWave(head)) return CheckWav(f, size, dataLength);
    return CarrierStructure::Ok;
}

FitCheck CheckFit(const std::string &carrier, payload::Mode mode, std::int64_t compressed) {
    FitCheck c;
    c.carrierSize = platform::FileSize(carrier);
    c.requiredSize = payload::MinCarrierForRun(compressed);
    if (payload::RoundedForDisplay(compressed) > payload::kMaxDataLength - 1) {
        c.fit = Fit::TooLarge;
    } else if (c.carrierSize < c.requiredSize) {
        c.fit = Fit::TooSmall;
    } else {
        c.structure = CheckCarrierStructure(carrier, payload::StoredDataLength(mode, compressed));
        if (c.structure != CarrierStructure::Ok) c.fit = Fit::Structure;
    }
    return c;
}

std::int64_t CompressedBound(std::int64_t n) {
    const std::int64_t blocks = n <= 0 ? 1 : (n + kSymbolsPerBlock - 1) / kSymbolsPerBlock;
    return n + 6 + 5 * blocks;
}

std::int64_t MaxCompressed(const std::string &carrier, payload::Mode mode) {
    const std::int64_t length = platform::FileSize(carrier);
    auto fits = [&](std::int64_t c) { return CheckFit(carrier, mode, c).fit == Fit::Ok; };
    if (length < 0 || !fits(1)) return -1;
    return Largest(1, length + 1, fits);
}

std::int64_t Capacity(const std::string &carrier, payload::Mode mode) {
    const std::int64_t length = platform::FileSize(carrier);
    auto fits = [&](std::int64_t n) { return CheckFit(carrier, mode, CompressedBound(n)).fit == Fit::Ok; };
    if (length < 0 || !fits(0)) return -1;
    return Largest(0, length + 1, fits);
}

} // namespace kalmira::hide
