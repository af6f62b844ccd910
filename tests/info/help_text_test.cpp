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

const Layout kB{Program::B, 179,
                {{1, Heading(15, "WAS IST STEGANOGRAPHIE?")},
                 {11, Heading(2, "VERSTECKEN VON DATEIEN IN  BMP ODER WAV-DATEIEN MIT KALMIRAB")},
                 {38, Heading(12, "VERSTECKEN EINER DATEI")},
                 {101, Heading(12, "EXTRAHIEREN EINER DATEI")},
                 {125, Heading(11, "ZUSÄTZLICH VERWENDETE VERSCHLÜSSELUNGSVERFAHREN")},
                 {139, Heading(12, "EINE DATEI NACH DEM VERSTECKEN VERNICHTEN")},
                 {148, Heading(12, "DAS TARNFORMAT")}},
                {36, 99, 123, 137, 146, 163},
                15};

const Layout kA{Program::A, 163,
                {{1, Heading(15, "WAS IST STEGANOGRAPHIE?")},
                 {11, Heading(2, "VERSTECKEN VON BOTSCHAFTEN IN  BMP ODER WAV-DATEIEN MIT KALMIRAA")},
                 {36, Heading(12, "VERSTECKEN EINER BOTSCHAFT")},
                 {89, Heading(12, "EXTRAHIEREN EINER BOTSCHAFT")},
                 {108, Heading(11, "ZUSÄTZLICH VERWENDETE VERSCHLÜSSELUNGSVERFAHREN")},
                 {122, Heading(12, "EINE DATEI NACH DEM VERSTECKEN VERNICHTEN")},
                 {131, Heading(12, "DAS TARNFORMAT")}},
                {34, 87, 106, 120, 129, 146},
                16};

std::size_t CodePoints(const std::string &s) {
    return std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; });
}

bool IsSeparator(const std::string &s) {
    return !s.empty() && s.find_first_not_of('_') == std::string::npos;
}

// The lines of section n (0..6): from below its heading to the next
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

bool Contains(const std::vector<std::string> &lines, const std::string &phrase) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string &l) { return l.find(phrase) != std::string::npos; });
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
        EXPECT_EQ(text[at - 1] + text[at + 1], "") << "entries around heading " << at;
    }
    EXPECT_EQ(separators, layout.separators);
    for (int s : separators) EXPECT_TRUE(text[s].size() >= 84 && text[s].size() <= 91) << s;
    // Only empty entries after the last separator.
    const int last = layout.separators.back();
    EXPECT_EQ(int(text.size()) - 1 - last, layout.trailingEmpty);
    for (std::size_t i = last + 1; i < text.size(); ++i) EXPECT_EQ(text[i], "") << i;
}

TEST_P(HelpLayout, TextLinesFollowTheIndentRules) {
    static const std::regex running("^ [^ ](.*[^ ])?$"), item("^  - [^ ].*[^ ]$"), continuation("^    [^ ].*[^ ]$");
    bool inItem = false; // a continuation only below a list item
    for (const std::string &l : HelpText(GetParam().program)) {
        EXPECT_EQ(l.find('\t'), std::string::npos) << l;
        EXPECT_LE(CodePoints(l), 91u) << "too wide for the list: " << l;
        const bool other = l.empty() || IsSeparator(l) || l.find("***") != std::string::npos;
        const bool isItem = std::regex_match(l, item), cont = inItem && std::regex_match(l, continuation);
        EXPECT_TRUE(other || isItem || cont || std::regex_match(l, running)) << "\"" << l << "\"";
        inItem = isItem || cont;
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

// Numbers and captions the text binds to; each phrase must stand on one line
// of its section, not broken across two. Section -1: absent from the whole text.
TEST(HelpText, BindingNumbersAndCaptions) {
    const std::tuple<const Layout &, int, std::vector<std::string>> cases[] = {
        {kB, 1, {"\"Least Significant Bit\"", "8-mal", "24 Bit", "8 Bit", "\"CONVERT\"", "KalmiraA"}},
        {kB, 2, {"9.999.999 Byte", "9,53 MByte", "8-mal", "256 Bit", "16 Zeichen", "AES-256", "RC4",
                 "\"Verstecken\"", "\"Show\"", "\"Play\"", "( > )", "\"Zu versteckende Datei  zusätzlich verschlüsseln?\"",
                 "\"BMP-Container im Anzeigefeld darstellen\"", "\"Eine Kopie der ContainerDatei erzeugen\""}},
        {kB, 3, {"\"Extrahieren\"", "\"Show\"", "\"Play\"", "\"ShowExtrakt\"", "( > )"}},
        {kB, 5, {"\"Shredder\""}},
        {kB, 6, {"\"Im Tarnformat verstecken (schwer zu entdecken)\"", "24 oder 32 Bit", "\"falsches Passwort\""}},
        {kB, -1, {"( >> )"}},
        {kA, 1, {"\"Least Significant Bit\"", "8-mal", "24 Bit", "8 Bit", "\"CONVERT\"", "KalmiraB"}},
        {kA, 2, {"64 KB", "32 KB", "8-mal", "256 Bit", "16 Zeichen", "AES-256", "RC4", "( >> )",
                 "\"Text vor dem Verstecken zusätzlich verschlüsseln?\"", "\"BMP-Containerdatei im Anzeigefeld darstellen\"",
                 "\"Eine Kopie der ContainerDatei erzeugen\"", "\"Botschaft  in BMP o. WAV-Datei verstecken\""}},
        {kA, 3, {"\"Extrahieren\"", "\"Show\"", "\"Play\"", "( >> )"}},
        {kA, 5, {"\"Shredder\""}},
        {kA, 6, {"\"Im Tarnformat verstecken (schwer zu entdecken)\"", "24 oder 32 Bit", "\"falsches Passwort\""}},
        {kA, -1, {"( > )", "ShowExtrakt", "9.999.999"}}, // no file extraction, no single-arrow button
    };
    for (const auto &[layout, n, phrases] : cases) {
        const auto lines = n < 0 ? HelpText(layout.program) : Section(layout, n);
        for (const std::string &p : phrases)
            EXPECT_EQ(Contains(lines, p), n >= 0) << ProgramName(layout.program) << " section " << n << ": " << p;
    }
}

} // namespace
