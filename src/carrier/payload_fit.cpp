#include "carrier/payload_fit.h"

#include "carrier/bmp.h"
#include "carrier/classify.h"
#include "carrier/riff.h"
#include "platform/binary_file.h"
#include "platform/platform.h"

#include <algorithm>

namespace kalmira::payload {

namespace {

// The samples must start in time and cover the payload span.
CarrierStructure CheckWav(const platform::BinaryFile &f, std::int64_t size, std::int64_t dataLength) {
    const std::int64_t spanEnd = CarrierBytesFor(dataLength); // one past the last
    CarrierStructure result = CarrierStructure::WavDataTooShort;
    const bool read = carrier::WalkChunks(f, size, [&](const carrier::Chunk &c) {
        if (c.cut) return false;
        if (c.is(carrier::kDataChunk)) {
            const std::int64_t end = std::min(c.body() + static_cast<std::int64_t>(c.size), size);
            if (c.body() <= kLeadOffset && end >= spanEnd) result = CarrierStructure::Ok;
            return false;
        }
        return c.body() <= kLeadOffset; // any data chunk now starts too late
    });
    return read ? result : CarrierStructure::Unreadable;
}

// Largest x in [lo, hi) with fits(x), given fits(lo) and fits is monotone.
template <class F>
std::int64_t Largest(std::int64_t lo, std::int64_t hi, F fits) {
    while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        (fits(mid) ? lo : hi) = mid;
    }
    return lo;
}

} // namespace

CarrierStructure CheckStructure(const std::string &path, std::int64_t dataLength) {
    platform::BinaryFile f;
    carrier::BmpHeader bmp;
    if (!f.open(path, platform::BinaryFile::Mode::Read) || !carrier::ReadBmpHeader(f, bmp) || bmp.fileLength < 2)
        return CarrierStructure::Unreadable;
    if (bmp.signature) {
        if (bmp.fileLength < 18) return CarrierStructure::BmpHeaderTooLong;
        return bmp.headersEnd() > kLeadOffset ? CarrierStructure::BmpHeaderTooLong : CarrierStructure::Ok;
    }
    std::uint8_t head[12];
    if (!carrier::ReadZeroPadded(f, bmp.fileLength, 0, head, sizeof head)) return CarrierStructure::Unreadable;
    if (carrier::ContentOf(head, bmp.have) == carrier::Content::Wav) return CheckWav(f, bmp.fileLength, dataLength);
    return CarrierStructure::Ok;
}

FitCheck CheckFit(const std::string &carrier, Mode mode, std::int64_t compressed) {
    FitCheck c;
    c.carrierSize = platform::FileSize(carrier);
    c.requiredSize = MinCarrierForRun(compressed);
    if (RoundedForDisplay(compressed) > kMaxDataLength - 1) {
        c.fit = Fit::TooLarge;
    } else if (c.carrierSize < c.requiredSize) {
        c.fit = Fit::TooSmall;
    } else {
        c.structure = CheckStructure(carrier, StoredDataLength(mode, compressed));
        if (c.structure != CarrierStructure::Ok) c.fit = Fit::Structure;
    }
    return c;
}

std::int64_t CompressedBound(std::int64_t n) {
    const std::int64_t blocks = n <= 0 ? 1 : (n + kSymbolsPerBlock - 1) / kSymbolsPerBlock;
    return n + 6 + 5 * blocks;
}

std::int64_t MaxCompressed(const std::string &carrier, Mode mode) {
    const std::int64_t length = platform::FileSize(carrier);
    auto fits = [&](std::int64_t c) { return CheckFit(carrier, mode, c).fit == Fit::Ok; };
    if (length < 0 || !fits(1)) return -1;
    return Largest(1, length + 1, fits);
}

std::int64_t Capacity(const std::string &carrier, Mode mode) {
    const std::int64_t length = platform::FileSize(carrier);
    auto fits = [&](std::int64_t n) { return CheckFit(carrier, mode, CompressedBound(n)).fit == Fit::Ok; };
    if (length < 0 || !fits(0)) return -1;
    return Largest(0, length + 1, fits);
}

} // namespace kalmira::payload
