#include "spam.h"

#include <algorithm>
#include <array>

namespace analysis {

namespace {

constexpr int T = 3, K = 2 * T + 1;

// Counts of (d1, d2, d3) along direction (dy, dx) into the transition matrix
// P(d3 | d1, d2), added to `acc`.
void AddDirection(const std::int32_t *p, int w, int h, int dy, int dx, double *acc) {
    std::array<double, K * K * K> triple{};
    std::array<double, K * K> pair{};
    const int y0 = std::max(0, -3 * dy), y1 = std::min(h, h - 3 * dy);
    const int x0 = std::max(0, -3 * dx), x1 = std::min(w, w - 3 * dx);
    const std::ptrdiff_t step = static_cast<std::ptrdiff_t>(dy) * w + dx;
    for (int y = y0; y < y1; ++y) {
        const std::int32_t *q = p + static_cast<std::ptrdiff_t>(y) * w;
        for (int x = x0; x < x1; ++x) {
            const std::int32_t *a = q + x;
            const int d1 = std::clamp(a[0] - a[step], -T, T) + T;
            const int d2 = std::clamp(a[step] - a[2 * step], -T, T) + T;
            const int d3 = std::clamp(a[2 * step] - a[3 * step], -T, T) + T;
            triple[(d1 * K + d2) * K + d3] += 1;
            pair[d1 * K + d2] += 1;
        }
    }
    for (int i = 0; i < K * K; ++i)
        for (int j = 0; j < K; ++j)
            if (pair[i] > 0) acc[i * K + j] += triple[i * K + j] / pair[i];
}

} // namespace

void Spam686(const std::int32_t *plane, int w, int h, std::vector<float> &out) {
    static const int straight[4][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}};
    static const int diagonal[4][2] = {{1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
    for (const auto *dirs : {straight, diagonal}) {
        std::array<double, K * K * K> acc{};
        for (int i = 0; i < 4; ++i) AddDirection(plane, w, h, dirs[i][0], dirs[i][1], acc.data());
        for (double v : acc) out.push_back(static_cast<float>(v / 4));
    }
}

std::vector<float> SpamFeatures(const Picture &pic) {
    const std::size_t n = static_cast<std::size_t>(pic.width) * pic.height;
    std::vector<float> out;
    out.reserve(kSpamFeatures);
    std::vector<std::int32_t> plane(n);
    auto channel = [&](std::size_t i, int c) { return pic.v[i * pic.channels + std::min(c, pic.channels - 1)]; };
    // File order is B, G, R: channel 2 is red, 1 green, 0 blue.
    for (int c : {2, 1, 0}) {
        for (std::size_t i = 0; i < n; ++i) plane[i] = channel(i, c);
        Spam686(plane.data(), pic.width, pic.height, out);
    }
    for (int c : {2, 0}) {
        for (std::size_t i = 0; i < n; ++i) plane[i] = channel(i, 1) - channel(i, c);
        Spam686(plane.data(), pic.width, pic.height, out);
    }
    return out;
}

} // namespace analysis
