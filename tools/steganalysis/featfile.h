// Feature files: per carrier its group (photo or recording), SPAM features
// (none for sound) and targeted statistics, in list order.
#pragma once

#include <string>
#include <vector>

#include "ensemble.h"

namespace analysis {

struct FeatureSet {
    std::vector<int> groups;
    Matrix features; // n x d (d = 0 for sound)
    std::vector<std::string> statNames;
    std::vector<std::vector<double>> stats; // n x statNames.size()
};

bool SaveFeatures(const std::string &path, const FeatureSet &f);
bool LoadFeatures(const std::string &path, FeatureSet &f);

// A list file: one carrier per line, "group<TAB>path"; groups become small integers.
struct ListEntry {
    int group;
    std::string path;
};
std::vector<ListEntry> ReadList(const std::string &path);

} // namespace analysis
