#include "simulate.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace analysis {

namespace stealth = kalmira::stealth;

namespace {

// Change probability and entropy (bits) of an element with cost rho and n
// directions: with e = n exp(-lambda rho), p = e / (1 + e) and
// H = log2(1 + e) + p lambda rho / ln 2.
inline void Element(double lambda, float rho, int n, double &p, double &h) {
    if (n == 0 || !std::isfinite(rho)) {
        p = h = 0;
        return;
    }
    const double x = lambda * rho, e = n * std::exp(-x);
    p = e / (1 + e);
    h = std::log2(1 + e) + p * x / std::log(2.0);
}

double Entropy(const std::vector<float> &costs, const std::vector<std::uint8_t> &dirs, double lambda) {
    double sum = 0, p, h;
    for (std::size_t i = 0; i < costs.size(); ++i) {
        Element(lambda, costs[i], std::popcount(dirs[i]), p, h);
        sum += h;
    }
    return sum;
}

} // namespace

std::vector<std::int8_t> GibbsChanges(const std::vector<float> &costs, const std::vector<std::uint8_t> &dirs,
                                      double bits, Rng &rng, double *lambdaOut) {
    double lo = 0, hi = 1;
    if (Entropy(costs, dirs, 0) <= bits) {
        hi = 0; // everything changes as freely as it can: no room
    } else {
        while (Entropy(costs, dirs, hi) > bits) {
            lo = hi;
            hi *= 2;
        }
        // Bisection to a relative payload error of 1e-4, far below what P_E resolves.
        for (int i = 0; i < 60; ++i) {
            const double mid = (lo + hi) / 2, h = Entropy(costs, dirs, mid);
            (h > bits ? lo : hi) = mid;
            if (std::abs(h - bits) < 1e-4 * bits) {
                lo = hi = mid;
                break;
            }
        }
    }
    if (lambdaOut) *lambdaOut = hi;
    std::vector<std::int8_t> change(costs.size(), 0);
    std::uniform_real_distribution<double> u(0, 1);
    for (std::size_t i = 0; i < costs.size(); ++i) {
        double p, h;
        const int n = std::popcount(dirs[i]);
        Element(hi, costs[i], n, p, h);
        if (u(rng) >= p) continue;
        if (n == 2)
            change[i] = (rng() & 1) ? 1 : -1;
        else
            change[i] = (dirs[i] & kUp) ? 1 : -1;
    }
    return change;
}

bool ParseScheme(const std::string &name, Scheme &out) {
    static const std::pair<const char *, Scheme> names[] = {{"cover", Scheme::Cover},
                                                            {"v1", Scheme::V1},
                                                            {"uniform", Scheme::Uniform},
                                                            {"costs-channels", Scheme::CostsChannels},
                                                            {"costs-pixels", Scheme::CostsPixels},
                                                            {"uniform-pixels", Scheme::UniformPixels}};
    for (const auto &[n, s] : names)
        if (name == n) {
            out = s;
            return true;
        }
    return false;
}

std::vector<float> PictureCostMap(const Picture &pic, bool perChannel, const stealth::PictureCostTuning &t) {
    std::vector<std::int32_t> padded;
    padded.reserve(static_cast<std::size_t>(pic.height + 2 * stealth::kPictureHalo) * pic.width * pic.channels);
    for (int r = -stealth::kPictureHalo; r < pic.height + stealth::kPictureHalo; ++r) {
        const std::int32_t *row = pic.row(stealth::MirrorIndex(r, pic.height));
        padded.insert(padded.end(), row, row + static_cast<std::size_t>(pic.width) * pic.channels);
    }
    stealth::PictureStripe s{padded, {}, pic.width, pic.height, pic.channels, 255};
    std::vector<float> costs(static_cast<std::size_t>(pic.width) * pic.height * (perChannel ? pic.channels : 1));
    if (perChannel)
        stealth::ChannelCosts(s, costs, t);
    else
        stealth::PictureCosts(s, costs, t);
    return costs;
}

void V1Parameters(std::uint64_t usable, double bits, int &k, std::uint64_t &blocks, std::uint64_t &segment) {
    k = 0;
    blocks = segment = 0;
    if (usable < 128 + 64 * 9) return;
    const std::uint64_t slots = 64 * ((usable - 128) / 64) - 512;
    const std::uint64_t bodyBits = 8 * static_cast<std::uint64_t>(std::ceil(bits / 8));
    for (int t = 16; t >= 1; --t) {
        const std::uint64_t b = (bodyBits + t - 1) / t;
        if (b * ((std::uint64_t{1} << t) - 1) <= slots) {
            k = t;
            blocks = b;
            segment = slots / b;
            return;
        }
    }
}

namespace {

// Version 1's changes over `n` usable bytes for `bits` of name and data: the
// salt (bytes 0..127) and head (456 slots) carry random bits, so each changes
// with probability 1/2; each body block changes one slot with probability
// 1 - 2^-k. Slots lie at keyed, effectively random positions. Returns the
// positions of the bytes to change.
std::vector<std::uint64_t> V1Positions(std::uint64_t n, double bits, Rng &rng) {
    std::vector<std::uint64_t> out;
    std::bernoulli_distribution half(0.5);
    for (std::uint64_t i = 0; i < std::min<std::uint64_t>(128, n); ++i)
        if (half(rng)) out.push_back(i);
    if (n <= 128) return out;
    std::uniform_int_distribution<std::uint64_t> pos(128, n - 1);
    for (int i = 0; i < 456; ++i)
        if (half(rng)) out.push_back(pos(rng));
    int k;
    std::uint64_t blocks, segment;
    V1Parameters(n, bits + 8 * 17, k, blocks, segment);
    std::bernoulli_distribution changes(k ? 1 - std::ldexp(1.0, -k) : 0);
    for (std::uint64_t b = 0; b < blocks; ++b)
        if (changes(rng)) out.push_back(pos(rng));
    return out;
}

// LSB matching of one byte value: up or down at random, forced at the ends.
std::int32_t Match(std::int32_t byte, Rng &rng) {
    if (byte <= 0) return 1;
    if (byte >= 255) return 254;
    return (rng() & 1) ? byte + 1 : byte - 1;
}

std::uint8_t Dirs(std::int32_t v, std::int32_t lo, std::int32_t hi) {
    return static_cast<std::uint8_t>((v < hi ? kUp : 0) | (v > lo ? kDown : 0));
}

// Index into pic.v of channel c of the pixel that is j-th in file order.
std::size_t FileIndex(const Picture &pic, std::size_t j, int c) {
    const int y = pic.fileRow(static_cast<int>(j / pic.width));
    return (static_cast<std::size_t>(y) * pic.width + j % pic.width) * pic.channels + c;
}

void EmbedChannels(Picture &pic, const std::vector<float> &costs, double bits, Rng &rng) {
    const std::size_t n = pic.v.size();
    std::vector<float> c(n);
    std::vector<std::uint8_t> dirs(n);
    for (std::size_t j = 0; j < n / pic.channels; ++j)
        for (int ch = 0; ch < pic.channels; ++ch) {
            const std::size_t i = FileIndex(pic, j, ch);
            c[j * pic.channels + ch] = costs[i];
            dirs[j * pic.channels + ch] = Dirs(pic.v[i], 0, 255);
        }
    const std::vector<std::int8_t> change = GibbsChanges(c, dirs, bits, rng);
    for (std::size_t j = 0; j < n / pic.channels; ++j)
        for (int ch = 0; ch < pic.channels; ++ch) pic.v[FileIndex(pic, j, ch)] += change[j * pic.channels + ch];
}

// Pixels move together; the salt region [0, salt) in file order carries its
// own bits, the rest the remaining payload.
void EmbedPixels(Picture &pic, const std::vector<float> &costs, double bits, int salt, int saltBits, Rng &rng) {
    const std::size_t p = static_cast<std::size_t>(pic.width) * pic.height;
    const std::size_t s = std::min<std::size_t>(salt, p);
    std::vector<float> c[2];
    std::vector<std::uint8_t> dirs[2];
    for (std::size_t j = 0; j < p; ++j) {
        const std::size_t at = FileIndex(pic, j, 0);
        std::int32_t lo = 255, hi = 0;
        for (int ch = 0; ch < pic.channels; ++ch) {
            lo = std::min(lo, pic.v[at + ch]);
            hi = std::max(hi, pic.v[at + ch]);
        }
        const int part = j < s ? 0 : 1;
        c[part].push_back(costs[at / pic.channels]);
        dirs[part].push_back(static_cast<std::uint8_t>((hi < 255 ? kUp : 0) | (lo > 0 ? kDown : 0)));
    }
    const double parts[2] = {s ? static_cast<double>(saltBits) : 0.0, bits - (s ? saltBits : 0)};
    for (int part = 0; part < 2; ++part) {
        if (c[part].empty()) continue;
        const std::vector<std::int8_t> change = GibbsChanges(c[part], dirs[part], parts[part], rng);
        for (std::size_t i = 0; i < change.size(); ++i) {
            const std::size_t at = FileIndex(pic, part ? i + s : i, 0);
            for (int ch = 0; ch < pic.channels; ++ch) pic.v[at + ch] += change[i];
        }
    }
}

} // namespace

Picture SimulatePicture(const Picture &cover, Scheme scheme, const SimOptions &o, Rng &rng) {
    Picture pic = cover;
    const std::size_t n = pic.v.size();
    const double bits = o.bpc * static_cast<double>(n);
    switch (scheme) {
    case Scheme::Cover: break;
    case Scheme::V1:
        for (std::uint64_t i : V1Positions(n, bits, rng)) {
            std::int32_t &v = pic.v[FileIndex(pic, i / pic.channels, static_cast<int>(i % pic.channels))];
            v = Match(v, rng);
        }
        break;
    case Scheme::Uniform: EmbedChannels(pic, std::vector<float>(n, 1.0f), bits, rng); break;
    case Scheme::CostsChannels: EmbedChannels(pic, PictureCostMap(cover, true, o.tuning), bits, rng); break;
    case Scheme::CostsPixels:
        EmbedPixels(pic, PictureCostMap(cover, false, o.tuning), bits, o.saltPixels, o.saltBits, rng);
        break;
    case Scheme::UniformPixels:
        EmbedPixels(pic, std::vector<float>(n / pic.channels, 1.0f), bits, o.saltPixels, o.saltBits, rng);
        break;
    }
    return pic;
}

Sound SimulateSound(const Sound &cover, Scheme scheme, double bitsPerSample, std::size_t saltSamples, int saltBits,
                    Rng &rng) {
    Sound snd = cover;
    const std::size_t n = snd.v.size();
    const double bits = bitsPerSample * static_cast<double>(n);
    const std::int32_t lo = -(1 << (snd.bits - 1)), hi = (1 << (snd.bits - 1)) - 1;
    if (scheme == Scheme::V1) {
        const std::int32_t offset = snd.bits == 8 ? 128 : 0;
        for (std::uint64_t i : V1Positions(n, bits, rng)) {
            const std::int32_t byte = (snd.v[i] + offset) & 0xFF;
            snd.v[i] += Match(byte, rng) - byte;
        }
    } else if (scheme != Scheme::Cover) {
        stealth::StepProbe probe;
        probe.add(cover.v);
        const int shift = probe.shift(cover.bits);
        std::vector<std::int32_t> padded;
        const int frames = static_cast<int>(cover.frames());
        for (int f = -stealth::kSoundHalo; f < frames + stealth::kSoundHalo; ++f) {
            const std::int32_t *at =
                cover.v.data() + static_cast<std::size_t>(stealth::MirrorIndex(f, frames)) * cover.channels;
            padded.insert(padded.end(), at, at + cover.channels);
        }
        std::vector<float> costs(n);
        stealth::SoundCosts({padded, frames, cover.channels, cover.bits, shift}, costs);
        std::vector<std::uint8_t> dirs(n);
        const std::int32_t step = 1 << shift;
        for (std::size_t i = 0; i < n; ++i) dirs[i] = Dirs(snd.v[i], lo + step - 1, hi - step + 1);
        // The salt region [0, salt) carries its own bits, the rest the remaining payload.
        const std::size_t salt = std::min(saltSamples, n);
        const double parts[2] = {salt ? static_cast<double>(saltBits) : 0.0, bits - (salt ? saltBits : 0)};
        for (int part = 0; part < 2; ++part) {
            const std::size_t from = part ? salt : 0, to = part ? n : salt;
            if (from == to) continue;
            const std::vector<float> c(costs.begin() + from, costs.begin() + to);
            const std::vector<std::uint8_t> d(dirs.begin() + from, dirs.begin() + to);
            const std::vector<std::int8_t> change = GibbsChanges(c, d, parts[part], rng);
            for (std::size_t i = from; i < to; ++i) snd.v[i] += change[i - from] * step;
        }
    }
    return snd;
}

} // namespace analysis
