#include "carrier/bmp.h"

#include "carrier/riff.h"
#include "platform/binary_file.h"
#include "platform/byte_order.h"
#include "platform/platform.h"

#include <algorithm>

namespace kalmira::carrier {

using platform::Le16;
using platform::Le16u;
using platform::Le32;
using platform::Le32u;

bool ReadBmpHeader(const platform::BinaryFile &file, BmpHeader &b) {
    b = BmpHeader{};
    b.fileLength = file.size();
    if (b.fileLength < 0) return false;
    std::uint8_t h[BmpHeader::kBytes];
    if (!ReadZeroPadded(file, b.fileLength, 0, h, sizeof h)) return false;
    b.have = static_cast<std::size_t>(std::min<std::int64_t>(b.fileLength, BmpHeader::kBytes));
    b.signature = b.have >= 2 && h[0] == 'B' && h[1] == 'M';
    b.dataOffset = Le32u(h + 10);
    b.infoSize = Le32u(h + 14);
    const std::uint8_t *info = h + 14;
    b.width = Le32(info + 4);
    b.height = Le32(info + 8);
    b.planes = Le16(info + 12);
    b.bitsPerPixel = Le16(info + 14);
    b.compression = Le32(info + 16);
    b.colorsUsed = Le32(info + 32);
    b.colorsImportant = Le32(info + 36);
    for (int i = 0; i < 3; ++i) b.masks[i] = Le32u(h + 54 + 4 * i);
    b.coreWidth = Le16(info + 4);
    b.coreHeight = Le16(info + 6);
    b.coreBitsPerPixel = static_cast<std::uint16_t>(Le16u(info + 10));
    return true;
}

BmpRead ReadBmpHeader(const std::string &path, BmpHeader &out) {
    if (!platform::IsRegularFile(path)) return BmpRead::Missing;
    platform::BinaryFile file;
    if (!file.open(path, platform::BinaryFile::Mode::Read) || !ReadBmpHeader(file, out)) return BmpRead::CannotRead;
    return BmpRead::Ok;
}

} // namespace kalmira::carrier
