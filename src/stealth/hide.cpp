// Hiding: every check, the key derivation and every change are worked out
// from reads first; the carrier is written by RewritePass only.
#include "stealth/cipher.h"
#include "stealth/embed.h"
#include "stealth/format.h"
#include "stealth/stealth.h"

#include "platform/binary_file.h"

#include <sodium.h>

#include <algorithm>

namespace kalmira::stealth {

namespace {

using Outcome = HideResult::Outcome;

// Reads the data to hide, from a file or from memory, exactly `size` bytes.
class SourceReader {
public:
    explicit SourceReader(const HideSource &src) : src_(src) {}
    bool open() {
        if (src_.path.empty()) {
            size_ = src_.bytes.size();
            return true;
        }
        if (!file_.open(src_.path, platform::BinaryFile::Mode::Read)) return false;
        const std::int64_t s = file_.size();
        size_ = s < 0 ? 0 : static_cast<std::uint64_t>(s);
        return s >= 0;
    }
    std::uint64_t size() const { return size_; }
    bool read(std::uint8_t *out, std::size_t n) {
        if (pos_ + n > size_) return false;
        if (src_.path.empty()) std::copy_n(src_.bytes.data() + pos_, n, out);
        else if (!file_.readAt(static_cast<std::int64_t>(pos_), out, n)) return false;
        pos_ += n;
        return true;
    }

private:
    const HideSource &src_;
    platform::BinaryFile file_;
    std::uint64_t size_ = 0, pos_ = 0;
};

// Salt bits on usable bytes 0..127, head bits on the head slots, sorted.
std::vector<BitAt> FixedBits(const Embedder &emb, const std::uint8_t *salt, const std::uint8_t *head) {
    std::vector<BitAt> bits;
    bits.reserve(format::kSaltSlots + format::kHeadBits);
    for (std::uint64_t i = 0; i < format::kSaltSlots; ++i)
        bits.push_back({i, static_cast<std::uint8_t>((salt[i / 8] >> (i % 8)) & 1)});
    for (std::uint64_t s = 0; s < format::kHeadBits; ++s)
        bits.push_back({emb.headIndex(s), static_cast<std::uint8_t>((head[s / 8] >> (s % 8)) & 1)});
    std::sort(bits.begin(), bits.end(), [](const BitAt &a, const BitAt &b) { return a.index < b.index; });
    return bits;
}

struct Run {
    const Progress &progress;
    double base = 0, span = 1;
    bool report(double f) const { return !progress || progress(base + span * f); }
};

// Embeds the whole body window by window: a read pass computes the
// syndromes, the payload bits turn them into changes, a rewrite pass applies
// them. With segments of one slot the read pass is left out.
Outcome EmbedBody(platform::BinaryFile &carrier, Embedder &emb, CipherWriter &cipher,
                  std::vector<BitAt> fixed, int k, std::uint64_t blocks, std::size_t windowBytes,
                  const Progress &progress, const ChunkWriter &writer, HideResult &res) {
    const std::uint64_t per = emb.windowBlocks(windowBytes);
    const std::uint64_t windows = std::max<std::uint64_t>(1, (blocks + per - 1) / per);
    Window w;
    for (std::uint64_t i = 0; i < windows; ++i) {
        Run run{progress, 0.2 + 0.8 * double(i) / double(windows), 0.4 / double(windows)};
        w.reset(i * per, std::min(blocks, (i + 1) * per), k);
        bool cancelled = false; // honoured only while nothing is written
        // Segments of one slot need no syndromes: apply() compares each bit with its byte.
        if (!emb.singleSlots() &&
            !emb.accumulate(carrier, w, [&](double f) { return !(cancelled = !run.report(f) && i == 0); }))
            return cancelled ? Outcome::Cancelled : Outcome::IoError;
        cipher.xorInto(w.fields.data(), w.streamBytes(k)); // syndrome XOR payload = column to change
        if (cipher.failed()) return Outcome::SourceError;
        if (i == 0 && !run.report(1)) return Outcome::Cancelled;
        run.base += run.span;
        if (!emb.apply(carrier, w, fixed, [&](double f) { run.report(f); }, res.carrierTouched,
                       res.changedBytes, writer))
            return Outcome::IoError;
        fixed.clear();
    }
    return Outcome::Written;
}

} // namespace

HideResult Hide(const std::string &carrierPath, std::string_view password, Kind kind,
                const std::string &storedName, const HideSource &source, const Progress &progress,
                const Tuning &tuning, const ChunkWriter &writer) {
    HideResult res;
    if (password.empty() || password.size() > kMaxPasswordBytes) return res.outcome = Outcome::BadPassword, res;
    if (storedName.size() > kMaxNameBytes) return res.outcome = Outcome::NameTooLong, res;
    if (sodium_init() < 0) return res;
    platform::BinaryFile carrier;
    if (!carrier.open(carrierPath, platform::BinaryFile::Mode::ReadWrite)) return res;
    const Layout layout = ReadLayout(carrier);
    if (layout.problem != Unsuitable::None) {
        res.reason = layout.problem;
        return res.outcome = Outcome::CarrierUnsuitable, res;
    }
    res.usableBytes = layout.usable();
    res.largestPayload = format::LargestPlain(res.usableBytes);
    SourceReader reader(source);
    if (!reader.open()) return res.outcome = Outcome::SourceError, res;
    res.payloadBytes = storedName.size() + reader.size();
    const int k = format::ChooseK(res.usableBytes, res.payloadBytes);
    if (k == 0) return res.outcome = Outcome::TooSmall, res;
    res.hammingK = k;

    std::uint8_t salt[format::kSaltBytes];
    randombytes_buf(salt, sizeof salt);
    format::Keys keys;
    if (progress && !progress(0)) return res.outcome = Outcome::Cancelled, res;
    if (!format::DeriveKeys(password, salt, tuning, keys)) return res;
    if (progress && !progress(0.2)) return res.outcome = Outcome::Cancelled, res;

    format::Info info{k, kind, static_cast<std::uint16_t>(storedName.size()), reader.size()};
    CipherWriter cipher(keys.stream.data(), info, storedName,
                        [&](std::uint8_t *out, std::size_t n) { return reader.read(out, n); });
    const std::uint64_t blocks = format::Blocks(format::BodyBytes(res.payloadBytes), k);
    Embedder emb(layout, keys.order.data(), k, blocks);
    res.outcome = EmbedBody(carrier, emb, cipher, FixedBits(emb, salt, cipher.head().data()), k, blocks,
                            tuning.windowBytes, progress, writer, res);
    if (res.outcome == Outcome::Written && !carrier.close()) res.outcome = Outcome::IoError;
    return res;
}

} // namespace kalmira::stealth
