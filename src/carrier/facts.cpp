#include "carrier/facts.h"

#include "carrier/payload_fit.h"
#include "platform/binary_file.h"
#include "platform/file_lock.h"

namespace kalmira::carrier {

CarrierFacts ReadFacts(const std::string &path) {
    CarrierFacts f;
    f.kind = Classify(path);
    if (!Usable(f.kind)) return f;
    platform::FileLock lock; // shared, for every read below
    f.opening = OpenCarrier(path, false, lock);
    if (f.opening.access != CarrierAccess::Ready) return f;
    platform::BinaryFile file;
    if (!file.open(path, platform::BinaryFile::Mode::Read)) return f;
    f.length = file.size();
    const std::optional<payload::ParsedHeader> header = payload::ReadHeader(file, f.length);
    if (!header) return f;
    f.read = true;
    f.header = *header;
    f.dataWithin = header->dataLength && payload::DataWithin(*header->dataLength, f.length);
    f.capacity = payload::Capacity(path, payload::Mode::Aes);
    f.room = payload::MaxCompressed(path, payload::Mode::Aes);
    if (f.kind == CarrierKind::Bmp)
        f.bmpRead = ReadBmpHeader(path, f.bmp);
    else
        f.wavRead = ReadWavChunks(path, f.wav);
    f.stealth = ReadLayout(file);
    return f;
}

} // namespace kalmira::carrier
