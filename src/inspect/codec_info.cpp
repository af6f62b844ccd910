#include "inspect/codec_info.h"

#include "carrier/whole_file.h"
#include "inspect/modWAV.h"
#include "platform/file_lock.h"

#include <cstdio>

namespace kalmira::inspect {

namespace {

const char *ColourTypeText(int type) {
    switch (type) {
    case 0: return "Graustufen";
    case 2: return "RGB";
    case 3: return "Farbpalette";
    case 4: return "Graustufen mit Alpha";
    case 6: return "RGB mit Alpha";
    }
    return "unbekannt";
}

} // namespace

// Thousands separated by dots, as the windows show byte counts.
std::string GroupedNumber(std::uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += '.';
        out += digits[i];
    }
    return out;
}

std::string FlacBlockName(std::uint8_t type) {
    switch (type) {
    case carrier::FlacStreamInfo: return "STREAMINFO";
    case carrier::FlacPadding: return "PADDING";
    case carrier::FlacApplication: return "APPLICATION";
    case carrier::FlacSeekTable: return "SEEKTABLE";
    case carrier::FlacVorbisComment: return "VORBIS_COMMENT";
    case carrier::FlacCueSheet: return "CUESHEET";
    case carrier::FlacPicture: return "PICTURE";
    }
    return "unbekannt";
}

std::string SecondsText(double seconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", seconds);
    std::string s = buf;
    for (char &c : s)
        if (c == '.') c = ',';
    return s + " s";
}

std::string BlockSizeText(const carrier::FlacFacts &f) {
    return std::to_string(f.minBlockSize) +
           (f.maxBlockSize != f.minBlockSize ? " bis " + std::to_string(f.maxBlockSize) : "") + " Samples";
}

CodecFacts ReadCodecFacts(const std::string &path) {
    CodecFacts f;
    f.kind = carrier::Classify(path);
    if (!carrier::StealthOnly(f.kind)) return f;
    platform::FileLock lock; // shared, for the read below
    f.opening = carrier::OpenCarrier(path, false, lock);
    if (f.opening.access != carrier::CarrierAccess::Ready) return f;
    std::vector<std::uint8_t> bytes;
    f.problem = carrier::ReadWholeFile(path, carrier::kWholeFileMemoryLimit, bytes);
    if (f.problem != carrier::CodecProblem::None) return f;
    f.length = static_cast<std::int64_t>(bytes.size());
    f.problem = f.kind == carrier::CarrierKind::Png ? carrier::ReadPngFacts(bytes, f.png)
                                                    : carrier::ReadFlacFacts(bytes, f.flac);
    return f;
}

std::vector<std::string> PngFactLines(const carrier::PngFacts &f) {
    std::vector<std::string> lines = {
        "Breite: " + std::to_string(f.width) + " Pixel",
        "Höhe: " + std::to_string(f.height) + " Pixel",
        std::string("Farbtyp: ") + ColourTypeText(f.colourType),
        "Bits pro Kanal: " + std::to_string(f.bitDepth),
        std::string("Zeilensprung: ") + (f.interlaced ? "Adam7" : "keiner"),
    };
    std::string chunks;
    for (const carrier::PngChunkFact &c : f.chunks) {
        chunks += (chunks.empty() ? "" : ", ") + std::string(c.type.data(), 4);
        if (c.count > 1) chunks += " (" + std::to_string(c.count) + " Chunks, " + GroupedNumber(c.length) + " Byte)";
    }
    lines.push_back("Chunks: " + chunks);
    if (f.trailingBytes > 0) lines.push_back("Nach dem Bildende: " + GroupedNumber(f.trailingBytes) + " Byte");
    return lines;
}

std::vector<std::string> FlacFactLines(const carrier::FlacFacts &f) {
    std::vector<std::string> lines = {
        "Kanäle: " + ChannelText(static_cast<std::int16_t>(f.channels)),
        "Abtastrate: " + std::to_string(f.sampleRate) + " Hz",
        "Bits pro Sample: " + BitsPerSampleText(static_cast<std::int16_t>(f.bitsPerSample)),
    };
    if (f.totalSamples > 0) lines.push_back("Spieldauer: " + SecondsText(f.seconds));
    lines.push_back("Blockgrösse: " + BlockSizeText(f));
    std::string blocks;
    for (const carrier::FlacBlockFact &b : f.blocks) blocks += (blocks.empty() ? "" : ", ") + FlacBlockName(b.type);
    lines.push_back("Metadaten: " + blocks);
    return lines;
}

} // namespace kalmira::inspect
