// kalmira-analysis: steganalysis of the stealth format on real photos and
// recordings (docs/steganalysis.md). Not part of the programs.
#include <cstdio>
#include <cstring>
#include <sstream>

#include "options.h"

namespace analysis {

std::vector<std::string> SplitComma(const std::string &s) {
    std::vector<std::string> out;
    std::stringstream in(s);
    for (std::string part; std::getline(in, part, ',');)
        if (!part.empty()) out.push_back(part);
    return out;
}

} // namespace analysis

namespace {

const char *kUsage = "kalmira-analysis pictures LIST OUTDIR [--schemes cover,v1,uniform,costs-channels,costs-pixels]\n"
                     "                 [--payloads 0.05,0.1,0.2] [--seed N] [--salt-pixels N] [--tag T]\n"
                     "                 [--floor F] [--smooth R] [--no-wet-flat] [--threads N]\n"
                     "kalmira-analysis sounds LIST OUTDIR [--schemes cover,v1,costs-channels] [--payloads ...]\n"
                     "                 [--salt-samples N] [--tag T]\n"
                     "kalmira-analysis evaluate COVER.feat STEGO.feat... [--splits 10] [--seed N] [--learners 51]\n"
                     "                 [--no-ensemble]\n"
                     "kalmira-analysis jpeg LIST\n"
                     "kalmira-analysis embed IN OUT --scheme S --payload BPC [--seed N] [--salt-pixels N]\n"
                     "kalmira-analysis values CARRIER   (colour values or samples: what bpc counts)\n";

} // namespace

int main(int argc, char **argv) {
    using namespace analysis;
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    Args a;
    for (int i = 2; i < argc; ++i) {
        if (std::strncmp(argv[i], "--", 2) == 0) {
            const std::string key = argv[i] + 2;
            const bool isFlag = key.rfind("no-", 0) == 0 || i + 1 >= argc || std::strncmp(argv[i + 1], "--", 2) == 0;
            a.named[key] = isFlag ? "1" : argv[++i];
        } else {
            a.positional.push_back(argv[i]);
        }
    }
    const std::string cmd = argv[1];
    if (cmd == "pictures" && a.positional.size() == 2) return PicturesCommand(a);
    if (cmd == "sounds" && a.positional.size() == 2) return SoundsCommand(a);
    if (cmd == "evaluate" && a.positional.size() >= 2) return EvaluateCommand(a);
    if (cmd == "jpeg" && a.positional.size() == 1) return JpegCommand(a);
    if (cmd == "embed" && a.positional.size() == 2) return EmbedCommand(a);
    if (cmd == "values" && a.positional.size() == 1) return ValuesCommand(a);
    std::fputs(kUsage, stderr);
    return 2;
}
