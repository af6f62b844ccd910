// The commands that read carriers: features and statistics of covers and
// simulated stego carriers, the JPEG grid verdicts, single simulated
// embeddings, and the number of values a payload in bpc is counted on.
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

#include "featfile.h"
#include "options.h"
#include "simulate.h"
#include "spam.h"
#include "targeted.h"

namespace analysis {

namespace {

std::uint64_t Mix(std::uint64_t x) { // SplitMix64 finaliser
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

struct Job {
    Scheme scheme;
    double bpc;
    std::string name;
    FeatureSet set;
};

std::vector<Job> Jobs(const Args &a, std::size_t n, int d, const std::vector<std::string> &statNames) {
    std::vector<Job> jobs;
    for (const std::string &name : SplitComma(a.get("schemes", "cover,v1,uniform,costs-channels,costs-pixels"))) {
        Scheme s;
        if (!ParseScheme(name, s)) {
            std::fprintf(stderr, "unknown scheme %s\n", name.c_str());
            return {};
        }
        const std::vector<std::string> payloads =
            s == Scheme::Cover ? std::vector<std::string>{"0"} : SplitComma(a.get("payloads", "0.05,0.1,0.2"));
        for (const std::string &p : payloads)
            jobs.push_back({s, std::stod(p), s == Scheme::Cover ? name : name + "-" + p, {}});
    }
    for (Job &j : jobs) {
        j.set.groups.assign(n, 0);
        j.set.features = Matrix{static_cast<int>(n), d, std::vector<float>(n * d)};
        j.set.statNames = statNames;
        j.set.stats.assign(n, {});
    }
    return jobs;
}

// Runs work(i) for i in [0, n) on `threads` threads.
void Parallel(std::size_t n, int threads, const std::function<void(std::size_t)> &work) {
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < std::max(1, threads); ++t)
        pool.emplace_back([&] {
            for (std::size_t i; (i = next++) < n;) work(i);
        });
    for (std::thread &t : pool) t.join();
}

int Save(const Args &a, const std::vector<Job> &jobs) {
    const std::string prefix = a.positional[1] + "/" + a.get("tag", "");
    for (const Job &j : jobs)
        if (!SaveFeatures(prefix + j.name + ".feat", j.set)) {
            std::fprintf(stderr, "cannot write %s%s.feat\n", prefix.c_str(), j.name.c_str());
            return 1;
        }
    return 0;
}

} // namespace

int PicturesCommand(const Args &a) {
    const std::vector<ListEntry> list = ReadList(a.positional[0]);
    std::vector<Job> jobs = Jobs(a, list.size(), kSpamFeatures, PictureStatisticNames());
    if (jobs.empty() || list.empty()) return 2;
    SimOptions o;
    o.tuning.floor = static_cast<float>(a.num("floor", o.tuning.floor));
    o.tuning.smoothRadius = static_cast<int>(a.num("smooth", o.tuning.smoothRadius));
    o.tuning.wetFlat = !a.flag("no-wet-flat");
    o.saltPixels = static_cast<int>(a.num("salt-pixels", 0));
    const std::size_t saltBytes = o.saltPixels ? 3 * static_cast<std::size_t>(o.saltPixels) : 128;
    const std::uint64_t seed = static_cast<std::uint64_t>(a.num("seed", 1));
    std::atomic<bool> failed{false};
    Parallel(list.size(), static_cast<int>(a.num("threads", 2)), [&](std::size_t i) {
        Picture cover;
        if (const std::string err = ReadBmp(list[i].path, cover); !err.empty()) {
            std::fprintf(stderr, "%s: %s\n", list[i].path.c_str(), err.c_str());
            failed = true;
            return;
        }
        for (std::size_t j = 0; j < jobs.size(); ++j) {
            Rng rng(Mix(seed ^ Mix(i * 1000 + j)));
            SimOptions oj = o;
            oj.bpc = jobs[j].bpc;
            const Picture stego = SimulatePicture(cover, jobs[j].scheme, oj, rng);
            const std::vector<float> f = SpamFeatures(stego);
            std::copy(f.begin(), f.end(), jobs[j].set.features.v.begin() + i * kSpamFeatures);
            jobs[j].set.stats[i] = PictureStatistics(stego, saltBytes);
            jobs[j].set.groups[i] = list[i].group;
        }
    });
    return failed ? 1 : Save(a, jobs);
}

int SoundsCommand(const Args &a) {
    const std::vector<ListEntry> list = ReadList(a.positional[0]);
    std::vector<Job> jobs = Jobs(a, list.size(), 0, SoundStatisticNames());
    if (jobs.empty() || list.empty()) return 2;
    const std::size_t salt = static_cast<std::size_t>(a.num("salt-samples", 0));
    const std::uint64_t seed = static_cast<std::uint64_t>(a.num("seed", 1));
    std::atomic<bool> failed{false};
    Parallel(list.size(), static_cast<int>(a.num("threads", 2)), [&](std::size_t i) {
        Sound cover;
        if (const std::string err = ReadWav(list[i].path, cover); !err.empty()) {
            std::fprintf(stderr, "%s: %s\n", list[i].path.c_str(), err.c_str());
            failed = true;
            return;
        }
        for (std::size_t j = 0; j < jobs.size(); ++j) {
            Rng rng(Mix(seed ^ Mix(i * 1000 + j)));
            const Sound stego = SimulateSound(cover, jobs[j].scheme, jobs[j].bpc, salt, 128, rng);
            jobs[j].set.stats[i] = SoundStatistics(stego, salt ? salt : 128);
            jobs[j].set.groups[i] = list[i].group;
        }
    });
    return failed ? 1 : Save(a, jobs);
}

int JpegCommand(const Args &a) {
    int yes = 0, total = 0;
    for (const ListEntry &e : ReadList(a.positional[0])) {
        Picture pic;
        if (!ReadBmp(e.path, pic).empty()) continue;
        kalmira::stealth::JpegGridMeter meter(pic.width, pic.channels);
        for (int i = 0; i < pic.height; ++i)
            meter.addRow({pic.row(pic.fileRow(i)), static_cast<std::size_t>(pic.width) * pic.channels});
        const kalmira::stealth::JpegGridVerdict v = meter.verdict();
        std::printf("%s\t%d %.3f %.2f\t%d %.3f %.2f\t%s\n", e.path.c_str(), v.phaseX, v.ratioX, v.shareX, v.phaseY,
                    v.ratioY, v.shareY, v.jpeg ? "jpeg" : "-");
        yes += v.jpeg;
        ++total;
    }
    std::printf("# %d of %d judged JPEG-origin\n", yes, total);
    return 0;
}

int ValuesCommand(const Args &a) {
    const std::string &path = a.positional[0];
    std::string err;
    std::size_t values = 0;
    if (path.size() > 4 && path.substr(path.size() - 4) == ".wav") {
        Sound snd;
        err = ReadWav(path, snd);
        values = snd.v.size();
    } else {
        Picture pic;
        err = ReadBmp(path, pic);
        values = pic.v.size();
    }
    if (!err.empty()) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), err.c_str());
        return 1;
    }
    std::printf("%zu\n", values);
    return 0;
}

int EmbedCommand(const Args &a) {
    Scheme s;
    if (!ParseScheme(a.get("scheme", "costs-pixels"), s)) return 2;
    Rng rng(Mix(static_cast<std::uint64_t>(a.num("seed", 1))));
    const std::string &in = a.positional[0], &out = a.positional[1];
    std::string err;
    if (in.size() > 4 && in.substr(in.size() - 4) == ".wav") {
        Sound snd;
        err = ReadWav(in, snd);
        const std::size_t salt = static_cast<std::size_t>(a.num("salt-samples", 0));
        if (err.empty()) err = WriteWav(out, SimulateSound(snd, s, a.num("payload", 0.1), salt, 128, rng));
    } else {
        Picture pic;
        err = ReadBmp(in, pic);
        SimOptions o;
        o.bpc = a.num("payload", 0.1);
        o.saltPixels = static_cast<int>(a.num("salt-pixels", 0));
        if (err.empty()) err = WriteBmp(out, SimulatePicture(pic, s, o, rng));
    }
    if (!err.empty()) std::fprintf(stderr, "%s\n", err.c_str());
    return err.empty() ? 0 : 1;
}

} // namespace analysis
