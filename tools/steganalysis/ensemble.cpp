#include "ensemble.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <utility>

namespace analysis {

double MinPe(std::vector<double> cover, std::vector<double> stego) {
    if (cover.empty() || stego.empty()) return 0.5;
    std::vector<std::pair<double, int>> all;  // (score, 1 = stego)
    for (double s : cover) all.emplace_back(s, 0);
    for (double s : stego) all.emplace_back(s, 1);
    std::sort(all.begin(), all.end());
    const double nc = static_cast<double>(cover.size()), ns = static_cast<double>(stego.size());
    // Threshold below everything: every cover a false alarm, no miss.
    double fa = nc, md = 0, best = 0.5;
    for (std::size_t i = 0; i < all.size();) {
        std::size_t j = i;
        for (; j < all.size() && all[j].first == all[i].first; ++j) (all[j].second ? md : fa) += all[j].second ? 1 : -1;
        best = std::min(best, (fa / nc + md / ns) / 2);
        i = j;
    }
    return best;
}

namespace {

struct Learner {
    std::vector<int> feats;
    std::vector<double> w;
    double threshold = 0;
    std::vector<char> inBag;  // per training position
    double project(const float *x) const {
        double s = 0;
        for (std::size_t i = 0; i < feats.size(); ++i) s += w[i] * x[feats[i]];
        return s;
    }
};

// Solves (S + lambda I) w = b for symmetric S (upper triangle, d x d), raising
// lambda until the Cholesky factorisation succeeds.
std::vector<double> Solve(std::vector<double> S, std::vector<double> b, int d) {
    double trace = 0;
    for (int i = 0; i < d; ++i) trace += S[static_cast<std::size_t>(i) * d + i];
    const std::vector<double> original = S;
    for (double lambda = 1e-8 * trace / d + 1e-300;; lambda *= 10) {
        S = original;
        bool ok = true;
        for (int j = 0; j < d && ok; ++j) {
            double *rj = &S[static_cast<std::size_t>(j) * d];
            double diag = rj[j] + lambda;
            for (int k = 0; k < j; ++k) diag -= S[static_cast<std::size_t>(k) * d + j] * S[static_cast<std::size_t>(k) * d + j];
            if (!(diag > 0)) {
                ok = false;
                break;
            }
            const double l = std::sqrt(diag);
            rj[j] = l;
            // Row j of U (U^T U = S): U[j][i] for i > j.
            for (int i = j + 1; i < d; ++i) {
                double s = rj[i];
                for (int k = 0; k < j; ++k) s -= S[static_cast<std::size_t>(k) * d + j] * S[static_cast<std::size_t>(k) * d + i];
                rj[i] = s / l;
            }
        }
        if (!ok) continue;
        std::vector<double> y(b);
        for (int i = 0; i < d; ++i) {  // U^T y = b
            double s = y[i];
            for (int k = 0; k < i; ++k) s -= S[static_cast<std::size_t>(k) * d + i] * y[k];
            y[i] = s / S[static_cast<std::size_t>(i) * d + i];
        }
        for (int i = d - 1; i >= 0; --i) {  // U w = y
            double s = y[i];
            for (int k = i + 1; k < d; ++k) s -= S[static_cast<std::size_t>(i) * d + k] * y[k];
            y[i] = s / S[static_cast<std::size_t>(i) * d + i];
        }
        return y;
    }
}

// Threshold on projections minimising (P_FA + P_MD) / 2 on the bag.
double BestThreshold(std::vector<double> coverProj, std::vector<double> stegoProj) {
    std::vector<std::pair<double, int>> all;
    for (double s : coverProj) all.emplace_back(s, 0);
    for (double s : stegoProj) all.emplace_back(s, 1);
    std::sort(all.begin(), all.end());
    const double nc = static_cast<double>(coverProj.size()), ns = static_cast<double>(stegoProj.size());
    double fa = nc, md = 0, best = 2, threshold = all.front().first - 1;
    for (std::size_t i = 0; i < all.size(); ++i) {
        (all[i].second ? md : fa) += all[i].second ? 1 : -1;
        if (i + 1 < all.size() && all[i + 1].first == all[i].first) continue;
        const double pe = (fa / nc + md / ns) / 2;
        if (pe < best) {
            best = pe;
            threshold = i + 1 < all.size() ? (all[i].first + all[i + 1].first) / 2 : all[i].first + 1;
        }
    }
    return threshold;
}

Learner Train(const Matrix &cover, const Matrix &stego, const std::vector<int> &train, int dsub, std::mt19937_64 &rng) {
    Learner l;
    std::vector<int> all(cover.d);
    std::iota(all.begin(), all.end(), 0);
    for (int i = 0; i < dsub; ++i) std::swap(all[i], all[i + rng() % (cover.d - i)]);
    l.feats.assign(all.begin(), all.begin() + dsub);
    const int n = static_cast<int>(train.size());
    std::vector<int> bag(n);
    l.inBag.assign(n, 0);
    for (int &b : bag) {
        b = static_cast<int>(rng() % n);
        l.inBag[b] = 1;
    }
    std::vector<double> mc(dsub, 0), ms(dsub, 0);
    for (int b : bag)
        for (int i = 0; i < dsub; ++i) {
            mc[i] += cover.row(train[b])[l.feats[i]];
            ms[i] += stego.row(train[b])[l.feats[i]];
        }
    for (int i = 0; i < dsub; ++i) {
        mc[i] /= n;
        ms[i] /= n;
    }
    std::vector<double> S(static_cast<std::size_t>(dsub) * dsub, 0), a(dsub);
    for (int b : bag)
        for (const auto &[m, mean] : {std::pair{&cover, &mc}, std::pair{&stego, &ms}}) {
            const float *x = m->row(train[b]);
            for (int i = 0; i < dsub; ++i) a[i] = x[l.feats[i]] - (*mean)[i];
            for (int i = 0; i < dsub; ++i) {
                double *si = &S[static_cast<std::size_t>(i) * dsub];
                const double ai = a[i];
                for (int j = i; j < dsub; ++j) si[j] += ai * a[j];
            }
        }
    std::vector<double> diff(dsub);
    for (int i = 0; i < dsub; ++i) diff[i] = ms[i] - mc[i];
    l.w = Solve(std::move(S), std::move(diff), dsub);
    std::vector<double> pc, ps;
    for (int b : bag) {
        pc.push_back(l.project(cover.row(train[b])));
        ps.push_back(l.project(stego.row(train[b])));
    }
    l.threshold = BestThreshold(pc, ps);
    return l;
}

// Out-of-bag error of the majority vote over the training set.
double OutOfBag(const std::vector<Learner> &ls, const Matrix &cover, const Matrix &stego, const std::vector<int> &train) {
    double errors = 0, counted = 0;
    for (std::size_t t = 0; t < train.size(); ++t) {
        int votesC = 0, votesS = 0, n = 0;
        for (const Learner &l : ls) {
            if (l.inBag[t]) continue;
            ++n;
            votesC += l.project(cover.row(train[t])) > l.threshold;
            votesS += l.project(stego.row(train[t])) > l.threshold;
        }
        if (n == 0) continue;
        errors += (2 * votesC > n) + (2 * votesC == n) * 0.5 + (2 * votesS < n) + (2 * votesS == n) * 0.5;
        counted += 2;
    }
    return counted ? errors / counted : 0.5;
}

} // namespace

SplitResult EnsembleSplit(const Matrix &cover, const Matrix &stego, const std::vector<int> &train,
                          const std::vector<int> &test, const EnsembleOptions &o) {
    std::mt19937_64 rng(o.seed);
    SplitResult best;
    best.oob = 2;
    std::vector<Learner> chosen;
    for (int dsub : o.dsubGrid) {
        if (dsub > cover.d) break;
        std::vector<Learner> ls;
        for (int i = 0; i < o.learners; ++i) ls.push_back(Train(cover, stego, train, dsub, rng));
        const double oob = OutOfBag(ls, cover, stego, train);
        if (oob < best.oob) {
            best.oob = oob;
            best.dsub = dsub;
            chosen = std::move(ls);
        }
    }
    std::vector<double> sc, ss;
    for (int t : test) {
        int vc = 0, vs = 0;
        for (const Learner &l : chosen) {
            vc += l.project(cover.row(t)) > l.threshold;
            vs += l.project(stego.row(t)) > l.threshold;
        }
        sc.push_back(vc);
        ss.push_back(vs);
    }
    best.pe = MinPe(sc, ss);
    return best;
}

} // namespace analysis
