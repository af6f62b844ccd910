#include "ensemble.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <utility>

namespace analysis {

double MinPe(std::vector<double> cover, std::vector<double> stego) {
    if (cover.empty() || stego.empty()) return 0.5;
    std::vector<std::pair<double, int>> all; // (score, 1 = stego)
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
    std::vector<char> inBag; // per training position
    double project(const float *x) const {
        double s = 0;
        for (std::size_t i = 0; i < feats.size(); ++i) s += w[i] * x[feats[i]];
        return s;
    }
};

// Solves (S + lambda I) w = b for symmetric S (upper triangle, d x d), raising
// lambda until the Cholesky factorisation succeeds.
std::vector<double> Solve(const std::vector<double> &original, std::vector<double> b, int d, double lambda) {
    std::vector<double> S;
    for (;; lambda = lambda * 10 + 1e-300) {
        S = original;
        bool ok = true;
        for (int j = 0; j < d && ok; ++j) {
            double *rj = &S[static_cast<std::size_t>(j) * d];
            double diag = rj[j] + lambda;
            for (int k = 0; k < j; ++k)
                diag -= S[static_cast<std::size_t>(k) * d + j] * S[static_cast<std::size_t>(k) * d + j];
            if (!(diag > 0)) {
                ok = false;
                break;
            }
            const double l = std::sqrt(diag);
            rj[j] = l;
            // Row j of U (U^T U = S): U[j][i] for i > j.
            for (int i = j + 1; i < d; ++i) {
                double s = rj[i];
                for (int k = 0; k < j; ++k)
                    s -= S[static_cast<std::size_t>(k) * d + j] * S[static_cast<std::size_t>(k) * d + i];
                rj[i] = s / l;
            }
        }
        if (ok) break;
    }
    for (int i = 0; i < d; ++i) { // U^T y = b
        double s = b[i];
        for (int k = 0; k < i; ++k) s -= S[static_cast<std::size_t>(k) * d + i] * b[k];
        b[i] = s / S[static_cast<std::size_t>(i) * d + i];
    }
    for (int i = d - 1; i >= 0; --i) { // U w = y
        double s = b[i];
        for (int k = i + 1; k < d; ++k) s -= S[static_cast<std::size_t>(i) * d + k] * b[k];
        b[i] = s / S[static_cast<std::size_t>(i) * d + i];
    }
    return b;
}

// Upper triangle of X X^T for X with `rows` rows of `cols` values.
std::vector<double> Gram(const std::vector<double> &X, int rows, int cols) {
    std::vector<double> G(static_cast<std::size_t>(rows) * rows, 0);
    for (int i = 0; i < rows; ++i)
        for (int j = i; j < rows; ++j) {
            const double *a = &X[static_cast<std::size_t>(i) * cols], *b = &X[static_cast<std::size_t>(j) * cols];
            double s = 0;
            for (int k = 0; k < cols; ++k) s += a[k] * b[k];
            G[static_cast<std::size_t>(i) * rows + j] = s;
        }
    return G;
}

// Fisher directions (A^T A + lambda I)^-1 diff for the centred samples A
// (m x d), one per lambda = ridge * trace(A^T A) / d. With fewer samples than
// features through the m x m Gram matrix (Woodbury): the same direction, up
// to scale.
std::vector<std::vector<double>> FisherDirections(const std::vector<double> &A, int m, int d,
                                                  const std::vector<double> &diff, const std::vector<double> &ridges) {
    std::vector<std::vector<double>> out;
    if (d <= m) {
        std::vector<double> At(static_cast<std::size_t>(d) * m);
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < d; ++j)
                At[static_cast<std::size_t>(j) * m + i] = A[static_cast<std::size_t>(i) * d + j];
        const std::vector<double> S = Gram(At, d, m);
        double trace = 0;
        for (int i = 0; i < d; ++i) trace += S[static_cast<std::size_t>(i) * d + i];
        for (double ridge : ridges) out.push_back(Solve(S, diff, d, ridge * trace / d));
        return out;
    }
    const std::vector<double> G = Gram(A, m, d);
    double trace = 0;
    for (int i = 0; i < m; ++i) trace += G[static_cast<std::size_t>(i) * m + i];
    std::vector<double> Ab(m, 0);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < d; ++j) Ab[i] += A[static_cast<std::size_t>(i) * d + j] * diff[j];
    for (double ridge : ridges) {
        const std::vector<double> z = Solve(G, Ab, m, ridge * trace / d + 1e-300);
        std::vector<double> w(diff);
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < d; ++j) w[j] -= A[static_cast<std::size_t>(i) * d + j] * z[i];
        out.push_back(std::move(w));
    }
    return out;
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

// One learner per ridge, sharing the subspace and the bootstrap sample.
std::vector<Learner> Train(const Matrix &cover, const Matrix &stego, const std::vector<int> &train, int dsub,
                           const std::vector<double> &ridges, std::mt19937_64 &rng) {
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
    const int m = 2 * n;
    std::vector<double> A(static_cast<std::size_t>(m) * dsub);
    int row = 0;
    for (int b : bag)
        for (const auto &[mat, mean] : {std::pair{&cover, &mc}, std::pair{&stego, &ms}}) {
            const float *x = mat->row(train[b]);
            double *a = &A[static_cast<std::size_t>(row++) * dsub];
            for (int i = 0; i < dsub; ++i) a[i] = x[l.feats[i]] - (*mean)[i];
        }
    std::vector<double> diff(dsub);
    for (int i = 0; i < dsub; ++i) diff[i] = ms[i] - mc[i];
    std::vector<Learner> out;
    for (std::vector<double> &w : FisherDirections(A, m, dsub, diff, ridges)) {
        Learner r = l;
        r.w = std::move(w);
        std::vector<double> pc, ps;
        for (int b : bag) {
            pc.push_back(r.project(cover.row(train[b])));
            ps.push_back(r.project(stego.row(train[b])));
        }
        r.threshold = BestThreshold(pc, ps);
        out.push_back(std::move(r));
    }
    return out;
}

// Out-of-bag error of the majority vote over the training set.
double OutOfBag(const std::vector<Learner> &ls, const Matrix &cover, const Matrix &stego,
                const std::vector<int> &train) {
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
        std::vector<std::vector<Learner>> ls(o.ridges.size());
        for (int i = 0; i < o.learners; ++i) {
            std::vector<Learner> per = Train(cover, stego, train, dsub, o.ridges, rng);
            for (std::size_t r = 0; r < per.size(); ++r) ls[r].push_back(std::move(per[r]));
        }
        for (std::size_t r = 0; r < ls.size(); ++r) {
            const double oob = OutOfBag(ls[r], cover, stego, train);
            if (oob < best.oob) {
                best.oob = oob;
                best.dsub = dsub;
                best.ridge = o.ridges[r];
                chosen = std::move(ls[r]);
            }
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
