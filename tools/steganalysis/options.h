// Command-line options of the analysis tool: --name value pairs and flags.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace analysis {

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> named; // "--x v" -> named["x"] = "v"; flags -> "1"
    std::string get(const std::string &k, const std::string &fallback) const {
        const auto it = named.find(k);
        return it == named.end() ? fallback : it->second;
    }
    double num(const std::string &k, double fallback) const {
        const auto it = named.find(k);
        return it == named.end() ? fallback : std::stod(it->second);
    }
    bool flag(const std::string &k) const { return named.count(k) != 0; }
};

std::vector<std::string> SplitComma(const std::string &s);

int PicturesCommand(const Args &a);
int SoundsCommand(const Args &a);
int EvaluateCommand(const Args &a);
int JpegCommand(const Args &a);
int EmbedCommand(const Args &a);
int ValuesCommand(const Args &a);

} // namespace analysis
