// The help text of the info window, its topic links and the version line.
// Plain data, shared by both programs; texts are UTF-8.
#pragma once

#include "shell/ui.h"

#include <array>
#include <string>
#include <vector>

namespace kalmira::info {

// Top entries of the help list for the help buttons of the hide and extract
// windows (the empty entry directly above each section's heading).
inline constexpr int kHideHelpEntryB = 37;
inline constexpr int kExtractHelpEntryB = 100;
inline constexpr int kHideHelpEntryA = 35;
inline constexpr int kExtractHelpEntryA = 88;
inline constexpr int kStealthHelpEntryB = 147;
inline constexpr int kStealthHelpEntryA = 130;

inline constexpr int HideHelpEntry(Program p) { return p == Program::A ? kHideHelpEntryA : kHideHelpEntryB; }
inline constexpr int ExtractHelpEntry(Program p) { return p == Program::A ? kExtractHelpEntryA : kExtractHelpEntryB; }

// One entry per list line: 188 in KalmiraB, 171 in KalmiraA.
const std::vector<std::string> &HelpText(Program program);

// A topic link: the index of its label, its caption and the entry it scrolls
// to the top of the list.
struct Topic {
    int index;
    const char *caption;
    int entry;
};

// The six topics in their order from the top of the frame down.
const std::array<Topic, 6> &Topics(Program program);

// Entry for the topic label with this index; -1 for an unknown index.
int TopicEntry(Program program, int labelIndex);

// "KalmiraB-Info" or "KalmiraA-Info".
std::string InfoCaption(Program program);

// executableName + " - Version: " + major.minor.patch of this build.
std::string VersionLine(const std::string &executableName);

} // namespace kalmira::info
