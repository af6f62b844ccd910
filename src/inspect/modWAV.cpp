#include "inspect/modWAV.h"

#include <algorithm>
#include "platform/byte_order.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace kalmira::inspect {

namespace {

using platform::Le16;
using platform::Le32;

// Reads n bytes at offset; what lies past the end stays zero.
void ReadAt(std::ifstream &in, std::int64_t offset, std::uint8_t *buf, std::size_t n) {
    std::memset(buf, 0, n);
    in.clear();
    in.seekg(offset);
    if (in) in.read(reinterpret_cast<char *>(buf), static_cast<std::streamsize>(n));
    in.clear();
}

WavFormat ParseFormat(const std::uint8_t *r) {
    WavFormat f;
    f.formatTag = Le16(r);
    f.channels = Le16(r + 2);
    f.sampleRate = Le32(r + 4);
    f.bytesPerSec = Le32(r + 8);
    f.blockAlign = Le16(r + 12);
    f.bitsPerSample = Le16(r + 14);
    return f;
}

// A chunk id as writers make it: four printable ASCII characters.
bool PlausibleId(std::ifstream &in, std::int64_t offset) {
    std::uint8_t id[4];
    ReadAt(in, offset, id, sizeof id);
    for (std::uint8_t c : id)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// Where the chunk after one of `size` data bytes at `pos` starts. RIFF pads
// odd-sized chunks with one byte; some writers leave it out, so the pad is
// skipped unless only the unpadded position holds a plausible id.
std::int64_t NextChunk(std::ifstream &in, std::int64_t pos, std::int32_t size) {
    const std::int64_t bare = pos + 8 + static_cast<std::int64_t>(size);
    if (size % 2 == 0) return bare;
    return !PlausibleId(in, bare + 1) && PlausibleId(in, bare) ? bare : bare + 1;
}

struct Walk {
    WavChunks chunks;
    std::int64_t dataBytes = -1; // of the last "data" chunk, clipped to the file
};

WavRead WalkFile(const std::string &path, Walk &walk) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return WavRead::CannotOpen;
    in.seekg(0, std::ios::end);
    const std::int64_t length = in.tellg();
    if (length < 0) return WavRead::CannotOpen;

    std::uint8_t riff[12];
    ReadAt(in, 0, riff, sizeof riff);
    if (!IsRiffWave(riff)) return WavRead::NotRiffWave;
    walk.chunks.riffSize = Le32(riff + 4);

    for (std::int64_t pos = 12; pos < length && walk.chunks.ids.size() < kMaxWavChunks;) {
        std::uint8_t head[8];
        ReadAt(in, pos, head, sizeof head);
        const std::string id = IdText(head);
        const std::int32_t size = Le32(head + 4);
        if (id == "fmt ") {
            std::uint8_t rec[16];
            ReadAt(in, pos + 8, rec, sizeof rec);
            walk.chunks.format = ParseFormat(rec);
            walk.chunks.hasFormat = true;
        } else if (id == "data") {
            walk.dataBytes = std::max<std::int64_t>(0, std::min<std::int64_t>(size, length - pos - 8));
        }
        walk.chunks.ids.push_back(id);
        if (size < 0) break;
        pos = NextChunk(in, pos, size);
    }
    return WavRead::Ok;
}

} // namespace

std::string IdText(const std::uint8_t *id4) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i)
        if (id4[i] >= 32) s[i] = static_cast<char>(id4[i]);
    return s;
}

bool IsRiffWave(const std::uint8_t *h) {
    return std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVE", 4) == 0;
}

WavRead ReadWavChunks(const std::string &path, WavChunks &out) {
    Walk walk;
    WavRead r = WalkFile(path, walk);
    if (r == WavRead::Ok) out = std::move(walk.chunks);
    return r;
}

std::string FormatTagName(std::int16_t tag) {
    switch (static_cast<std::uint16_t>(tag)) {
    case 1: return "Unkomprimiert (PCM)";
    case 2: return "Microsoft ADPCM";
    case 6: return "CCITT-Norm A";
    case 7: return "CCITT-Norm u";
    case 17: return "IMA ADPCM";
    case 34: return "DSP Group TrueSpeech(TM) 8.0";
    case 49: return "GSM 6.10";
    case 66: return "Microsoft G.732.1";
    case 85: return "MPEG Layer-3";
    case 112: return "Lernout & Hauspie CELP";
    case 113: return "Lernout & Hauspie SBC 8 kbit/s";
    case 114: return "Lernout & Hauspie SBC 12 kbit/s";
    case 115: return "Lernout & Hauspie SBC 16 kbit/s";
    case 116: return "Voxware MetaVoice";
    case 117: return "Voxware MetaSound";
    case 273: return "VivoActive G.732.1";
    case 274: return "VivoActive Siren";
    default: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(static_cast<std::uint16_t>(tag)));
        return std::string("Unbekannt (") + buf + "h)";
    }
    }
}

std::string ChannelText(std::int16_t channels) {
    if (channels == 1) return "Mono";
    if (channels == 2) return "Stereo";
    return std::to_string(channels) + "-Kanal-Sound";
}

std::string BitsPerSampleText(std::int16_t bits) {
    return bits < 1 ? "Unbekannt" : std::to_string(bits);
}

std::string Nurdatei(const std::string &path) {
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

double WavSeconds(const std::string &path) {
    Walk walk;
    if (WalkFile(path, walk) != WavRead::Ok || !walk.chunks.hasFormat || walk.dataBytes < 0 ||
        walk.chunks.format.bytesPerSec <= 0)
        return -1;
    return static_cast<double>(walk.dataBytes) / walk.chunks.format.bytesPerSec;
}

WavPlayback CheckPlayback(const std::string &path) {
    Walk walk;
    WavPlayback p;
    if (WalkFile(path, walk) != WavRead::Ok || !walk.chunks.hasFormat) {
        p.status = WavPlayback::NotWav;
        return p;
    }
    p.format = walk.chunks.format;
    const WavFormat &f = p.format;
    const bool pcm = f.formatTag == 1 && (f.bitsPerSample == 8 || f.bitsPerSample == 16) &&
                     (f.channels == 1 || f.channels == 2) && f.sampleRate > 0 &&
                     f.blockAlign == f.channels * f.bitsPerSample / 8 &&
                     f.bytesPerSec == f.sampleRate * f.blockAlign;
    if (!pcm) {
        p.status = WavPlayback::UnsupportedFormat;
    } else if (walk.dataBytes < f.blockAlign) {
        p.status = WavPlayback::NoSound;
    } else {
        p.status = WavPlayback::Playable;
        p.seconds = static_cast<double>(walk.dataBytes) / f.bytesPerSec;
    }
    return p;
}

std::string ExternalPlayerFor(const std::string &windir, const std::string &wavPath) {
    if (windir.empty()) return {};
    std::string folder = windir;
    if (folder.back() != '\\' && folder.back() != '/') folder += '/';
    const std::string player = folder + "mplayer.exe";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(player, ec)) return {};
    const auto size = std::filesystem::file_size(wavPath, ec);
    if (ec || size <= 2000000) return {};
    return player;
}

} // namespace kalmira::inspect
