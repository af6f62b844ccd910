// Ensemble of Fisher linear discriminants on random subspaces with bootstrap
// samples and majority vote (Kodovsky, Fridrich, Holub 2012). The subspace
// dimension and the ridge of the discriminants are chosen per split by the
// out-of-bag error of the training set.
#pragma once

#include <cstdint>
#include <vector>

namespace analysis {

struct Matrix {
    int n = 0, d = 0;
    std::vector<float> v;
    const float *row(int i) const { return v.data() + static_cast<std::size_t>(i) * d; }
};

struct EnsembleOptions {
    int learners = 51;
    std::vector<int> dsubGrid = {100, 300, 1000};
    std::uint64_t seed = 1;
    // Lambdas added to the scatter matrix, relative to its mean diagonal: the
    // subspaces hold more features than the training set has photos.
    std::vector<double> ridges = {0.1, 0.3, 1, 3};
};

struct SplitResult {
    double pe = 0.5; // on the test set, min over thresholds of the vote count
    int dsub = 0;
    double ridge = 0;
    double oob = 0.5;
};

// `cover` and `stego` rows are paired by index (the same crop); `train` and
// `test` hold pair indices and share no photo.
SplitResult EnsembleSplit(const Matrix &cover, const Matrix &stego, const std::vector<int> &train,
                          const std::vector<int> &test, const EnsembleOptions &options);

// min over thresholds t of (P_FA + P_MD) / 2, deciding "stego" when score > t.
double MinPe(std::vector<double> cover, std::vector<double> stego);

} // namespace analysis
