// BMP and WAV carriers as elements, in place. Pixels are the three colour
// bytes of a 24- or 32-bit BMP (stored blue, green, red; handed out red,
// green, blue), rows top first whichever way the file stores them; sound
// elements are PCM samples, little-endian, 8-bit ones unsigned with an
// offset of 128.
#include "carrier/element_file.h"

#include "carrier/classify.h"
#include "carrier/whole_file.h"

#include "platform/binary_file.h"
#include "platform/journal.h"
#include "platform/secure_memory.h"

#include <algorithm>
#include <vector>

namespace kalmira::carrier {

namespace {

constexpr std::uint64_t kReadBytes = std::uint64_t{1} << 20; // file bytes per read at most (one row at least)
constexpr std::int64_t kSpan = std::int64_t{64} << 10;       // changes rewritten together
constexpr std::int64_t kGap = std::int64_t{4} << 10;         // unless this far apart

class LayoutElements final : public ElementCarrier {
public:
    LayoutElements(const Layout &layout, platform::CarrierJournal *journal, bool *journalFailed)
        : layout_(layout), journal_(journal), journalFailed_(journalFailed), sound_(layout.usablePerGroup == 1),
          unit_(sound_ ? layout.groupSize : 3) {
        const std::uint64_t c = std::max<std::uint32_t>(1, layout.frameSamples);
        shape_ = sound_ ? SoundShape(c, layout.rows / c, static_cast<int>(8 * layout.groupSize))
                        : PictureShape(layout.groups, layout.rows, 3, 8, false);
    }
    platform::BinaryFile &file() { return file_; }

    const ElementShape &shape() const override { return shape_; }

    bool read(std::uint64_t firstRow, std::uint64_t rowCount, std::span<std::int32_t> values,
              std::span<std::uint8_t> locked) override {
        if (firstRow > shape_.rows || rowCount > shape_.rows - firstRow ||
            values.size() < rowCount * shape_.rowValues())
            return false;
        std::fill(locked.begin(),
                  locked.begin() +
                      static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(locked.size(), rowCount * shape_.width)),
                  std::uint8_t{0});
        return sound_ ? readSamples(firstRow * shape_.width, rowCount * shape_.width, values.data())
                      : readPixels(firstRow, rowCount, values.data());
    }

    bool apply(std::span<const Change> changes) override;

    bool commit() override { return file_.flush(); }

private:
    std::int64_t offsetOf(std::uint64_t e) const {
        if (sound_) return static_cast<std::int64_t>(layout_.offset + e * layout_.groupSize);
        const std::uint64_t row = e / shape_.width, col = e % shape_.width;
        const std::uint64_t fileRow = layout_.topDown ? row : layout_.rows - 1 - row;
        return static_cast<std::int64_t>(layout_.offset + fileRow * layout_.rowStride + col * layout_.groupSize);
    }

    std::int32_t sample(const std::uint8_t *p) const {
        switch (layout_.groupSize) {
        case 1: return std::int32_t{p[0]} - 128;
        case 2: return static_cast<std::int16_t>(p[0] | p[1] << 8);
        default: return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0] << 8 | p[1] << 16 | p[2] << 24)) >> 8;
        }
    }
    void store(std::int32_t v, std::uint8_t *p) const {
        if (layout_.groupSize == 1) {
            p[0] = static_cast<std::uint8_t>(v + 128);
            return;
        }
        for (std::uint32_t i = 0; i < layout_.groupSize; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }

    bool readSamples(std::uint64_t first, std::uint64_t count, std::int32_t *out) {
        const std::uint64_t per = kReadBytes / layout_.groupSize;
        for (std::uint64_t done = 0; done < count;) {
            const std::uint64_t n = std::min(per, count - done);
            buf_.resize(static_cast<std::size_t>(n * layout_.groupSize));
            if (!file_.readAt(offsetOf(first + done), buf_.data(), buf_.size())) return false;
            for (std::uint64_t i = 0; i < n; ++i) *out++ = sample(buf_.data() + i * layout_.groupSize);
            done += n;
        }
        return true;
    }

    // Rows top first; a bottom-up file holds a band of them backwards.
    bool readPixels(std::uint64_t firstRow, std::uint64_t rowCount, std::int32_t *out) {
        const std::uint64_t per = std::max<std::uint64_t>(1, kReadBytes / layout_.rowStride);
        for (std::uint64_t r = firstRow; r < firstRow + rowCount;) {
            const std::uint64_t n = std::min(per, firstRow + rowCount - r);
            const std::uint64_t fileFirst = layout_.topDown ? r : layout_.rows - r - n;
            buf_.resize(static_cast<std::size_t>((n - 1) * layout_.rowStride + layout_.rowBytes()));
            if (!file_.readAt(static_cast<std::int64_t>(layout_.offset + fileFirst * layout_.rowStride), buf_.data(),
                              buf_.size()))
                return false;
            for (std::uint64_t i = 0; i < n; ++i) {
                const std::uint8_t *p = buf_.data() + (layout_.topDown ? i : n - 1 - i) * layout_.rowStride;
                for (std::uint64_t x = 0; x < layout_.groups; ++x, p += layout_.groupSize) {
                    *out++ = p[2];
                    *out++ = p[1];
                    *out++ = p[0];
                }
            }
            r += n;
        }
        return true;
    }

    // The bytes of one change as they are to become; false when a value
    // would leave its range.
    bool changed(const std::uint8_t *was, std::int32_t delta, std::uint8_t *now) const {
        if (sound_) {
            const std::int64_t v = std::int64_t{sample(was)} + delta;
            if (v < shape_.minValue || v > shape_.maxValue) return false;
            store(static_cast<std::int32_t>(v), now);
            return true;
        }
        for (int c = 0; c < 3; ++c) {
            const int v = was[c] + delta;
            if (v < 0 || v > 255) return false;
            now[c] = static_cast<std::uint8_t>(v);
        }
        return true;
    }

    // Calls fn(lo, first, end) for runs of the sorted changes close enough
    // to be read and rewritten as one span of the file.
    template <class Fn>
    bool spans(Fn &&fn) const {
        for (std::size_t i = 0; i < batch_.size();) {
            const std::int64_t lo = batch_[i].offset;
            std::size_t j = i + 1;
            while (j < batch_.size() && batch_[j].offset + unit_ - lo <= kSpan &&
                   batch_[j].offset - batch_[j - 1].offset <= kGap)
                ++j;
            if (!fn(lo, i, j)) return false;
            i = j;
        }
        return true;
    }

    bool journal() {
        if (!journal_) return true;
        if (!journal_->active() && journal_->begin() != platform::JournalError::None) return failJournal();
        return journal_->append(batch_) == platform::JournalError::None || failJournal();
    }
    bool failJournal() {
        if (journalFailed_) *journalFailed_ = true;
        return false;
    }
    void wipe() {
        platform::SecureWipe(batch_.data(), batch_.size() * sizeof batch_[0]);
        batch_.clear();
    }

    Layout layout_;
    platform::CarrierJournal *journal_;
    bool *journalFailed_;
    bool sound_;
    std::int64_t unit_; // file bytes of one element
    ElementShape shape_;
    platform::BinaryFile file_;
    std::vector<std::uint8_t> buf_;
    std::vector<platform::ByteChange> batch_;
    std::vector<std::int32_t> deltas_;
};

// Old bytes first (they go into the journal), then the same spans again,
// changed and written: one window's changes need no more memory than their
// own list and one span.
bool LayoutElements::apply(std::span<const Change> changes) {
    batch_.resize(changes.size());
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (changes[i].element >= shape_.elements()) return false;
        batch_[i].offset = offsetOf(changes[i].element);
        batch_[i].length = static_cast<std::uint8_t>(unit_);
        // The delta waits in the `after` bytes until the old bytes are known.
        std::copy_n(reinterpret_cast<const std::uint8_t *>(&changes[i].delta), 4, batch_[i].after.begin());
    }
    std::sort(batch_.begin(), batch_.end(),
              [](const platform::ByteChange &a, const platform::ByteChange &b) { return a.offset < b.offset; });
    const bool known = spans([&](std::int64_t lo, std::size_t i, std::size_t j) {
        buf_.resize(static_cast<std::size_t>(batch_[j - 1].offset + unit_ - lo));
        if (!file_.readAt(lo, buf_.data(), buf_.size())) return false;
        for (; i < j; ++i) {
            platform::ByteChange &c = batch_[i];
            std::int32_t delta;
            std::copy_n(c.after.begin(), 4, reinterpret_cast<std::uint8_t *>(&delta));
            std::copy_n(buf_.data() + (c.offset - lo), unit_, c.before.begin());
            if (!changed(c.before.data(), delta, c.after.data())) return false;
        }
        return true;
    });
    const bool ok = known && journal() && spans([&](std::int64_t lo, std::size_t i, std::size_t j) {
                        buf_.resize(static_cast<std::size_t>(batch_[j - 1].offset + unit_ - lo));
                        if (!file_.readAt(lo, buf_.data(), buf_.size())) return false;
                        for (; i < j; ++i)
                            std::copy_n(batch_[i].after.begin(), unit_, buf_.data() + (batch_[i].offset - lo));
                        return file_.writeAt(lo, buf_.data(), buf_.size());
                    });
    wipe();
    return ok;
}

} // namespace

ElementFile OpenElementFile(const std::string &path, ElementAccess mode, platform::CarrierJournal *journal,
                            bool *journalFailed) {
    ElementFile out;
    platform::BinaryFile probe;
    if (!probe.open(path, platform::BinaryFile::Mode::Read)) return out;
    std::uint8_t head[8] = {};
    const bool headRead = probe.size() >= 8 && probe.readAt(0, head, sizeof head);
    if (headRead && (IsPngStart(head, 8) || IsFlacStart(head, 8)))
        return OpenWholeFileElements(path, IsPngStart(head, 8), mode);
    const Layout layout = ReadLayout(probe);
    if (layout.problem != Unsuitable::None) {
        out.outcome = probe.size() < 0 ? ElementFile::Outcome::IoError : ElementFile::Outcome::Unsuitable;
        out.reason = layout.problem;
        return out;
    }
    auto elements = std::make_unique<LayoutElements>(layout, journal, journalFailed);
    const auto how =
        mode == ElementAccess::Write ? platform::BinaryFile::Mode::ReadWrite : platform::BinaryFile::Mode::Read;
    if (!elements->file().open(path, how)) return out;
    out.outcome = ElementFile::Outcome::Ready;
    out.elements = std::move(elements);
    return out;
}

} // namespace kalmira::carrier
