// Costs of content-adaptive embedding: what a +-1 change of one element costs
// in detectability, so that a syndrome-trellis coder picks the cheapest
// changes that carry the payload. Small in noisy texture, large in smooth
// areas, wet (kWet: never changed) where any change would stand out.
//
// Picture elements are pixels whose colour channels all move by the same +1 or
// -1 (colour differences stay intact); sound elements are single samples moved
// by one step of the recording's effective resolution.
//
// Stripes: a caller may work in stripes of rows (frames) with bounded memory.
// A stripe carries its output rows plus a halo above and below; at the
// picture's (recording's) ends the halo is mirrored with MirrorIndex. The cost
// of an element depends only on the picture, never on where stripes begin.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace kalmira::stealth {

inline constexpr float kWet = std::numeric_limits<float>::infinity();

// Index i of a sequence of `count` elements (rows, frames), mirrored about the
// first and last element when outside: -1 -> 1, count -> count - 2.
int MirrorIndex(int i, int count);

// ---- Pictures ---------------------------------------------------------------

// Rows a picture stripe carries above and below its output rows: 1 for the
// residual filter, 1 for its 3x3 mean, 7 for the 15x15 smoothing of costs.
inline constexpr int kPictureHalo = 9;

struct PictureStripe {
    // (rows + 2 * kPictureHalo) full rows of width * channels values,
    // channels interleaved; halo rows beyond the picture's edges mirrored.
    std::span<const std::int32_t> samples;
    // Empty, or one flag per output pixel (rows * width): non-zero = locked
    // (fully transparent), wet. Alpha itself is never passed in.
    std::span<const std::uint8_t> locked;
    int width = 0;
    int rows = 0;                // output rows
    int channels = 3;            // colour channels: 3, or 1 for grey pictures
    std::int32_t maxValue = 255; // 255 for 8-bit samples, 65535 for 16-bit
};

// Knobs of the picture cost; the format uses the defaults. The analysis tool
// varies them to compare designs.
struct PictureCostTuning {
    // Floor added to the local residual level (in 8-bit steps) before taking
    // its inverse: bounds the cost of a channel without texture.
    float floor = 0.01f;
    int smoothRadius = 7; // half-width of the cost smoothing, <= 7
    bool wetFlat = true;  // pixels whose 3x3 neighbourhood is flat are wet
};

// Cost of moving each output pixel (all channels together) by +-1: rows * width
// values. Wet: locked pixels, channels at 0 or maxValue in a saturated plateau
// (all eight neighbours equal), flat pixels (all eight neighbours equal in every
// channel), pixels holding both 0 and maxValue (no direction left).
void PictureCosts(const PictureStripe &stripe, std::span<float> costs, const PictureCostTuning &tuning = {});

// Cost of moving each channel value by +-1 on its own: rows * width * channels
// values, the same rules per channel. For comparing designs; the format moves
// whole pixels.
void ChannelCosts(const PictureStripe &stripe, std::span<float> costs, const PictureCostTuning &tuning = {});

// ---- Sound ------------------------------------------------------------------

// Frames a sound stripe carries before and after its output frames: 1 for the
// residual filter, 16 for its local mean, 64 for the smoothing of costs (the
// quiet test looks 64 frames either way).
inline constexpr int kSoundHalo = 81;

// The effective resolution: the number of trailing zero bits that all samples
// share (a 24-bit file made from 16-bit sound: 8). Fed in any order; a
// recording of nothing but zeros keeps resolution 0.
class StepProbe {
public:
    void add(std::span<const std::int32_t> samples) {
        for (std::int32_t s : samples) bits_ |= static_cast<std::uint32_t>(s);
    }
    // Bits of one step (the change is +-(1 << shift)), less than sampleBits.
    int shift(int sampleBits) const;

private:
    std::uint32_t bits_ = 0;
};

struct SoundStripe {
    // (frames + 2 * kSoundHalo) frames of `channels` signed samples (8-bit
    // sound centred: value - 128), halo beyond the recording's ends mirrored.
    std::span<const std::int32_t> samples;
    int frames = 0; // output frames
    int channels = 1;
    int sampleBits = 16; // 8, 16 or 24
    int shift = 0;       // StepProbe::shift
};

// Cost of changing each output sample by one step: frames * channels values.
// Wet: digital silence and near silence (no sample within 64 frames of the
// channel louder than kQuietSteps steps) and samples at the range's end next
// to an equal neighbour (clipped plateaus).
inline constexpr int kQuietSteps = 4;
void SoundCosts(const SoundStripe &stripe, std::span<float> costs);

// ---- JPEG origin -------------------------------------------------------------

// A picture that was once a JPEG still shows the 8x8 grid of its blocks:
// changes that break the grid's quantisation are then detectable whatever
// their cost. The meter sums, per phase of the grid (x mod 8, y mod 8), how
// strongly the third difference across a pixel boundary exceeds the usual;
// the verdict compares the strongest phase with the others, in both
// directions. Rows are fed in order, top-down or bottom-up.
struct JpegGridVerdict {
    bool jpeg = false;
    int phaseX = 0, phaseY = 0;    // boundary lies before column / row phase (mod 8)
    double ratioX = 1, ratioY = 1; // strongest phase / mean of the other seven
    double shareX = 0, shareY = 0; // of the blocks with any energy, those led by that phase
};

class JpegGridMeter {
public:
    // Ratio and share both directions must reach; chosen on photos kept
    // apart from the ones they were checked on (docs/steganalysis.md). The
    // share keeps out pictures whose few sharp edges happen to line up with
    // one phase (window screenshots): a JPEG's grid shows in most blocks.
    static constexpr double kThreshold = 1.15;
    static constexpr double kShareThreshold = 0.5;

    JpegGridMeter(int width, int channels, std::int32_t maxValue = 255);
    void addRow(std::span<const std::int32_t> row); // width * channels values
    JpegGridVerdict verdict() const;

private:
    int width_, channels_;
    std::int32_t clip_;
    long long rowsSeen_ = 0;
    double sumX_[8] = {}, sumY_[8] = {};
    long long countX_[8] = {}, countY_[8] = {};
    std::vector<std::int32_t> ring_;     // luma of the last four rows
    std::vector<double> columnX_, rowY_; // per boundary position, for the share
};

} // namespace kalmira::stealth
