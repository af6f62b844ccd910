// The JPEG grid meter. Decoding quantises each 8x8 block on its own, so the
// step across a block boundary is less predictable from its neighbours than
// the step inside a block. The third difference across a boundary,
// |p[-2] - 3 p[-1] + 3 p[0] - p[1]|, measures that surprise; clipped, so that
// strong edges (random with respect to the grid) do not drown it, and summed
// per phase of the grid.
#include "stealth/costs.h"

#include <algorithm>
#include <cstdlib>

namespace kalmira::stealth {

namespace {

std::int32_t Third(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    return std::abs(a - 3 * b + 3 * c - d);
}

// Strongest phase and its mean over the mean of the other seven.
void Strongest(const double (&sum)[8], const long long (&count)[8], int &phase, double &ratio) {
    double mean[8];
    for (int i = 0; i < 8; ++i) mean[i] = count[i] ? sum[i] / count[i] : 0;
    phase = static_cast<int>(std::max_element(mean, mean + 8) - mean);
    double others = 0;
    for (int i = 0; i < 8; ++i)
        if (i != phase) others += mean[i];
    others /= 7;
    ratio = others > 0 ? mean[phase] / others : 1;
}

// Of the runs of eight positions starting after `phase` that hold any energy,
// the share whose boundary position holds the most.
double Share(const std::vector<double> &at, int phase) {
    long long led = 0, runs = 0;
    for (std::size_t b = static_cast<std::size_t>(phase); b + 8 <= at.size(); b += 8) {
        const double best = *std::max_element(at.begin() + static_cast<std::ptrdiff_t>(b),
                                              at.begin() + static_cast<std::ptrdiff_t>(b + 8));
        if (best <= 0) continue;
        ++runs;
        led += at[b] == best;
    }
    return runs ? double(led) / double(runs) : 0;
}

} // namespace

JpegGridMeter::JpegGridMeter(int width, int channels, std::int32_t maxValue)
    : width_(width), channels_(channels), clip_(std::max(1, 4 * 12 * (maxValue + 1) / 256)),
      ring_(static_cast<std::size_t>(4) * std::max(width, 0)), columnX_(static_cast<std::size_t>(std::max(width, 0))) {}

void JpegGridMeter::addRow(std::span<const std::int32_t> row) {
    const int w = width_, C = channels_;
    std::int32_t *luma = ring_.data() + static_cast<std::size_t>(rowsSeen_ % 4) * w;
    for (int x = 0; x < w; ++x) {
        const std::int32_t *p = row.data() + static_cast<std::size_t>(x) * C;
        luma[x] = C >= 3 ? p[0] + 2 * p[1] + p[2] : 4 * p[0];
    }
    for (int x = 2; x + 1 < w; ++x) {
        const std::int32_t t = std::min(clip_, Third(luma[x - 2], luma[x - 1], luma[x], luma[x + 1]));
        sumX_[x % 8] += t;
        columnX_[static_cast<std::size_t>(x)] += t;
        ++countX_[x % 8];
    }
    ++rowsSeen_;
    if (rowsSeen_ < 4) return;
    // Rows k-3 .. k; the boundary lies between rows k-2 and k-1.
    const long long k = rowsSeen_ - 1;
    const std::int32_t *r0 = ring_.data() + static_cast<std::size_t>((k - 3) % 4) * w;
    const std::int32_t *r1 = ring_.data() + static_cast<std::size_t>((k - 2) % 4) * w;
    const std::int32_t *r2 = ring_.data() + static_cast<std::size_t>((k - 1) % 4) * w;
    const int phase = static_cast<int>((k - 1) % 8);
    double rowSum = 0;
    for (int x = 0; x < w; ++x) rowSum += std::min(clip_, Third(r0[x], r1[x], r2[x], luma[x]));
    sumY_[phase] += rowSum;
    countY_[phase] += w;
    if (rowY_.size() < static_cast<std::size_t>(k - 1)) rowY_.resize(static_cast<std::size_t>(k - 1)); // boundary k-1
    rowY_.push_back(rowSum);
}

JpegGridVerdict JpegGridMeter::verdict() const {
    JpegGridVerdict v;
    Strongest(sumX_, countX_, v.phaseX, v.ratioX);
    Strongest(sumY_, countY_, v.phaseY, v.ratioY);
    v.shareX = Share(columnX_, v.phaseX);
    v.shareY = Share(rowY_, v.phaseY);
    // Too small a picture says nothing either way.
    const bool enough = width_ >= 32 && rowsSeen_ >= 32;
    v.jpeg = enough && std::min(v.ratioX, v.ratioY) >= kThreshold && std::min(v.shareX, v.shareY) >= kShareThreshold;
    return v;
}

} // namespace kalmira::stealth
