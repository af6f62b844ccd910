#include "hide/carrier_check.h"

#include "hide/payload.h"
#include "platform/binary_file.h"

#include <cstring>

namespace kalmira::hide {

namespace {
std::uint32_t le32(const unsigned char *p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
} // namespace

CarrierStructure CheckCarrierStructure(const std::string &path, std::int64_t dataLength) {
    platform::BinaryFile f;
    if (!f.open(path, platform::BinaryFile::Mode::Read)) return CarrierStructure::Unreadable;
    const std::int64_t size = f.size();
    unsigned char head[18] = {};
    if (size < 2 || !f.readAt(0, head, size < 18 ? 2 : 18)) return CarrierStructure::Unreadable;

    if (head[0] == 'B' && head[1] == 'M') {
        if (size < 18) return CarrierStructure::BmpHeaderTooLong;
        std::int64_t headers = 14 + static_cast<std::int64_t>(le32(head + 14));
        return headers > payload::kLeadOffset ? CarrierStructure::BmpHeaderTooLong
                                              : CarrierStructure::Ok;
    }
    if (size >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0) {
        const std::int64_t spanEnd = payload::CarrierBytesFor(dataLength); // one past the last
        std::int64_t pos = 12;
        // Walk the chunks (RIFF pads odd sizes) until "data" or the walk stops moving.
        while (pos + 8 <= size) {
            unsigned char chunk[8];
            if (!f.readAt(pos, chunk, 8)) return CarrierStructure::Unreadable;
            const std::int64_t body = pos + 8;
            const std::int64_t len = le32(chunk + 4);
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
    return CarrierStructure::Ok;
}

std::string CarrierStructureMessage(CarrierStructure result, const std::string &name) {
    switch (result) {
    case CarrierStructure::BmpHeaderTooLong:
        return "Die Containerdatei \"" + name +
               "\" kann nicht verwendet werden: Ihr BMP-Dateikopf ist länger als 91 Byte und "
               "würde beim Verstecken beschädigt. Bitte die Datei mit dem BildConverter in "
               "eine 24-Bit-BMP-Datei umwandeln oder eine andere Containerdatei wählen.";
    case CarrierStructure::WavDataTooShort:
        return "Die Containerdatei \"" + name +
               "\" kann nicht verwendet werden: Ihre Klangdaten beginnen zu spät oder sind zu "
               "kurz, so dass der WAV-Dateikopf beim Verstecken beschädigt würde. Bitte eine "
               "andere WAV-Datei wählen.";
    case CarrierStructure::Unreadable:
        return "Die Containerdatei \"" + name + "\" kann nicht gelesen werden.";
    case CarrierStructure::Ok: break;
    }
    return "";
}

} // namespace kalmira::hide
