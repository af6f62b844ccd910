// Picture costs in the manner of HILL (Li, Wang, Huang, Ni 2014): the local
// level of a high-pass residual (3x3 KB filter, then a 3x3 mean of its
// magnitude), inverted, then smoothed over 15x15 so that changes cluster in
// textured regions. A pixel moves in all channels, so its cost is the sum of
// the channels' costs: a channel that is smooth where the others are busy
// still shows the change.
#include "stealth/costs.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <vector>

namespace kalmira::stealth {

int MirrorIndex(int i, int count) {
    if (count <= 1) return 0;
    const int period = 2 * (count - 1);
    i %= period;
    if (i < 0) i += period;
    return i < count ? i : period - i;
}

namespace {

struct Geometry {
    int width, rows, channels, inRows;
    std::int32_t maxValue;
    const std::int32_t *at(const PictureStripe &s, int r, int x) const {
        return s.samples.data() + (static_cast<std::size_t>(r) * width + x) * channels;
    }
};

Geometry Check(const PictureStripe &s, std::size_t outputs, std::size_t costsSize) {
    Geometry g{s.width, s.rows, s.channels, s.rows + 2 * kPictureHalo, s.maxValue};
    assert(g.width > 0 && g.rows > 0 && (g.channels == 1 || g.channels == 3));
    assert(s.samples.size() == static_cast<std::size_t>(g.inRows) * g.width * g.channels);
    assert(s.locked.empty() || s.locked.size() == static_cast<std::size_t>(g.rows) * g.width);
    assert(costsSize == outputs);
    (void)outputs;
    (void)costsSize;
    return g;
}

// Columns x-1, x, x+1 mirrored, for one row.
struct Neighbours {
    std::vector<int> left, right;
    explicit Neighbours(int w) : left(w), right(w) {
        for (int x = 0; x < w; ++x) {
            left[x] = MirrorIndex(x - 1, w);
            right[x] = MirrorIndex(x + 1, w);
        }
    }
};

// |KB residual| of channel c on input rows 1 .. inRows-2 (others left zero).
void AbsResidual(const PictureStripe &s, const Geometry &g, const Neighbours &n, int c,
                 std::vector<std::int32_t> &out) {
    out.assign(static_cast<std::size_t>(g.inRows) * g.width, 0);
    const int C = g.channels;
    for (int r = 1; r < g.inRows - 1; ++r) {
        const std::int32_t *up = g.at(s, r - 1, 0) + c, *mid = g.at(s, r, 0) + c, *down = g.at(s, r + 1, 0) + c;
        std::int32_t *o = out.data() + static_cast<std::size_t>(r) * g.width;
        for (int x = 0; x < g.width; ++x) {
            const int l = n.left[x] * C, m = x * C, rt = n.right[x] * C;
            const std::int32_t v =
                -up[l] + 2 * up[m] - up[rt] + 2 * mid[l] - 4 * mid[m] + 2 * mid[rt] - down[l] + 2 * down[m] - down[rt];
            o[x] = std::abs(v);
        }
    }
}

// Adds 1 / (3x3 mean of |residual| in 8-bit steps + floor) on rows 2 .. inRows-3.
void AddInverseLevel(const std::vector<std::int32_t> &absR, const Geometry &g, const Neighbours &n, float floor,
                     std::vector<double> &inv, std::vector<std::int32_t> &rowSums) {
    const double scale = 255.0 / g.maxValue / 9.0;
    rowSums.assign(absR.size(), 0);
    for (int r = 1; r < g.inRows - 1; ++r) {
        const std::int32_t *a = absR.data() + static_cast<std::size_t>(r) * g.width;
        std::int32_t *o = rowSums.data() + static_cast<std::size_t>(r) * g.width;
        for (int x = 0; x < g.width; ++x) o[x] = a[n.left[x]] + a[x] + a[n.right[x]];
    }
    for (int r = 2; r < g.inRows - 2; ++r) {
        const std::int32_t *u = rowSums.data() + static_cast<std::size_t>(r - 1) * g.width;
        const std::int32_t *m = u + g.width, *d = m + g.width;
        double *o = inv.data() + static_cast<std::size_t>(r) * g.width;
        for (int x = 0; x < g.width; ++x) o[x] += 1.0 / ((u[x] + m[x] + d[x]) * scale + floor);
    }
}

// Box mean of radius `rad` of `inv` at the output rows, into `out` with the
// given stride (so channel maps interleave). Per-row prefix sums always start
// at column 0, so results do not depend on the stripe.
void Smooth(const std::vector<double> &inv, const Geometry &g, int rad, float *out, int stride) {
    const int w = g.width;
    std::vector<double> horiz(static_cast<std::size_t>(g.inRows) * w), prefix(w + 2 * rad + 1);
    for (int r = kPictureHalo - rad; r < kPictureHalo + g.rows + rad; ++r) {
        const double *v = inv.data() + static_cast<std::size_t>(r) * w;
        prefix[0] = 0;
        for (int i = 0; i < w + 2 * rad; ++i) prefix[i + 1] = prefix[i] + v[MirrorIndex(i - rad, w)];
        double *h = horiz.data() + static_cast<std::size_t>(r) * w;
        for (int x = 0; x < w; ++x) h[x] = prefix[x + 2 * rad + 1] - prefix[x];
    }
    const double norm = 1.0 / ((2 * rad + 1) * (2 * rad + 1));
    std::vector<double> acc(w);
    for (int y = 0; y < g.rows; ++y) {
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int r = kPictureHalo + y - rad; r <= kPictureHalo + y + rad; ++r) {
            const double *h = horiz.data() + static_cast<std::size_t>(r) * w;
            for (int x = 0; x < w; ++x) acc[x] += h[x];
        }
        float *o = out + static_cast<std::size_t>(y) * w * stride;
        for (int x = 0; x < w; ++x) o[static_cast<std::size_t>(x) * stride] = static_cast<float>(acc[x] * norm);
    }
}

// Whether channel c of the output pixel (y, x) has all eight neighbours equal to it.
bool FlatChannel(const PictureStripe &s, const Geometry &g, const Neighbours &n, int y, int x, int c) {
    const int r = kPictureHalo + y, C = g.channels;
    const std::int32_t v = g.at(s, r, x)[c];
    for (int dr = -1; dr <= 1; ++dr) {
        const std::int32_t *row = g.at(s, r + dr, 0) + c;
        if (row[n.left[x] * C] != v || row[x * C] != v || row[n.right[x] * C] != v) return false;
    }
    return true;
}

// Wet rules for one channel: saturated plateau, or (when asked) flat.
bool WetChannel(const PictureStripe &s, const Geometry &g, const Neighbours &n, int y, int x, int c, bool wetFlat) {
    const std::int32_t v = g.at(s, kPictureHalo + y, x)[c];
    const bool atEnd = v <= 0 || v >= g.maxValue;
    return (atEnd || wetFlat) && FlatChannel(s, g, n, y, x, c);
}

bool Locked(const PictureStripe &s, const Geometry &g, int y, int x) {
    return !s.locked.empty() && s.locked[static_cast<std::size_t>(y) * g.width + x] != 0;
}

bool WetPixel(const PictureStripe &s, const Geometry &g, const Neighbours &n, int y, int x, bool wetFlat) {
    if (Locked(s, g, y, x)) return true;
    const std::int32_t *p = g.at(s, kPictureHalo + y, x);
    bool low = false, high = false, allFlat = true;
    for (int c = 0; c < g.channels; ++c) {
        low |= p[c] <= 0;
        high |= p[c] >= g.maxValue;
        if (WetChannel(s, g, n, y, x, c, false)) return true;
        if (allFlat) allFlat = FlatChannel(s, g, n, y, x, c);
    }
    return (low && high) || (wetFlat && allFlat);
}

} // namespace

void PictureCosts(const PictureStripe &s, std::span<float> costs, const PictureCostTuning &t) {
    const Geometry g = Check(s, static_cast<std::size_t>(s.rows) * s.width, costs.size());
    const Neighbours n(g.width);
    std::vector<std::int32_t> absR, tmp;
    std::vector<double> inv(static_cast<std::size_t>(g.inRows) * g.width, 0.0);
    for (int c = 0; c < g.channels; ++c) {
        AbsResidual(s, g, n, c, absR);
        AddInverseLevel(absR, g, n, t.floor, inv, tmp);
    }
    Smooth(inv, g, std::clamp(t.smoothRadius, 0, 7), costs.data(), 1);
    for (int y = 0; y < g.rows; ++y)
        for (int x = 0; x < g.width; ++x)
            if (WetPixel(s, g, n, y, x, t.wetFlat)) costs[static_cast<std::size_t>(y) * g.width + x] = kWet;
}

void ChannelCosts(const PictureStripe &s, std::span<float> costs, const PictureCostTuning &t) {
    const Geometry g = Check(s, static_cast<std::size_t>(s.rows) * s.width * s.channels, costs.size());
    const Neighbours n(g.width);
    std::vector<std::int32_t> absR, tmp;
    std::vector<double> inv;
    for (int c = 0; c < g.channels; ++c) {
        inv.assign(static_cast<std::size_t>(g.inRows) * g.width, 0.0);
        AbsResidual(s, g, n, c, absR);
        AddInverseLevel(absR, g, n, t.floor, inv, tmp);
        Smooth(inv, g, std::clamp(t.smoothRadius, 0, 7), costs.data() + c, g.channels);
    }
    for (int y = 0; y < g.rows; ++y)
        for (int x = 0; x < g.width; ++x)
            for (int c = 0; c < g.channels; ++c)
                if (Locked(s, g, y, x) || WetChannel(s, g, n, y, x, c, t.wetFlat))
                    costs[(static_cast<std::size_t>(y) * g.width + x) * g.channels + c] = kWet;
}

} // namespace kalmira::stealth
