#include "targeted.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "stealth/costs.h"

namespace analysis {

using kalmira::stealth::MirrorIndex;

double SaltRegionStatistic(const Picture &pic, std::size_t regionBytes) {
    const std::size_t n = pic.v.size();
    if (regionBytes == 0 || regionBytes * 9 > n) return 0;
    auto value = [&](int y, int x, int c) {
        return pic.row(MirrorIndex(y, pic.height))[MirrorIndex(x, pic.width) * pic.channels + c];
    };
    double sum[2] = {0, 0};
    for (std::size_t i = 0; i < regionBytes * 9; ++i) {
        const std::size_t j = i / pic.channels;
        const int c = static_cast<int>(i % pic.channels);
        const int y = pic.fileRow(static_cast<int>(j / pic.width)), x = static_cast<int>(j % pic.width);
        int r = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                static const int kb[3][3] = {{-1, 2, -1}, {2, -4, 2}, {-1, 2, -1}};
                r += kb[dy + 1][dx + 1] * value(y + dy, x + dx, c);
            }
        sum[i < regionBytes ? 0 : 1] += std::min(std::abs(r), 16);
    }
    return std::log((sum[0] / regionBytes + 0.5) / (sum[1] / (8.0 * regionBytes) + 0.5));
}

double PlateauStatistic(const Picture &pic) {
    double inside = 0, field = 0;
    for (int y = 1; y + 1 < pic.height; ++y)
        for (int x = 1; x + 1 < pic.width; ++x)
            for (int c = 0; c < pic.channels; ++c) {
                const std::int32_t v = pic.row(y)[x * pic.channels + c];
                if (v > 1 && v < 254) continue;
                const std::int32_t end = v >= 254 ? 255 : 0;
                bool surrounded = true;
                for (int dy = -1; dy <= 1 && surrounded; ++dy)
                    for (int dx = -1; dx <= 1 && surrounded; ++dx)
                        if (dy || dx) surrounded = pic.row(y + dy)[(x + dx) * pic.channels + c] == end;
                if (!surrounded) continue;
                if (v == end)
                    field += 1;
                else if (std::abs(v - end) == 1)
                    inside += 1;
            }
    return inside + field > 0 ? inside / (inside + field) : 0;
}

double AsymmetryStatistic(const Sound &snd) {
    double plus = 0, minus = 0;
    for (std::int32_t s : snd.v) {
        plus += s == 1;
        minus += s == -1;
    }
    return plus + minus > 0 ? (plus - minus) / (plus + minus) : 0;
}

double SilenceStatistic(const Sound &snd) {
    const int C = snd.channels, n = static_cast<int>(snd.frames());
    double lone = 0, silent = 0;
    for (int c = 0; c < C; ++c)
        for (int f = 8; f + 8 < n; ++f) {
            bool quiet = true;
            for (int k = -8; k <= 8 && quiet; ++k)
                if (k) quiet = snd.v[static_cast<std::size_t>(f + k) * C + c] == 0;
            if (!quiet) continue;
            const std::int32_t v = snd.v[static_cast<std::size_t>(f) * C + c];
            (v == 0 ? silent : lone) += 1;
        }
    return lone + silent > 0 ? lone / (lone + silent) : 0;
}

double LowByteStatistic(const Sound &snd) {
    if (snd.v.empty()) return 0;
    double nonzero = 0;
    for (std::int32_t s : snd.v) nonzero += (s & 0xFF) != 0;
    return nonzero / static_cast<double>(snd.v.size());
}

std::vector<std::string> PictureStatisticNames() { return {"salt-region", "plateau"}; }

std::vector<double> PictureStatistics(const Picture &pic, std::size_t saltBytes) {
    return {SaltRegionStatistic(pic, saltBytes), PlateauStatistic(pic)};
}

double SoundSaltStatistic(const Sound &snd, std::size_t regionSamples) {
    const std::size_t n = snd.v.size(), C = snd.channels;
    if (regionSamples == 0 || regionSamples * 9 + 2 * C > n) return 0;
    double sum[2] = {0, 0};
    for (std::size_t i = C; i < regionSamples * 9 + C; ++i) {
        const std::int64_t d = std::int64_t{snd.v[i - C]} - 2 * std::int64_t{snd.v[i]} + snd.v[i + C];
        sum[i - C < regionSamples ? 0 : 1] += static_cast<double>(std::min<std::int64_t>(std::llabs(d), 16));
    }
    return std::log((sum[0] / regionSamples + 0.5) / (sum[1] / (8.0 * regionSamples) + 0.5));
}

std::vector<std::string> SoundStatisticNames() { return {"asymmetry", "silence", "low-byte", "salt-region"}; }

std::vector<double> SoundStatistics(const Sound &snd, std::size_t saltSamples) {
    return {AsymmetryStatistic(snd), SilenceStatistic(snd), LowByteStatistic(snd),
            SoundSaltStatistic(snd, saltSamples)};
}

} // namespace analysis
