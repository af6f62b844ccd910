#include "inspect/modWAV.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace kalmira::inspect {

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

std::string BitsPerSampleText(std::int16_t bits) { return bits < 1 ? "Unbekannt" : std::to_string(bits); }

std::string Nurdatei(const std::string &path) {
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

WavPlayback CheckPlayback(const std::string &path) {
    WavChunks w;
    WavPlayback p;
    if (carrier::ReadWavChunks(path, w) != WavRead::Ok || !w.hasFormat) {
        p.status = WavPlayback::NotWav;
        return p;
    }
    p.format = w.format;
    const WavFormat &f = p.format;
    const bool pcm = f.formatTag == 1 && (f.bitsPerSample == 8 || f.bitsPerSample == 16) &&
                     (f.channels == 1 || f.channels == 2) && f.sampleRate > 0 &&
                     f.blockAlign == f.channels * f.bitsPerSample / 8 && f.bytesPerSec == f.sampleRate * f.blockAlign;
    if (!pcm) {
        p.status = WavPlayback::UnsupportedFormat;
    } else if (w.dataBytes < f.blockAlign) {
        p.status = WavPlayback::NoSound;
    } else {
        p.status = WavPlayback::Playable;
        p.seconds = static_cast<double>(w.dataBytes) / f.bytesPerSec;
    }
    return p;
}

std::string ExternalPlayerFor(const std::string &windir, const std::string &wavPath) {
    if (windir.empty()) return {};
    std::string folder = windir;
    if (folder.back() != '\\' && folder.back() != '/') folder += '/';
    std::string player = folder + "mplayer.exe";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(player, ec)) return {};
    const auto size = std::filesystem::file_size(wavPath, ec);
    if (ec || size <= 2000000) return {};
    return player;
}

} // namespace kalmira::inspect
