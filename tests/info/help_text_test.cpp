#include "info/help_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

namespace kalmira {
void PrintTo(Program p, std::ostream *os) { *os << ProgramName(p); }
} // namespace kalmira

using namespace kalmira;
using namespace kalmira::info;

namespace {

bool IsHeading(const std::string &s) { return s.find("*** ") != std::string::npos; }
bool IsSeparator(const std::string &s) { return !s.empty() && s.find_first_not_of('_') == std::string::npos; }
std::size_t CodePoints(const std::string &s) {
    return std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; });
}
bool Mentions(Program p, const std::string &phrase) {
    const auto &t = HelpText(p);
    return std::any_of(t.begin(), t.end(), [&](const std::string &l) { return l.find(phrase) != std::string::npos; });
}

class HelpList : public ::testing::TestWithParam<Program> {};

TEST_P(HelpList, LinesFitTheListAndFollowTheIndentRules) {
    static const std::regex running("^ [^ ](.*[^ ])?$"), item("^  - [^ ].*[^ ]$"), continuation("^    [^ ].*[^ ]$");
    bool inItem = false; // a continuation only below a list item
    for (const std::string &l : HelpText(GetParam())) {
        EXPECT_EQ(l.find('\t'), std::string::npos) << l;
        EXPECT_LE(CodePoints(l), 91u) << "too wide for the list: " << l;
        const bool other = l.empty() || IsSeparator(l) || IsHeading(l);
        const bool isItem = std::regex_match(l, item), cont = inItem && std::regex_match(l, continuation);
        EXPECT_TRUE(other || isItem || cont || std::regex_match(l, running)) << "\"" << l << "\"";
        inItem = isItem || cont;
    }
}

// Each link and help button scrolls the empty entry above a heading to the
// top; the last one still can on a 24-line list.
TEST_P(HelpList, TopicsScrollToTheEmptyEntryAboveTheirHeading) {
    const Program p = GetParam();
    const auto &text = HelpText(p);
    int last = -1;
    for (const Topic &topic : Topics(p)) {
        ASSERT_EQ(TopicEntry(p, topic.index), topic.entry);
        EXPECT_GT(topic.entry, last) << topic.caption;
        EXPECT_EQ(text[topic.entry], "");
        EXPECT_TRUE(IsHeading(text[topic.entry + 1])) << topic.caption;
        last = topic.entry;
    }
    EXPECT_GE(int(text.size()) - last, 24);
    EXPECT_EQ(TopicEntry(p, 0), HideHelpEntry(p));
    EXPECT_EQ(TopicEntry(p, 1), ExtractHelpEntry(p));
    EXPECT_NE(text[TopicEntry(p, 5) + 1].find("*** DAS TARNFORMAT ***"), std::string::npos);
    EXPECT_EQ(TopicEntry(p, 6), -1);
}

INSTANTIATE_TEST_SUITE_P(, HelpList, ::testing::Values(Program::B, Program::A),
                         [](const auto &info) { return ::testing::PrintToString(info.param); });

// Each program describes its own buttons and limits, not the other's.
TEST(HelpTexts, EachProgramNamesItsOwnButtonsAndLimits) {
    for (const char *own : {"( > )", "\"ShowExtrakt\"", "9.999.999 Byte", "\"KalmiraB - Verstecken\""})
        EXPECT_TRUE(Mentions(Program::B, own) && !Mentions(Program::A, own)) << own;
    for (const char *own : {"( >> )", "64 KB", "\"KalmiraA - Verstecken\""})
        EXPECT_TRUE(Mentions(Program::A, own) && !Mentions(Program::B, own)) << own;
    for (const char *both : {"PNG-Bilder", "FLAC-Aufnahmen"}) // the carriers only the Tarnformat takes
        EXPECT_TRUE(Mentions(Program::A, both) && Mentions(Program::B, both)) << both;
}

} // namespace
