// Targeted statistics: each measures one trace an embedding may leave and,
// thresholded, becomes a detector of its own.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "media.h"

namespace analysis {

// (a) Change rate of a public region: log of the mean clipped |KB residual|
// over the first `regionBytes` colour values in file order, over that of the
// next 8 * regionBytes. Embedding a salt at a high rate raises it.
double SaltRegionStatistic(const Picture &pic, std::size_t regionBytes);

// (b) Saturated plateaus: values one step inside the range (254, 1) whose
// eight neighbours all sit at the end (255, 0), as a share of those plus the
// end values inside such a field. Embedding that only moves 255 down raises it.
double PlateauStatistic(const Picture &pic);

// (c) The 0/-1 asymmetry (h(1) - h(-1)) / (h(1) + h(-1)) of a recording.
double AsymmetryStatistic(const Sound &snd);
// (c) Isolated non-zero samples in digital silence (all 8 neighbours either
// way zero), as a share of such silent positions.
double SilenceStatistic(const Sound &snd);
// (d) Share of samples whose low byte is not zero (24-bit made from 16-bit: 0).
double LowByteStatistic(const Sound &snd);

// (a) for recordings: the same over the clipped second difference of the
// first `regionSamples` samples (interleaved) against the next 8 times as many.
double SoundSaltStatistic(const Sound &snd, std::size_t regionSamples);

std::vector<std::string> PictureStatisticNames();
std::vector<double> PictureStatistics(const Picture &pic, std::size_t saltBytes);
std::vector<std::string> SoundStatisticNames();
std::vector<double> SoundStatistics(const Sound &snd, std::size_t saltSamples);

} // namespace analysis
