// Embedding simulators: what a coder at the rate-distortion bound would
// change, so that cost functions can be compared before the real coder
// exists, and version 1's exact change rates.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "media.h"
#include "stealth/costs.h"

namespace analysis {

using Rng = std::mt19937_64;

// Directions an element may move: bit 0 up, bit 1 down.
enum : std::uint8_t {
    kUp = 1,
    kDown = 2
};

// Optimal +-1 embedding of `bits` into elements with the given costs: change
// probabilities from the Gibbs distribution n e^(-lambda rho) / (1 + n e^(-lambda rho))
// (n directions allowed), lambda found by bisection so that the entropy is
// `bits`; the direction is drawn among the allowed ones. Returns per element
// -1, 0 or +1. `lambda` reports the value found (0: the payload does not fit).
std::vector<std::int8_t> GibbsChanges(const std::vector<float> &costs, const std::vector<std::uint8_t> &dirs,
                                      double bits, Rng &rng, double *lambda = nullptr);

// Schemes compared. Channel schemes change colour values on their own,
// pixel schemes move all channels of a pixel together.
enum class Scheme {
    Cover,
    V1,
    Uniform,
    CostsChannels,
    CostsPixels,
    UniformPixels
};
bool ParseScheme(const std::string &name, Scheme &out);

struct SimOptions {
    double bpc = 0.1; // bits per usable sample byte (colour value)
    kalmira::stealth::PictureCostTuning tuning;
    int saltPixels = 0; // public salt region: the first N pixels in file order
    int saltBits = 128;
};

// The picture with the payload embedded by the scheme (Cover: unchanged).
Picture SimulatePicture(const Picture &cover, Scheme scheme, const SimOptions &o, Rng &rng);

// Costs of a whole picture through the stripe interface (one stripe).
std::vector<float> PictureCostMap(const Picture &pic, bool perChannel, const kalmira::stealth::PictureCostTuning &t);

// Sound: V1 (LSB matching on the first byte of each sample at version 1's
// rates) or CostsChannels (SoundCosts, +-one step of the effective resolution;
// the first saltSamples samples carry saltBits on their own).
Sound SimulateSound(const Sound &cover, Scheme scheme, double bitsPerSample, std::size_t saltSamples, int saltBits,
                    Rng &rng);

// Version 1's body: Hamming parameter k and segment length L for `bits` of
// payload in `usable` bytes (docs/stealth-format.md); k = 0 if it does not fit.
void V1Parameters(std::uint64_t usable, double bits, int &k, std::uint64_t &blocks, std::uint64_t &segment);

} // namespace analysis
