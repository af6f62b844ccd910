// Helpers shared by the hide and extract engine tests.
#pragma once

#include "carrier/payload.h"
#include "compress/ZorbComprFile.h"
#include "crypto/keys.h"
#include "fakes.h"

#include <string>
#include <vector>

namespace kalmira::test {

inline std::vector<std::uint8_t> Compressed(const TempDir &dir, const std::vector<std::uint8_t> &plain) {
    WriteAll(dir.file("plain.in"), plain);
    ZorbComprFile z;
    z.InputFile = dir.file("plain.in");
    z.OutputFile = dir.file("plain.z");
    z.Compress();
    return ReadAll(dir.file("plain.z"));
}

inline std::string Padded(const std::string &pw) { return crypto::PadPassword(pw); }

// The payload header as it stands in a carrier.
inline payload::ParsedHeader HeaderOf(const std::vector<std::uint8_t> &carrier) {
    std::string h(payload::kHeaderSize, '\0');
    payload::ReadBytes(carrier.data() + payload::kHeaderOffset, payload::kHeaderSize,
                       reinterpret_cast<std::uint8_t *>(h.data()));
    return payload::ParseHeader(h);
}

// Rewrites header bytes in a carrier file (to fake damaged carriers).
inline void PatchHeader(const std::string &path, std::size_t headerOffset, const std::string &bytes) {
    auto c = ReadAll(path);
    payload::EmbedBytes(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size(),
                        c.data() + payload::kHeaderOffset + 8 * headerOffset);
    WriteAll(path, c);
}

} // namespace kalmira::test
