// Extracting: salt, key, head; then the body window by window into the sink,
// which commits only after the final chunk has been authenticated.
#include "stealth/cipher.h"
#include "stealth/embed.h"
#include "stealth/format.h"
#include "stealth/stealth.h"

#include "platform/binary_file.h"

#include <sodium.h>

#include <algorithm>

namespace kalmira::stealth {

namespace {

using Outcome = ExtractResult::Outcome;

bool ReadBits(const platform::BinaryFile &file, const Layout &layout, std::uint64_t count,
              const std::function<std::uint64_t(std::uint64_t)> &indexOf, std::uint8_t *out) {
    std::fill(out, out + count / 8, 0);
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint8_t v;
        if (!file.readAt(static_cast<std::int64_t>(layout.fileOffset(indexOf(i))), &v, 1)) return false;
        out[i / 8] |= static_cast<std::uint8_t>((v & 1) << (i % 8));
    }
    return true;
}

Outcome FromReader(StreamReader::State s) {
    switch (s) {
    case StreamReader::State::Done: return Outcome::Extracted;
    case StreamReader::State::TooLarge: return Outcome::TooLarge;
    case StreamReader::State::SinkDeclined: return Outcome::Cancelled;
    case StreamReader::State::SinkFailed: return Outcome::IoError;
    default: return Outcome::Damaged;
    }
}

Outcome ReadBody(const platform::BinaryFile &carrier, Embedder &emb, StreamReader &reader, int k, std::uint64_t blocks,
                 std::size_t windowBytes, const Progress &progress) {
    const std::uint64_t per = emb.windowBlocks(windowBytes);
    const std::uint64_t windows = std::max<std::uint64_t>(1, (blocks + per - 1) / per);
    Window w;
    for (std::uint64_t i = 0; i < windows && reader.state() == StreamReader::State::Running; ++i) {
        const double base = 0.2 + 0.8 * double(i) / double(windows), span = 0.8 / double(windows);
        bool cancelled = false;
        w.reset(i * per, std::min(blocks, (i + 1) * per), k);
        if (!emb.accumulate(carrier, w,
                            [&](double f) { return !(cancelled = progress && !progress(base + span * f)); }))
            return cancelled ? Outcome::Cancelled : Outcome::IoError;
        reader.give(w.fields.data(), w.streamBytes(k)); // the syndromes are the stream
    }
    return FromReader(reader.state());
}

} // namespace

ExtractResult Extract(const std::string &carrierPath, std::string_view password, Sink &sink, const Progress &progress,
                      const Tuning &tuning) {
    ExtractResult res;
    if (password.empty() || password.size() > kMaxPasswordBytes) return res.outcome = Outcome::BadPassword, res;
    if (sodium_init() < 0) return res;
    platform::BinaryFile carrier;
    if (!carrier.open(carrierPath, platform::BinaryFile::Mode::Read)) return res;
    const Layout layout = ReadLayout(carrier);
    if (layout.problem != Unsuitable::None) {
        res.reason = layout.problem;
        // A cut-short or broken carrier is damaged, whatever it held.
        res.outcome = layout.problem == Unsuitable::Malformed ? Outcome::Damaged : Outcome::CarrierUnsuitable;
        return res;
    }
    if (format::BodySlots(layout.usable()) == 0) return res.outcome = Outcome::NoDataOrWrongPassword, res;

    std::uint8_t salt[format::kSaltBytes];
    if (!ReadBits(
            carrier, layout, format::kSaltSlots, [](std::uint64_t i) { return i; }, salt))
        return res;
    format::Keys keys;
    if (progress && !progress(0)) return res.outcome = Outcome::Cancelled, res;
    if (!format::DeriveKeys(password, salt, tuning, keys)) return res;
    if (progress && !progress(0.2)) return res.outcome = Outcome::Cancelled, res;

    // The head is read first at its own slots: a wrong password costs no carrier pass.
    Embedder probe(layout, keys.order.data(), 1, 0);
    std::uint8_t head[format::kHeadBytes];
    if (!ReadBits(
            carrier, layout, format::kHeadBits, [&](std::uint64_t s) { return probe.headIndex(s); }, head))
        return res;
    StreamReader reader;
    InfoBlock block;
    if (!reader.open(keys.stream.data(), head, block)) return res.outcome = Outcome::NoDataOrWrongPassword, res;
    const auto decoded = format::DecodeInfo(block.data());
    if (!decoded) return res.outcome = Outcome::Damaged, res;
    const format::Info info = *decoded;
    const std::uint64_t plain = std::uint64_t{info.nameBytes} + info.dataBytes;
    if (format::Blocks(format::BodyBytes(plain), info.k) >
        format::BodySlots(layout.usable()) / format::BlockSlots(info.k))
        return res.outcome = Outcome::Damaged, res;

    reader.start(sink, res.facts, info.kind, info.nameBytes, info.dataBytes);
    const std::uint64_t blocks = format::Blocks(format::BodyBytes(plain), info.k);
    Embedder emb(layout, keys.order.data(), info.k, blocks);
    res.outcome = ReadBody(carrier, emb, reader, info.k, blocks, tuning.windowBytes, progress);
    if (res.outcome == Outcome::Extracted && !sink.commit()) res.outcome = Outcome::IoError;
    if (res.outcome != Outcome::Extracted) sink.abort();
    return res;
}

} // namespace kalmira::stealth
