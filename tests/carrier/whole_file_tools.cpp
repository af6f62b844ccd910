#include "whole_file_tools.h"

#include "../stealth/stealth_carriers.h"
#include "stealth/standard_costs.h"
#include "stealth/stealth2.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kalmira::test {

namespace {

stealth::Tuning2 Fast() {
    stealth::Tuning2 t = FastKdf();
    t.threads = 1;
    return t;
}

void Run(const std::string &command) { ASSERT_EQ(Shell(command), 0) << command; }

// The shared noise WAV; `zeros` low bits of every sample left 0.
void MakeWav(const std::string &file, int channels, int rate, int bits, int frames, int zeros) {
    const std::size_t width = static_cast<std::size_t>(bits / 8);
    Bytes w = test::MakeWav(static_cast<std::size_t>(frames) * channels * width, channels, rate, bits);
    for (std::size_t i = 44; i < w.size(); i += width) w[i] &= static_cast<std::uint8_t>(~((1 << zeros) - 1));
    WriteAll(file, w);
}

} // namespace

const std::string kWholeFilePassword = "Gr\xFCn-Tee!";

// Hides as much as the carrier takes, up to `most` bytes of data.
Bytes HideInto(carrier::WholeFileElements &c, std::uint64_t most) {
    const stealth::CostModel costs = stealth::StandardCosts(c.shape());
    const stealth::Capacity2Result cap = stealth::Capacity2(c, costs, Fast());
    EXPECT_EQ(cap.outcome, stealth::CapacityResult::Outcome::Ok);
    const std::uint64_t room = cap.recommendedPayload > 5 ? cap.recommendedPayload - 5 : 0; // stored name "x.bin"
    const Bytes data = RandomBytes(static_cast<std::size_t>(std::min(room, most)), 3);
    EXPECT_GT(data.size(), 0u) << cap.largestPayload << " " << cap.dryElements;
    const stealth::Hide2Result r =
        stealth::Hide2(c, c, kWholeFilePassword, stealth::Kind::File, "x.bin", {"", data}, costs, {}, Fast());
    EXPECT_EQ(r.outcome, stealth::HideResult::Outcome::Written) << static_cast<int>(c.problem().codec);
    return data;
}

Bytes ExtractFrom(carrier::ElementReader &c) {
    stealth::MemorySink sink(1 << 20);
    const stealth::Extract2Result r = stealth::Extract2(c, kWholeFilePassword, sink, {}, {}, Fast());
    EXPECT_EQ(r.outcome, stealth::ExtractResult::Outcome::Extracted);
    return sink.data();
}

const MadeCarriers &MadeCarriers::Get() {
    static const MadeCarriers made;
    return made;
}

MadeCarriers::MadeCarriers() {
    const std::string base = path("base.png");
    Run("convert -size 256x180 -seed 7 plasma:fractal -blur 0x1 \\( -size 180x256 gradient:black-white -rotate 90 "
        "-level 10%,100% \\) -alpha off -compose copy_opacity -composite '" +
        base + "'");
    for (int ct : {0, 2, 4, 6})
        for (int depth : {8, 16})
            for (bool il : {false, true})
                Run("convert '" + base + "' " + (ct == 0 || ct == 4 ? "-colorspace gray " : "") + "-depth " +
                    std::to_string(depth) + " -interlace " + (il ? "PNG" : "none") + " -define png:color-type=" +
                    std::to_string(ct) + " -define png:bit-depth=" + std::to_string(depth) + " '" +
                    path("ct" + std::to_string(ct) + "_" + std::to_string(depth) + (il ? "_i" : "") + ".png") + "'");
    Run("convert '" + base +
        "' -alpha off -depth 8 -set comment 'Created with GIMP' -density 72 "
        "-define png:include-chunk=bKGD,pHYs,tIME,tEXt,gAMA,cHRM,sRGB '" +
        path("gimp.png") + "'");
    Run("convert '" + base +
        "' -alpha off -depth 8 -fill '#808080' -draw 'rectangle 10,10 60,60' "
        "-transparent '#808080' -define png:color-type=2 '" +
        path("key.png") + "'");
    Run("convert -size 320x200 xc:'#ececec' -fill '#3070c0' -draw 'rectangle 0,0 320,24' -fill black "
        "-draw 'line 12,50 200,50' -draw 'rectangle 12,60 30,70' '" +
        base +
        "' -geometry 240x150+70+40 "
        "-composite -alpha off -depth 8 -define png:color-type=2 '" +
        path("screen.png") + "'");
    Run("convert -size 320x200 xc:'#ececec' -depth 8 -define png:color-type=2 '" + path("flat.png") + "'");
    MakeWav(path("cd.wav"), 2, 44100, 16, 88200, 0);
    WriteAll(path("cd.cue"), std::string("FILE \"cd.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                         "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n"));
    Run("flac -s -f --tag=TITLE=Kalmira --picture='" + path("ct2_8.png") + "' --cuesheet='" + path("cd.cue") +
        "' -o '" + path("cd.flac") + "' '" + path("cd.wav") + "'");
    MakeWav(path("m24.wav"), 1, 48000, 24, 48000, 0);
    Run("flac -s -f -8 -o '" + path("m24.flac") + "' '" + path("m24.wav") + "'");
    MakeWav(path("p24.wav"), 2, 48000, 24, 24000, 8); // 16-bit material in 24-bit samples
    Run("flac -s -f -o '" + path("p24.flac") + "' '" + path("p24.wav") + "'");
    MakeWav(path("s6.wav"), 6, 48000, 16, 9000, 0);
    Run("sox '" + path("s6.wav") + "' '" + path("sox6.flac") + "'");
}

std::string CopyMade(const TempDir &dir, const std::string &name) {
    const std::string path = dir.file(name);
    WriteAll(path, ReadAll(MadeCarriers::Get().path(name)));
    ::chmod(path.c_str(), 0640);
    return path;
}

} // namespace kalmira::test
