#include "carrier/payload.h"

#include "platform/binary_file.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace kalmira::payload {

const char *ModeTag(Mode mode) {
    switch (mode) {
    case Mode::Rc4: return "yesp";
    case Mode::Aes: return "yesa";
    case Mode::Plain: break;
    }
    return "yesn";
}

std::optional<Mode> ModeFromTag(std::string_view tag) {
    if (tag == "yesp") return Mode::Rc4;
    if (tag == "yesa") return Mode::Aes;
    if (tag == "yesn") return Mode::Plain;
    return std::nullopt;
}

std::optional<std::string> NameField(const std::string &fileNameUtf8) {
    std::string name = platform::AnsiFromUtf8(fileNameUtf8);
    if (name.size() <= kNameFieldSize) return name + std::string(kNameFieldSize - name.size(), ' ');
    auto dot = name.rfind('.');
    auto sep = name.find_last_of("\\/");
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return std::nullopt;
    std::string ext = name.substr(dot);
    std::string base =
        name.substr(sep == std::string::npos ? 0 : sep + 1, dot - (sep == std::string::npos ? 0 : sep + 1));
    if (ext.size() > 23) return std::nullopt;
    std::size_t keep = 23 - ext.size();
    return base.substr(0, keep) + "~1" + ext;
}

std::string ComposeHeader(Mode mode, std::string_view digest, std::int64_t dataLength, std::string_view nameField) {
    std::string h = ModeTag(mode);
    if (mode == Mode::Plain) {
        h += std::string(kDigestSize, '0');
    } else {
        std::string d(digest.substr(0, kDigestSize));
        d.resize(kDigestSize, '\0');
        h += d;
    }
    char digits[24];
    std::snprintf(digits, sizeof digits, "%07lld", static_cast<long long>(dataLength - 1));
    h += std::string(digits).substr(0, 7);
    std::string name(nameField.substr(0, kNameFieldSize));
    name.resize(kNameFieldSize, ' ');
    h += name;
    h += "res";
    return h;
}

ParsedHeader ParseHeader(std::string_view header) {
    std::string h(header.substr(0, kHeaderSize));
    h.resize(kHeaderSize, '\0');
    ParsedHeader p;
    p.tag = h.substr(0, 4);
    p.mode = ModeFromTag(p.tag);
    p.digest = h.substr(4, 16);
    p.lengthField = h.substr(20, 7);
    bool digits = true;
    std::int64_t value = 0;
    for (char c : p.lengthField) {
        if (c < '0' || c > '9') {
            digits = false;
            break;
        }
        value = value * 10 + (c - '0');
    }
    if (digits) p.dataLength = value + 1;
    p.nameField = h.substr(27, 25);
    p.endTag = h.substr(52, 3);
    return p;
}

std::string PlainFileName(const std::string &storedName) {
    const auto sep = storedName.find_last_of("\\/");
    std::string name = sep == std::string::npos ? storedName : storedName.substr(sep + 1);
    for (char &c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    const auto first = name.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    name = name.substr(first, name.find_last_not_of(' ') - first + 1);
    return name == "." || name == ".." ? "" : name;
}

std::string StoredFileName(const ParsedHeader &header) {
    std::string name = header.nameField;
    auto end = name.find_last_not_of(' ');
    name = end == std::string::npos ? "" : name.substr(0, end + 1);
    return platform::Utf8FromAnsi(name);
}

std::optional<std::string> ChangedStoredName(const std::string &fileNameUtf8) {
    const std::optional<std::string> field = NameField(fileNameUtf8);
    if (!field) return std::nullopt;
    ParsedHeader header;
    header.nameField = *field;
    std::string back = PlainFileName(StoredFileName(header));
    if (back == fileNameUtf8) return std::nullopt;
    return back;
}

std::int64_t RoundedForRun(std::int64_t n) { return 16 * (n / 16 + 1); }
std::int64_t RoundedForDisplay(std::int64_t n) { return 16 * ((n - 1) / 16 + 1); }

std::int64_t StoredDataLength(Mode mode, std::int64_t n) { return mode == Mode::Aes ? 16 * ((n + 15) / 16) : n; }

std::optional<ParsedHeader> ReadHeader(const platform::BinaryFile &f, std::int64_t length) {
    // The header region in one read; a file shorter than it holds no payload.
    std::vector<std::uint8_t> region(static_cast<std::size_t>(kDataOffset + 1), ' ');
    const auto have =
        static_cast<std::size_t>(std::min<std::int64_t>(length, static_cast<std::int64_t>(region.size())));
    if (length < 0 || (have > 0 && !f.readAt(0, region.data(), have))) return std::nullopt;
    std::string header(kHeaderSize, ' ');
    if (have == region.size())
        ReadBytes(region.data() + kHeaderOffset, kHeaderSize, reinterpret_cast<std::uint8_t *>(header.data()));
    return ParseHeader(header);
}

} // namespace kalmira::payload
