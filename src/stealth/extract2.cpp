// Extracting version 2: parities of window 0, the salt from its public
// block, the key, the head from its keyed block; then the body window by
// window into the sink. When the head does not open, version 1 is tried
// (always, so that no data and a wrong password cost the same).
#include "stealth/cipher.h"
#include "stealth/coder2.h"
#include "stealth/format2.h"
#include "stealth/orders2.h"
#include "stealth/parallel2.h"
#include "stealth/stealth2.h"
#include "stealth/survey2.h"

#include <sodium.h>

namespace kalmira::stealth {

namespace {

using Outcome = ExtractResult::Outcome;

// The message bits carried by the elements at `local`, appended to `out`
// as bytes of 0 or 1. False when the block cannot be a code block.
bool ExtractBlock(std::span<const std::uint64_t> local, std::size_t m, int h, const WindowState &w, std::uint8_t *out) {
    if (m == 0) return true;
    const auto code = coder::Code::Make(local.size(), m, h);
    if (!code) return false;
    std::vector<std::uint8_t> parities(local.size());
    for (std::size_t i = 0; i < local.size(); ++i) {
        if (i + 16 < local.size()) __builtin_prefetch(&w.flags[local[i + 16]]); // random reads: fetch ahead
        parities[i] = w.flags[local[i]] & kParity;
    }
    return coder::Extract(*code, parities, {out, m});
}

// Packs bits (lowest first) into bytes.
template <std::size_t N>
void Pack(const std::vector<std::uint8_t> &bits, std::array<std::uint8_t, N> &out) {
    out.fill(0);
    for (std::size_t i = 0; i < 8 * N; ++i) out[i / 8] |= static_cast<std::uint8_t>(bits[i] << (i % 8));
}

Outcome FromStream(StreamReader::State s) {
    switch (s) {
    case StreamReader::State::Done: return Outcome::Extracted;
    case StreamReader::State::TooLarge: return Outcome::TooLarge;
    case StreamReader::State::SinkDeclined: return Outcome::Cancelled;
    case StreamReader::State::SinkFailed: return Outcome::IoError;
    default: return Outcome::Damaged;
    }
}

struct Reading {
    Survey &survey;
    const format2::Keys &keys;
    const format2::BodyPlan &plan;
    int height;
    unsigned threads;
};

// Every window's blocks in parallel, their bits into the stream in order.
Outcome ReadBody(const Reading &r, StreamReader &stream, const Progress &progress) {
    const format2::Geometry &g = r.survey.geometry();
    WindowState &w = r.survey.window0();
    std::vector<std::uint8_t> bits;
    std::vector<std::vector<std::uint64_t>> scratch(WorkerThreads(r.threads));
    bool cancelled = false;
    for (std::uint64_t j = 0; j < g.windows() && stream.state() == StreamReader::State::Running; ++j) {
        const double from = 0.25 + 0.75 * double(j) / double(g.windows()), span = 0.75 / double(g.windows());
        const auto report = [&](double f) { return !(cancelled = progress && !progress(from + span * f)); };
        if (j > 0 && !r.survey.scanner().scan(j, w, report)) return cancelled ? Outcome::Cancelled : Outcome::IoError;
        const BodyOrder order(g, r.keys, j);
        bits.assign(static_cast<std::size_t>(r.plan.windowBits(j)), 0);
        const auto block = [&](std::size_t i, unsigned slot) {
            const format2::BodyBlock b = r.plan.block(j, i);
            auto &pos = scratch[slot];
            pos.resize(static_cast<std::size_t>(b.length));
            order.positions(b.first, pos.size(), pos.data());
            return ExtractBlock(pos, static_cast<std::size_t>(b.bits), r.height, w, bits.data() + b.firstBit);
        };
        if (!ParallelFor(static_cast<std::size_t>(r.plan.blocks(j)), static_cast<unsigned>(scratch.size()), block))
            return Outcome::Damaged;
        stream.bits(bits.data(), bits.size());
        if (j + 1 < g.windows() && !report(1)) return Outcome::Cancelled;
    }
    return FromStream(stream.state());
}

// Salt, key and head of version 2; false when the head does not open.
bool OpenHead(Survey &survey, std::string_view password, const Tuning &tuning, format2::Keys &keys,
              StreamReader &stream, InfoBlock &info, bool &kdfFailed) {
    const format2::Geometry &g = survey.geometry();
    const WindowState &w = survey.window0();
    std::vector<std::uint8_t> bits(format2::kSaltBits);
    ExtractBlock(SaltSequence(g), bits.size(), format2::kHeadHeight, w, bits.data());
    std::array<std::uint8_t, format::kSaltBytes> salt;
    Pack(bits, salt);
    if (!format2::DeriveKeys(password, salt.data(), tuning, keys)) return !(kdfFailed = true);
    const BodyOrder order(g, keys, 0);
    bits.assign(format2::kHeadBits, 0);
    ExtractBlock(order.head(), bits.size(), format2::kHeadHeight, w, bits.data());
    std::array<std::uint8_t, format::kHeadBytes> head;
    Pack(bits, head);
    return stream.open(keys.stream.data(), head.data(), info);
}

Extract2Result Version1(const Version1Attempt &attempt) {
    Extract2Result res;
    if (!attempt) return res.outcome = Outcome::NoDataOrWrongPassword, res;
    static_cast<ExtractResult &>(res) = attempt();
    res.version = res.outcome == Outcome::NoDataOrWrongPassword ? 0 : 1;
    return res;
}

} // namespace

Extract2Result Extract2(ElementReader &reader, std::string_view password, Sink &sink, const Version1Attempt &version1,
                        const Progress &progress, const Tuning2 &tuning) {
    Extract2Result res;
    if (password.empty() || password.size() > kMaxPasswordBytes) return res.outcome = Outcome::BadPassword, res;
    if (sodium_init() < 0) return res;
    Survey survey(reader, nullptr, tuning);
    bool cancelled = false;
    const auto part = [&](double from, double to) {
        return [&, from, to](double f) { return !(cancelled = progress && !progress(from + (to - from) * f)); };
    };
    switch (survey.prepare(part(0, 0.05))) {
    case Survey::Status::Ok: break;
    case Survey::Status::Cancelled: return res.outcome = Outcome::Cancelled, res;
    case Survey::Status::ReadError: return res;
    default: return Version1(version1); // too small for version 2
    }
    if (!survey.scanner().scan(0, survey.window0(), part(0.05, 0.15)))
        return res.outcome = cancelled ? Outcome::Cancelled : Outcome::IoError, res;

    format2::Keys keys;
    StreamReader stream;
    InfoBlock block;
    bool kdfFailed = false;
    if (!OpenHead(survey, password, tuning, keys, stream, block, kdfFailed))
        return kdfFailed ? res : Version1(version1);
    res.version = 2;
    if (progress && !progress(0.25)) return res.outcome = Outcome::Cancelled, res;
    const auto info = format2::DecodeInfo(block.data());
    if (!info) return res.outcome = Outcome::Damaged, res;
    const format2::BodyPlan plan(survey.geometry(), info->bodyBits());
    if (!plan.consistent() || info->height > coder::kMaxHeight) return res.outcome = Outcome::Damaged, res;

    stream.start(sink, res.facts, info->kind, info->nameBytes, info->dataBytes);
    res.outcome = ReadBody({survey, keys, plan, info->height, tuning.threads}, stream, progress);
    if (res.outcome == Outcome::Extracted && !sink.commit()) res.outcome = Outcome::IoError;
    if (res.outcome != Outcome::Extracted) sink.abort();
    return res;
}

} // namespace kalmira::stealth
