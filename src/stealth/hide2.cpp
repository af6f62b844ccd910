// Hiding in version 2: survey the carrier (shift, costs, capacity), derive
// the key, then window by window code the salt, head and body blocks into
// changes and hand them to the writer. Nothing is written before window 0's
// changes are complete, so a cancel or a failure up to then leaves no trace.
#include "platform/binary_file.h"
#include "stealth/cipher.h"
#include "stealth/coder2.h"
#include "stealth/format2.h"
#include "stealth/orders2.h"
#include "stealth/parallel2.h"
#include "stealth/stealth2.h"
#include "stealth/survey2.h"

#include <sodium.h>

#include <algorithm>
#include <cmath>

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
    void rewind() { pos_ = 0; }
    bool read(std::uint8_t *out, std::size_t n) {
        if (pos_ + n > size_) return false;
        if (src_.path.empty())
            std::copy_n(src_.bytes.data() + pos_, n, out);
        else if (!file_.readAt(static_cast<std::int64_t>(pos_), out, n))
            return false;
        pos_ += n;
        return true;
    }

private:
    const HideSource &src_;
    platform::BinaryFile file_;
    std::uint64_t size_ = 0, pos_ = 0;
};

constexpr std::size_t kAhead = 16; // elements gathered ahead

// Embeds code blocks; one per thread, reusing its memory.
class BlockEmbedder {
public:
    // Marks (kRise / kFall) the changes that make the elements at `local`
    // carry `message`; false when the coder finds no change set (or the block
    // is invalid). Blocks share no element, so they may run side by side.
    // With `lambda` > 0 the block first takes random changes as the body's
    // changes fall (each element with the probability the body's costs give
    // it), and the coder only corrects those: so a block of a few fixed bits
    // (salt, head) changes at the body's rate, not at a rate of its own.
    bool embed(std::span<const std::uint64_t> local, std::span<const std::uint8_t> message, int h, WindowState &w,
               double lambda = 0) {
        if (message.empty()) return true; // carries nothing, changes nothing
        const std::size_t n = local.size();
        const auto code = coder::Code::Make(n, message.size(), h);
        if (!code) return false;
        flags_.resize(n);
        costs_.resize(n);
        stego_.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            if (i + kAhead < n) { // the window's arrays are read at random: fetch ahead
                __builtin_prefetch(&w.flags[local[i + kAhead]]);
                __builtin_prefetch(&w.costs[local[i + kAhead]]);
            }
            flags_[i] = w.flags[local[i]]; // the coder looks at the lowest bit only: the parity
            costs_[i] = w.costs[local[i]];
        }
        prior_.assign(n, 0);
        if (lambda > 0) DrawPrior(lambda);
        for (std::size_t i = 0; i < n; ++i) flags_[i] ^= prior_[i];
        if (coder_.embed(*code, flags_, costs_, message, stego_).status != coder::Status::Ok) return false;
        coin_.resize(n / 8 + 1);
        randombytes_buf(coin_.data(), coin_.size());
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t f = flags_[i] ^ prior_[i]; // the element as it is
            if (stego_[i] == (f & kParity)) continue;
            const bool rise = (f & kMayFall) == 0 || ((f & kMayRise) && ((coin_[i / 8] >> (i % 8)) & 1));
            w.flags[local[i]] = f | (rise ? kRise : kFall);
        }
        return true;
    }
    std::vector<std::uint64_t> positions; // scratch for body blocks

private:
    // Flips of the parity with the probability of a change at `lambda`
    // (the payload-limited sender's distribution); never a wet element.
    void DrawPrior(double lambda) {
        std::vector<std::uint32_t> u(flags_.size());
        randombytes_buf(u.data(), u.size() * sizeof u[0]);
        for (std::size_t i = 0; i < flags_.size(); ++i) {
            if (!std::isfinite(costs_[i])) continue;
            const double p = 1 / (1 + std::exp(lambda * costs_[i]));
            prior_[i] = u[i] < p * 4294967296.0 ? kParity : 0;
        }
    }

    coder::Embedder coder_;
    std::vector<std::uint8_t> flags_, stego_, coin_, prior_;
    std::vector<float> costs_;
};

double Entropy2(double p) { return p <= 0 || p >= 1 ? 0 : -(p * std::log2(p) + (1 - p) * std::log2(1 - p)); }

// The lambda at which changing each element of window 0 with probability
// 1 / (1 + e^(lambda * cost)) carries `bits` over `elements` elements: the
// body's rate, estimated on an even sample of the window.
double MatchingLambda(const WindowState &w, double bits, double elements) {
    const std::size_t n = w.costs.size(), stride = std::max<std::size_t>(1, n / 65536);
    std::vector<float> sample;
    for (std::size_t i = 0; i < n; i += stride)
        if (std::isfinite(w.costs[i])) sample.push_back(w.costs[i]);
    const double target = bits * (double(n) / double(stride)) / elements;
    if (sample.empty() || target <= 0) return 0;
    const auto carried = [&](double lambda) {
        double sum = 0;
        for (float c : sample) sum += Entropy2(1 / (1 + std::exp(lambda * c)));
        return sum;
    };
    double lo = 1e-9, hi = 1e9; // carried() falls as lambda grows
    if (carried(lo) <= target) return lo;
    for (int i = 0; i < 100 && hi / lo > 1.0001; ++i) {
        const double mid = std::sqrt(lo * hi);
        (carried(mid) > target ? lo : hi) = mid;
    }
    return std::sqrt(lo * hi);
}

// Bits of a byte string, lowest bit of each byte first.
std::vector<std::uint8_t> Bits(const std::uint8_t *bytes, std::size_t n) {
    std::vector<std::uint8_t> bits(8 * n);
    for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = (bytes[i / 8] >> (i % 8)) & 1;
    return bits;
}

// What window 0 carries besides the body.
struct Fixed {
    std::vector<std::uint64_t> salt;
    std::vector<std::uint8_t> saltBits, headBits;
    double lambda = 0; // the body's rate, for the salt and head blocks
};

// Two neighbouring pixels moved the same way keep the difference between
// them, and differences are what detectors look at: a change takes the
// direction most of its changed neighbours took (first those to the left
// and above, then all eight), and keeps its coin only where they are even.
// Pixels only; `contiguous` when the window's stripes follow each other in
// the picture. A window's last stripe may be short.
void AlignDirections(std::uint64_t width, std::uint64_t stripeElements, bool contiguous, WindowState &w) {
    const auto direction = [&](std::uint64_t l) {
        const std::uint8_t f = w.flags[l];
        return (f & kRise) ? 1 : (f & kFall) ? -1 : 0;
    };
    const std::uint64_t n = w.flags.size();
    for (int pass = 0; pass < 2; ++pass)
        for (std::uint64_t l = 0; l < n; ++l) {
            const std::uint8_t f = w.flags[l];
            if ((f & (kRise | kFall)) == 0 || (f & (kMayRise | kMayFall)) != (kMayRise | kMayFall)) continue;
            const std::uint64_t x = l % width, inStripe = l % stripeElements;
            const bool above = contiguous ? l >= width : inStripe >= width;
            const bool below = l + width < n && (contiguous || inStripe + width < stripeElements);
            int vote = 0;
            if (x > 0) vote += direction(l - 1);
            if (pass > 0 && x + 1 < width) vote += direction(l + 1);
            if (above) {
                vote += direction(l - width);
                if (x > 0) vote += direction(l - width - 1);
                if (x + 1 < width) vote += direction(l - width + 1);
            }
            if (pass > 0 && below) {
                vote += direction(l + width);
                if (x > 0) vote += direction(l + width - 1);
                if (x + 1 < width) vote += direction(l + width + 1);
            }
            if (vote != 0) w.flags[l] = static_cast<std::uint8_t>((f & ~(kRise | kFall)) | (vote > 0 ? kRise : kFall));
        }
}

struct Coding {
    const format2::Geometry &g;
    const format2::Keys &keys;
    const format2::BodyPlan &plan;
    int height;
    int shift;
    bool sound;
    int channels;
    unsigned threads;
};

// The changes of window j, sorted by element. False when a block is infeasible.
bool CodeWindow(const Coding &c, std::uint64_t j, WindowState &w, const std::vector<std::uint8_t> &bits,
                const Fixed *fixed, std::vector<Change> &changes) {
    const BodyOrder order(c.g, c.keys, j);
    const std::size_t extra = fixed ? 2 : 0, blocks = static_cast<std::size_t>(c.plan.blocks(j));
    std::vector<BlockEmbedder> embedders(WorkerThreads(c.threads));
    const bool ok =
        ParallelFor(extra + blocks, static_cast<unsigned>(embedders.size()), [&](std::size_t item, unsigned slot) {
            BlockEmbedder &e = embedders[slot];
            if (item == 0 && fixed)
                return e.embed(fixed->salt, fixed->saltBits, format2::kHeadHeight, w, fixed->lambda);
            if (item == 1 && fixed)
                return e.embed(order.head(), fixed->headBits, format2::kHeadHeight, w, fixed->lambda);
            const std::uint64_t i = item - extra;
            const format2::BodyBlock b = c.plan.block(j, i);
            e.positions.resize(static_cast<std::size_t>(b.length));
            order.positions(b.first, e.positions.size(), e.positions.data());
            return e.embed(e.positions, {bits.data() + b.firstBit, static_cast<std::size_t>(b.bits)}, c.height, w);
        });
    if (!ok) return false;
    if (!c.sound) AlignDirections(c.g.stripeElements() / c.g.stripeRows(), c.g.stripeElements(), c.g.windows() == 1, w);
    // Local order is element order: one pass gives the sorted list.
    const std::int32_t step = c.sound ? std::int32_t{1} << c.shift : 1;
    const auto marked = [](std::uint8_t f) { return (f & (kRise | kFall)) != 0; };
    changes.clear();
    changes.reserve(static_cast<std::size_t>(std::count_if(w.flags.begin(), w.flags.end(), marked)));
    for (std::size_t l = 0; l < w.flags.size(); ++l)
        if (marked(w.flags[l])) changes.push_back({c.g.element(j, l), w.flags[l] & kRise ? step : -step});
    return true;
}

struct Run {
    const Progress &progress;
    bool report(double f) const { return !progress || progress(f); }
    std::function<bool(double)> span(double from, double to, bool mayCancel) const {
        return [this, from, to, mayCancel](double f) { return report(from + (to - from) * f) || !mayCancel; };
    }
};

// Window by window: costs (window 0's from the survey), code, write.
Outcome EmbedWindows(Survey &survey, ElementWriter &writer, const Coding &c, StreamWriter &stream, const Fixed &fixed,
                     const Run &run, Hide2Result &res) {
    const std::uint64_t windows = c.g.windows();
    std::vector<std::uint8_t> bits;
    for (std::uint64_t j = 0; j < windows; ++j) {
        const double from = 0.3 + 0.7 * double(j) / double(windows), to = 0.3 + 0.7 * double(j + 1) / double(windows);
        WindowState &w = survey.window0(); // the window being worked on
        if (j > 0 && !survey.scanner().scan(j, w, run.span(from, to, false))) return Outcome::IoError;
        bits.resize(static_cast<std::size_t>(c.plan.windowBits(j)));
        stream.bits(bits.data(), bits.size());
        if (stream.failed()) return Outcome::SourceError;
        std::vector<Change> changes;
        if (!CodeWindow(c, j, w, bits, j == 0 ? &fixed : nullptr, changes)) {
            res.infeasible = true;
            return j == 0 ? Outcome::TooSmall : Outcome::IoError;
        }
        if (j == 0 && !run.report(from)) return Outcome::Cancelled; // the last chance: nothing written yet
        res.carrierTouched = true;
        if (!writer.apply(changes)) return Outcome::IoError;
        res.changedElements += changes.size();
        res.changedBytes += changes.size() * static_cast<std::uint64_t>(c.channels); // values moved
        run.report(to);
    }
    return writer.commit() ? Outcome::Written : Outcome::IoError;
}

Outcome FromSurvey(Survey::Status s, Hide2Result &res) {
    res.formatTooSmall = s == Survey::Status::FormatTooSmall;
    switch (s) {
    case Survey::Status::Ok: return Outcome::Written;
    case Survey::Status::Cancelled: return Outcome::Cancelled;
    case Survey::Status::ReadError: return Outcome::IoError;
    default: return Outcome::CarrierUnsuitable;
    }
}

// Salt, keys and every window, once.
Outcome Attempt(Survey &survey, ElementWriter &writer, const ElementShape &shape, std::string_view password,
                const format2::Info &info, const std::string &storedName, SourceReader &data, const Tuning2 &tuning,
                const Run &run, Hide2Result &res) {
    std::uint8_t salt[format::kSaltBytes];
    randombytes_buf(salt, sizeof salt);
    format2::Keys keys;
    if (!run.report(0.2)) return Outcome::Cancelled;
    if (!format2::DeriveKeys(password, salt, tuning, keys)) return Outcome::IoError;
    if (!run.report(0.3)) return Outcome::Cancelled;
    StreamWriter stream(keys.stream.data(), format2::EncodeInfo(info), storedName, data.size(),
                        [&](std::uint8_t *out, std::size_t n) { return data.read(out, n); });
    const format2::Geometry &g = survey.geometry();
    const format2::BodyPlan plan(g, info.bodyBits());
    const Fixed fixed{SaltSequence(g), Bits(salt, sizeof salt), Bits(stream.head().data(), stream.head().size()),
                      MatchingLambda(survey.window0(), double(plan.windowBits(0)), double(g.bodySize(0)))};
    const Coding coding{
        g, keys, plan, info.height, survey.shift().t, shape.medium == Medium::Sound, shape.channels, tuning.threads};
    return EmbedWindows(survey, writer, coding, stream, fixed, run, res);
}

} // namespace

Hide2Result Hide2(ElementReader &reader, ElementWriter &writer, std::string_view password, Kind kind,
                  const std::string &storedName, const HideSource &source, const CostModel &costs,
                  const Progress &progress, const Tuning2 &tuning) {
    Hide2Result res;
    if (password.empty() || password.size() > kMaxPasswordBytes) return res.outcome = Outcome::BadPassword, res;
    if (storedName.size() > kMaxNameBytes) return res.outcome = Outcome::NameTooLong, res;
    if (sodium_init() < 0) return res;
    const Run run{progress};
    const ElementShape &shape = reader.shape();
    res.usableBytes = shape.elements() * static_cast<std::uint64_t>(shape.channels);
    Survey survey(reader, &costs, tuning);
    if (const auto s = survey.prepare(run.span(0, 0.05, true)); s != Survey::Status::Ok) {
        res.elements = shape.elements();
        return res.outcome = FromSurvey(s, res), res;
    }
    SourceReader data(source);
    if (!data.open()) return res.outcome = Outcome::SourceError, res;
    res.payloadBytes = storedName.size() + data.size();
    if (const auto s = survey.count(run.span(0.05, 0.2, true)); s != Survey::Status::Ok)
        return res.outcome = FromSurvey(s, res), res;
    FillFacts(survey, res);
    res.largestPayload = survey.largestPlain();
    if (res.payloadBytes > res.largestPayload || data.size() > (std::uint64_t{1} << 60))
        return res.outcome = Outcome::TooSmall, res;

    const int height = tuning.bodyHeight >= coder::kMinHeight && tuning.bodyHeight <= coder::kMaxHeight
                           ? tuning.bodyHeight
                           : coder::kDefaultHeight;
    const format2::Info info{height, kind, static_cast<std::uint16_t>(storedName.size()), data.size()};
    res.bodyHeight = info.height;
    // Whether the coder solves every block depends on the keyed order: near
    // the largest payload a fresh salt usually gets through. Nothing is
    // written before window 0 is coded, so another try leaves no trace.
    for (int attempt = 0;; ++attempt) {
        res.outcome = Attempt(survey, writer, shape, password, info, storedName, data, tuning, run, res);
        if (res.outcome != Outcome::TooSmall || !res.infeasible || attempt == 2) break;
        for (std::uint8_t &f : survey.window0().flags) f &= static_cast<std::uint8_t>(~(kRise | kFall));
        data.rewind();
        res.infeasible = false;
    }
    if (res.outcome == Outcome::Written) res.carrierTouched = false;
    return res;
}

} // namespace kalmira::stealth
