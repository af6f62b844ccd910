#include "info/help_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

using namespace kalmira;
using namespace kalmira::info;

namespace {

struct Layout {
    Program program;
    std::size_t entries;
    std::vector<std::pair<int, std::string>> headings; // entry, full line
    std::vector<int> separators;
    int trailingEmpty;
};

std::string Heading(int blanks, const std::string &text) {
    return std::string(blanks, ' ') + "*** " + text + " ***";
}

const Layout kB{Program::B, 162,
                {{1, Heading(15, "WAS IST STEGANOGRAPHIE?")},
                 {11, Heading(2, "VERSTECKEN VON DATEIEN IN  BMP ODER WAV-DATEIEN MIT KALMIRAB")},
                 {38, Heading(12, "VERSTECKEN EINER DATEI")},
                 {101, Heading(12, "EXTRAHIEREN EINER DATEI")},
                 {125, Heading(11, "ZUSÄTZLICH VERWENDETE VERSCHLÜSSELUNGSVERFAHREN")},
                 {139, Heading(12, "EINE DATEI NACH DEM VERSTECKEN VERNICHTEN")}},
                {36, 99, 123, 137, 146},
                15};

const Layout kA{Program::A, 146,
                {{1, Heading(15, "WAS IST STEGANOGRAPHIE?")},
                 {11, Heading(2, "VERSTECKEN VON BOTSCHAFTEN IN  BMP ODER WAV-DATEIEN MIT KALMIRAA")},
                 {36, Heading(12, "VERSTECKEN EINER BOTSCHAFT")},
                 {89, Heading(12, "EXTRAHIEREN EINER BOTSCHAFT")},
                 {108, Heading(11, "ZUSÄTZLICH VERWENDETE VERSCHLÜSSELUNGSVERFAHREN")},
                 {122, Heading(12, "EINE DATEI NACH DEM VERSTECKEN VERNICHTEN")}},
                {34, 87, 106, 120, 129},
                16};

std::size_t CodePoints(const std::string &s) {
    return std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; });
}

bool IsSeparator(const std::string &s) {
    return !s.empty() && s.find_first_not_of('_') == std::string::npos;
}

// The lines of section n (0..5): from below its heading to the next
// separator or heading.
std::vector<std::string> Section(const Layout &layout, int n) {
    const auto &text = HelpText(layout.program);
    std::vector<std::string> lines;
    for (std::size_t i = layout.headings[n].first + 1; i < text.size(); ++i) {
        if (IsSeparator(text[i]) || text[i].find("*** ") != std::string::npos) break;
        lines.push_back(text[i]);
    }
    return lines;
}

// A phrase must stand on one line of the section, not broken across two.
void ExpectInSection(const Layout &layout, int n, const std::vector<std::string> &phrases) {
    const auto lines = Section(layout, n);
    for (const std::string &p : phrases) {
        const bool found = std::any_of(lines.begin(), lines.end(),
                                       [&](const std::string &l) { return l.find(p) != std::string::npos; });
        EXPECT_TRUE(found) << ProgramName(layout.program) << " section " << n << " lacks: " << p;
    }
}

bool Contains(Program program, const std::string &phrase) {
    const auto &text = HelpText(program);
    return std::any_of(text.begin(), text.end(), [&](const std::string &l) { return l.find(phrase) != std::string::npos; });
}

class HelpLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(HelpLayout, HeadingsSeparatorsAndTrailingEntriesStandWhereTheyBelong) {
    const Layout &layout = GetParam();
    const auto &text = HelpText(layout.program);
    ASSERT_EQ(text.size(), layout.entries);

    std::vector<int> headings, separators;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i].find("***") != std::string::npos) headings.push_back(int(i));
        if (IsSeparator(text[i])) separators.push_back(int(i));
    }
    ASSERT_EQ(headings.size(), layout.headings.size());
    for (std::size_t k = 0; k < headings.size(); ++k) {
        const int at = layout.headings[k].first;
        EXPECT_EQ(headings[k], at);
        EXPECT_EQ(text[at], layout.headings[k].second);
        EXPECT_EQ(text[at - 1], "") << "entry above heading " << at;
        EXPECT_EQ(text[at + 1], "") << "entry below heading " << at;
    }
    EXPECT_EQ(separators, layout.separators);
    for (int s : separators) {
        EXPECT_GE(text[s].size(), 84u);
        EXPECT_LE(text[s].size(), 91u);
    }
    // Only empty entries after the last separator.
    const int last = layout.separators.back();
    EXPECT_EQ(int(text.size()) - 1 - last, layout.trailingEmpty);
    for (std::size_t i = last + 1; i < text.size(); ++i) EXPECT_EQ(text[i], "") << i;
}

TEST_P(HelpLayout, TextLinesFollowTheIndentRules) {
    const Layout &layout = GetParam();
    const auto &text = HelpText(layout.program);
    static const std::regex running("^ [^ ].*[^ ]$|^ [^ ]$");
    static const std::regex item("^  - [^ ].*[^ ]$");
    static const std::regex continuation("^    [^ ].*[^ ]$");
    std::string previousKind;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string &l = text[i];
        EXPECT_EQ(l.find('\t'), std::string::npos) << i;
        EXPECT_LE(CodePoints(l), 91u) << "too wide for the list: " << i;
        std::string kind;
        if (l.empty() || IsSeparator(l) || l.find("***") != std::string::npos) kind = "other";
        else if (std::regex_match(l, item)) kind = "item";
        else if (std::regex_match(l, continuation)) kind = "continuation";
        else if (std::regex_match(l, running)) kind = "running";
        EXPECT_FALSE(kind.empty()) << "entry " << i << ": \"" << l << "\"";
        if (kind == "continuation") {
            EXPECT_TRUE(previousKind == "item" || previousKind == "continuation")
                << "continuation without a list item at " << i;
        }
        previousKind = kind;
    }
}

TEST_P(HelpLayout, TopicsScrollToTheEmptyEntryAboveTheirHeading) {
    const Layout &layout = GetParam();
    const auto &text = HelpText(layout.program);
    const auto &topics = Topics(layout.program);
    std::vector<int> indices;
    for (std::size_t k = 0; k < topics.size(); ++k) {
        indices.push_back(topics[k].index);
        ASSERT_EQ(TopicEntry(layout.program, topics[k].index), topics[k].entry);
        EXPECT_EQ(text[topics[k].entry], "");
        EXPECT_NE(text[topics[k].entry + 1].find("***"), std::string::npos) << topics[k].caption;
    }
    EXPECT_EQ(indices, (std::vector<int>{3, 0, 1, 4, 2}));
    // Sections 1, 3, 4, 5, 6 in frame order; the last one can reach the top
    // of a 24-line list.
    const int sections[] = {0, 2, 3, 4, 5};
    for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(topics[k].entry + 1, layout.headings[sections[k]].first) << k;
    EXPECT_GE(int(text.size()) - topics[4].entry, 24);
    EXPECT_EQ(TopicEntry(layout.program, 0), HideHelpEntry(layout.program));
    EXPECT_EQ(TopicEntry(layout.program, 1), ExtractHelpEntry(layout.program));
    EXPECT_EQ(TopicEntry(layout.program, 5), -1);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, HelpLayout, ::testing::Values(kB, kA),
                         [](const auto &info) { return std::string(ProgramName(info.param.program)); });

TEST(HelpText, BindingFactsOfKalmiraB) {
    ExpectInSection(kB, 1, {"\"Least Significant Bit\"", "8-mal", "24 Bit", "8 Bit", "JPG", "GIF",
                            "\"CONVERT\"", "Programme", "Archive", "KalmiraA"});
    ExpectInSection(kB, 2, {"9.999.999 Byte", "9,53 MByte", "8-mal", "256 Bit", "16 Zeichen",
                            "Hashwert", "AES-256", "RC4", "\"Verstecken\"", "\"Show\"", "\"Play\"",
                            "( > )", "verschachteln",
                            "\"Zu versteckende Datei  zusätzlich verschlüsseln?\"",
                            "\"BMP-Container im Anzeigefeld darstellen\"",
                            "\"Eine Kopie der ContainerDatei erzeugen\"", "Testzwecke"});
    ExpectInSection(kB, 3, {"\"Extrahieren\"", "\"Show\"", "\"Play\"", "\"ShowExtrakt\"", "( > )",
                            "Passwort", "Verknüpfung"});
    ExpectInSection(kB, 4, {"AES", "Rijndael", "NIST", "RC4"});
    ExpectInSection(kB, 5, {"\"Shredder\"", "Undelete"});
    EXPECT_FALSE(Contains(Program::B, "( >> )"));
}

TEST(HelpText, BindingFactsOfKalmiraA) {
    ExpectInSection(kA, 1, {"\"Least Significant Bit\"", "8-mal", "24 Bit", "8 Bit", "JPG", "GIF",
                            "\"CONVERT\"", "ASCII-Text", "KalmiraB"});
    ExpectInSection(kA, 2, {"64 KB", "32 KB", "KalmiraB", "8-mal", "256 Bit", "16 Zeichen",
                            "Hashwert", "AES-256", "RC4", "( >> )",
                            "\"Text vor dem Verstecken zusätzlich verschlüsseln?\"",
                            "\"BMP-Containerdatei im Anzeigefeld darstellen\"",
                            "\"Eine Kopie der ContainerDatei erzeugen\"", "Testzwecke"});
    ExpectInSection(kA, 3, {"\"Extrahieren\"", "\"Show\"", "\"Play\"", "( >> )", "Passwort"});
    ExpectInSection(kA, 4, {"AES", "Rijndael", "NIST", "RC4"});
    ExpectInSection(kA, 5, {"\"Shredder\"", "Undelete"});
    // KalmiraA has no file extraction of its own and no single-arrow button.
    EXPECT_FALSE(Contains(Program::A, "( > )"));
    EXPECT_FALSE(Contains(Program::A, "ShowExtrakt"));
    EXPECT_FALSE(Contains(Program::A, "9.999.999"));
}

} // namespace
