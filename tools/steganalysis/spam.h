// Second-order SPAM features (Pevny, Bas, Fridrich 2010), T = 3: Markov
// transition probabilities of truncated neighbour differences, 343 averaged
// over the four straight directions and 343 over the four diagonal ones.
#pragma once

#include <cstdint>
#include <vector>

#include "media.h"

namespace analysis {

inline constexpr int kSpamPerPlane = 686;
inline constexpr int kSpamPlanes = 5; // R, G, B, G-R, G-B
inline constexpr int kSpamFeatures = kSpamPerPlane * kSpamPlanes;

// 686 features of one plane (w * h values, row-major) appended to `out`.
void Spam686(const std::int32_t *plane, int w, int h, std::vector<float> &out);

// SPAM of R, G, B, G-R and G-B of a colour picture (the grey plane five times
// for a grey one, so that the layout stays the same).
std::vector<float> SpamFeatures(const Picture &pic);

} // namespace analysis
