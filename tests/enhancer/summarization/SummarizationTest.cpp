// SPDX-License-Identifier: MIT
#include "Summarization.h"

#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QString sentences(int n)
{
    QString s;
    for (int i = 1; i <= n; ++i)
        s += QStringLiteral("Sentence number %1 talks about drive trays. ").arg(i);
    return s;
}

}  // namespace

TEST(Summarization, FreshSummariserHasNoCountsAndNoSummaries)
{
    Summarization s;
    EXPECT_EQ(s.summaryPercent(), 100);
    EXPECT_EQ(s.sentenceSummaryCount(), 0);
    EXPECT_EQ(s.paragraphSummaryCount(), 0);
    EXPECT_TRUE(s.sentenceSummaryString().isNull());
    EXPECT_TRUE(s.paragraphSummaryString().isNull());
}

TEST(Summarization, CountsArePercentOfSentencesRoundedHalfUp)
{
    Summarization s;
    s.setString(sentences(5));
    EXPECT_EQ(s.sentenceSummaryCount(), 5);  // 100 %
    s.setSummaryPercent(50);
    EXPECT_EQ(s.sentenceSummaryCount(), 3);  // 2.5 rounds up
    EXPECT_EQ(s.paragraphSummaryCount(), 3);
    s.setSummaryPercent(30);
    EXPECT_EQ(s.sentenceSummaryCount(), 2);  // 1.5 rounds up
    s.setSummaryPercent(29);
    EXPECT_EQ(s.sentenceSummaryCount(), 1);  // 1.45 rounds down

    s.setString(sentences(10));
    s.setSummaryPercent(1);
    EXPECT_EQ(s.sentenceSummaryCount(), 0);  // 0.1 + 0.5 truncates to 0
    EXPECT_TRUE(s.sentenceSummaryString().isNull());
    EXPECT_TRUE(s.paragraphSummaryString().isNull());
    s.setSummaryPercent(5);
    EXPECT_EQ(s.sentenceSummaryCount(), 1);  // 0.5 rounds up
}

TEST(Summarization, OutOfRangePercentThrowsAndKeepsTheOldValue)
{
    Summarization s;
    s.setSummaryPercent(40);
    for (int bad : {0, 101, -5}) {
        try {
            s.setSummaryPercent(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "The new value is out of range.");
        }
        EXPECT_EQ(s.summaryPercent(), 40);
    }
    EXPECT_NO_THROW(s.setSummaryPercent(1));
    EXPECT_NO_THROW(s.setSummaryPercent(100));
}

TEST(Summarization, SummariesFollowTheTextAndThePercent)
{
    QFile f(qn::test::dataPath(QStringLiteral("summary/declaration.txt")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    Summarization s;
    s.setString(QString::fromUtf8(f.readAll()));
    s.setSummaryPercent(10);                 // 27 sentences -> 3.2 -> 3
    EXPECT_EQ(s.sentenceSummaryCount(), 3);
    const QString summary = s.sentenceSummaryString();
    EXPECT_TRUE(summary.startsWith(QStringLiteral("When in the Course of human events")));
    EXPECT_TRUE(summary.contains(QStringLiteral("Free and Independent States")));
    const QStringList paragraphs = s.paragraphSummaryString().split(u'\n');
    EXPECT_EQ(paragraphs.size(), 3);
    EXPECT_TRUE(paragraphs.first().startsWith(QStringLiteral("We hold these truths")));

    // A new text replaces the old summary at once; none clears it.
    s.setString(QStringLiteral("Short text here. Another one."));
    s.setSummaryPercent(100);
    EXPECT_EQ(s.sentenceSummaryString(), QStringLiteral("Short text here. Another one."));
    s.setString(QString());
    EXPECT_EQ(s.sentenceSummaryCount(), 0);
    EXPECT_TRUE(s.sentenceSummaryString().isNull());
}
