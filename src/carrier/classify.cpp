#include "carrier/classify.h"

#include "carrier/riff.h"
#include "platform/binary_file.h"
#include "platform/platform.h"

#include <algorithm>

namespace kalmira::carrier {

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

} // namespace

bool IsPngStart(const std::uint8_t *head, std::size_t have) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return have >= 8 && std::equal(kSignature, kSignature + 8, head);
}

// An ID3v2 tag in front is the codec's to skip.
bool IsFlacStart(const std::uint8_t *head, std::size_t have) {
    return have >= 4 && ((head[0] == 'f' && head[1] == 'L' && head[2] == 'a' && head[3] == 'C') ||
                         (head[0] == 'I' && head[1] == 'D' && head[2] == '3'));
}

Content ContentOf(const std::uint8_t *head, std::size_t have) {
    if (have >= 2 && head[0] == 'B' && head[1] == 'M') return Content::Bmp;
    if (have >= 12 && IsRiffWave(head)) return Content::Wav;
    return Content::Other;
}

bool HasCarrierName(const std::string &path, bool stealth) {
    const std::string ext = LowerExtension(path);
    return ext == ".bmp" || ext == ".wav" || (stealth && (ext == ".png" || ext == ".flac"));
}

CarrierKind Classify(const std::string &path) {
    if (!platform::IsRegularFile(path))
        return platform::FileExists(path) ? CarrierKind::NotRegular : CarrierKind::Missing;
    platform::BinaryFile f;
    if (!f.open(path, platform::BinaryFile::Mode::Read)) return CarrierKind::Unreadable;
    std::uint8_t head[12] = {};
    const std::int64_t size = f.size();
    const std::size_t have = size >= 12 ? 12 : size > 0 ? static_cast<std::size_t>(size) : 0;
    const bool read = have > 0 && f.readAt(0, head, have);
    const Content content = read ? ContentOf(head, have) : Content::Other;
    const std::string ext = LowerExtension(path);
    if (ext == ".png") return read && IsPngStart(head, have) ? CarrierKind::Png : CarrierKind::NotPng;
    if (ext == ".flac") return read && IsFlacStart(head, have) ? CarrierKind::Flac : CarrierKind::NotFlac;
    if (ext == ".bmp") return content == Content::Bmp ? CarrierKind::Bmp : CarrierKind::NotBmp;
    if (ext == ".wav") return content == Content::Wav ? CarrierKind::Wav : CarrierKind::NotWav;
    return CarrierKind::OtherName;
}

} // namespace kalmira::carrier
