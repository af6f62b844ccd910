// The evaluate command: P_E of the ensemble and of each targeted statistic,
// averaged over random splits of the photos (recordings) into halves for
// training and testing. A statistic's direction is learnt on the training
// half; P_E on the test half is the minimum over thresholds, as for the
// ensemble's vote count.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <thread>

#include "featfile.h"
#include "options.h"

namespace analysis {

namespace {

struct Split {
    std::vector<int> train, test;
};

std::vector<Split> Splits(const std::vector<int> &groups, int count, std::uint64_t seed) {
    std::vector<int> ids(std::set<int>(groups.begin(), groups.end()).size());
    std::iota(ids.begin(), ids.end(), 0);
    std::vector<Split> out;
    for (int s = 0; s < count; ++s) {
        std::mt19937_64 rng(seed * 7919 + s);
        std::vector<int> order(ids);
        std::shuffle(order.begin(), order.end(), rng);
        std::set<int> trainGroups(order.begin(), order.begin() + order.size() / 2);
        Split sp;
        for (int i = 0; i < static_cast<int>(groups.size()); ++i)
            (trainGroups.count(groups[i]) ? sp.train : sp.test).push_back(i);
        out.push_back(std::move(sp));
    }
    return out;
}

double StatisticPe(const FeatureSet &cover, const FeatureSet &stego, std::size_t k, const Split &sp) {
    double sc = 0, ss = 0;
    for (int i : sp.train) {
        sc += cover.stats[i][k];
        ss += stego.stats[i][k];
    }
    const double sign = ss >= sc ? 1 : -1;
    std::vector<double> c, s;
    for (int i : sp.test) {
        c.push_back(sign * cover.stats[i][k]);
        s.push_back(sign * stego.stats[i][k]);
    }
    return MinPe(c, s);
}

void MeanSd(const std::vector<double> &v, double &mean, double &sd) {
    mean = std::accumulate(v.begin(), v.end(), 0.0) / v.size();
    double q = 0;
    for (double x : v) q += (x - mean) * (x - mean);
    sd = v.size() > 1 ? std::sqrt(q / (v.size() - 1)) : 0;
}

std::vector<SplitResult> EnsembleOverSplits(const FeatureSet &cover, const FeatureSet &stego,
                                            const std::vector<Split> &splits, const Args &a) {
    std::vector<SplitResult> results(splits.size());
    const int threads = std::max(1, static_cast<int>(a.num("threads", 2)));
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (std::size_t s = t; s < splits.size(); s += threads) {
                EnsembleOptions o;
                o.learners = static_cast<int>(a.num("learners", 51));
                if (a.flag("ridge")) {
                    o.ridges.clear();
                    for (const std::string &r : SplitComma(a.get("ridge", ""))) o.ridges.push_back(std::stod(r));
                }
                if (a.flag("dsub")) {
                    o.dsubGrid.clear();
                    for (const std::string &d : SplitComma(a.get("dsub", ""))) o.dsubGrid.push_back(std::stoi(d));
                }
                o.seed = static_cast<std::uint64_t>(a.num("seed", 1)) * 1000 + s;
                results[s] = EnsembleSplit(cover.features, stego.features, splits[s].train, splits[s].test, o);
            }
        });
    for (std::thread &t : pool) t.join();
    return results;
}

} // namespace

int EvaluateCommand(const Args &a) {
    FeatureSet cover;
    if (!LoadFeatures(a.positional[0], cover)) {
        std::fprintf(stderr, "cannot read %s\n", a.positional[0].c_str());
        return 1;
    }
    const std::vector<Split> splits =
        Splits(cover.groups, static_cast<int>(a.num("splits", 10)), static_cast<std::uint64_t>(a.num("seed", 1)));
    std::printf("%-28s %-18s", "stego", "ensemble P_E");
    for (const std::string &n : cover.statNames) std::printf(" %-12s", n.c_str());
    std::printf("\n");
    for (std::size_t f = 1; f < a.positional.size(); ++f) {
        FeatureSet stego;
        if (!LoadFeatures(a.positional[f], stego) || stego.groups != cover.groups ||
            stego.features.d != cover.features.d) {
            std::fprintf(stderr, "%s does not match the cover file\n", a.positional[f].c_str());
            return 1;
        }
        std::string name = a.positional[f].substr(a.positional[f].find_last_of('/') + 1);
        std::printf("%-28s", name.substr(0, name.size() - 5).c_str());
        if (cover.features.d > 0 && !a.flag("no-ensemble")) {
            const std::vector<SplitResult> r = EnsembleOverSplits(cover, stego, splits, a);
            std::vector<double> pe;
            std::map<std::pair<int, double>, int> chosen;
            for (const SplitResult &s : r) {
                pe.push_back(s.pe);
                ++chosen[{s.dsub, s.ridge}];
            }
            double m, sd;
            MeanSd(pe, m, sd);
            const auto most = std::max_element(chosen.begin(), chosen.end(), [](auto x, auto y) {
                                  return x.second < y.second;
                              })->first;
            std::printf(" %.3f+-%.3f d%d/r%g", m, sd, most.first, most.second);
        } else {
            std::printf(" %-18s", "-");
        }
        for (std::size_t k = 0; k < cover.statNames.size(); ++k) {
            std::vector<double> pe;
            for (const Split &sp : splits) pe.push_back(StatisticPe(cover, stego, k, sp));
            double m, sd;
            MeanSd(pe, m, sd);
            std::printf(" %-12.3f", m);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}

} // namespace analysis
