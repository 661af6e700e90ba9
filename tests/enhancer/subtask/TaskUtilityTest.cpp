// SPDX-License-Identifier: MIT
#include "TaskUtility.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char* name;
    QString line;
    std::optional<QStringList> words;
};

class CommandLineSplitting : public ::testing::TestWithParam<SplitCase> {};

}  // namespace

TEST_P(CommandLineSplitting, GivesTheExpectedWords)
{
    const SplitCase& c = GetParam();
    const auto got = TaskUtility::componentsOfCommandLine(c.line);
    ASSERT_EQ(got.has_value(), c.words.has_value()) << c.line.toStdString();
    if (got) {
        EXPECT_EQ(*got, *c.words);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineSplitting,
    ::testing::Values(
        SplitCase{"Plain", "/bin/echo a b", QStringList{"/bin/echo", "a", "b"}},
        SplitCase{"DoubleQuotedLastWord", "/usr/bin/say -v \"hello big world\"",
                  QStringList{"/usr/bin/say", "-v", "hello big world"}},
        SplitCase{"SingleQuotedPath", "'/opt/my tools/run' -x", QStringList{"/opt/my tools/run", "-x"}},
        SplitCase{"QuotesAroundOneSpace", "\" \"", std::nullopt},
        SplitCase{"EmptyQuotesInTheMiddle", "/bin/echo '' b", std::nullopt},
        SplitCase{"TwoSpaces", "  ", QStringList{}},
        SplitCase{"Empty", "", QStringList{}},
        SplitCase{"BlankOfTabsAndLineEnds", "\t\r\n \u3000", QStringList{}},
        SplitCase{"OtherWhiteSpaceSeparates", "a\tb\nc\u00a0d\u2003e", QStringList{"a", "b", "c", "d", "e"}},
        SplitCase{"SpaceAfterOpeningQuoteDropped", "\"   lead trail  \"", QStringList{"lead trail  "}},
        SplitCase{"UnterminatedQuoteRunsToTheEnd", "cmd \"open to the end ", QStringList{"cmd", "open to the end "}},
        SplitCase{"QuoteInsideAWordIsOrdinary", "a\"b c\"", QStringList{"a\"b", "c\""}},
        SplitCase{"OtherQuoteInsideQuotes", "'it\"s' \"don't\"", QStringList{"it\"s", "don't"}},
        SplitCase{"WordRightAfterClosingQuote", "\"x\"y 'p'\"q\"", QStringList{"x", "y", "p", "q"}},
        SplitCase{"BackslashIsOrdinary", "a\\ b \"c\\\" d\"", QStringList{"a\\", "b", "c\\", "d\""}},
        SplitCase{"NonAsciiWords", "/bin/echo grüße 日本", QStringList{"/bin/echo", "grüße", "日本"}}),
    [](const auto& info) { return std::string(info.param.name); });
