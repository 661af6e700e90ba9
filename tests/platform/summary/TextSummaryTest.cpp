// SPDX-License-Identifier: MIT
#include "summary/TextSummary.h"

#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

using qn::summary::TextSummary;

namespace {

QString declaration()
{
    QFile f(qn::test::dataPath(QStringLiteral("summary/declaration.txt")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

}  // namespace

TEST(TextSummary, SentencesEndAtTerminatorsNotAtAbbreviations)
{
    TextSummary s(QStringLiteral("Mr. Smith met Dr. Jones at noon. They spoke briefly! Was it useful? Nobody knows."));
    ASSERT_EQ(s.sentenceCount(), 4);
    EXPECT_EQ(s.sentence(0), QStringLiteral("Mr. Smith met Dr. Jones at noon."));
    EXPECT_EQ(s.sentence(3), QStringLiteral("Nobody knows."));
    EXPECT_EQ(s.paragraphCount(), 1);
}

TEST(TextSummary, ParagraphsEndAtBlankLinesSeparatorsAndIndentation)
{
    // A single line end is a space; blank lines (also with blanks on them),
    // U+2029 and a deeper-indented line start a new paragraph.
    TextSummary s(QStringLiteral("One here. Two there.\r\n\r\n   \nThree without stop\nFour.\u2029Five.\n"
                                 "    Indented first line\nof six. Seven.\n    Eight\n    stays together."));
    EXPECT_EQ(s.paragraphCount(), 5);
    EXPECT_EQ(s.sentence(2), QStringLiteral("Three without stop Four."));
    EXPECT_EQ(s.paragraphSummary(10),
              QStringLiteral("One here. Two there.\nThree without stop Four.\nFive.\n"
                             "Indented first line of six. Seven.\nEight stays together."));
}

TEST(TextSummary, HardWrappedTextKeepsWholeSentences)
{
    QFile f(qn::test::dataPath(QStringLiteral("summary/pride-and-prejudice.txt")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    TextSummary s(QString::fromUtf8(f.readAll()));
    EXPECT_EQ(s.paragraphCount(), 9);
    EXPECT_EQ(s.sentence(0), QStringLiteral("It is a truth universally acknowledged, that a single man in possession "
                                            "of a good fortune, must be in want of a wife."));
    const QString two = s.sentenceSummary(2);
    int whole = 0;
    for (int i = 0; i < s.sentenceCount(); ++i) {
        EXPECT_FALSE(s.sentence(i).contains(u'\n')) << i;
        if (two.contains(s.sentence(i)))
            ++whole;
    }
    EXPECT_EQ(whole, 2) << "the summary is two whole sentences: " << two.toStdString();
    EXPECT_TRUE(two.contains(QStringLiteral("this truth is so well fixed in the minds of the surrounding families")))
        << two.toStdString();
}

TEST(TextSummary, EmptyAndBlankTextsHaveNothingToSummarise)
{
    for (const QString& text : {QString(), QStringLiteral(""), QStringLiteral(" \n\t\r\n ")}) {
        TextSummary s(text);
        EXPECT_EQ(s.sentenceCount(), 0);
        EXPECT_EQ(s.paragraphCount(), 0);
        EXPECT_TRUE(s.sentenceSummary(3).isEmpty());
        EXPECT_TRUE(s.paragraphSummary(3).isEmpty());
    }
}

TEST(TextSummary, CountsBeyondTheTextGiveTheWholeTextAndZeroGivesNothing)
{
    TextSummary s(QStringLiteral("Alpha beta. Gamma delta.\nEpsilon zeta."));
    EXPECT_EQ(s.sentenceSummary(99), QStringLiteral("Alpha beta. Gamma delta. Epsilon zeta."));
    EXPECT_TRUE(s.sentenceSummary(0).isEmpty());
    EXPECT_TRUE(s.sentenceSummary(-2).isEmpty());
    EXPECT_TRUE(s.paragraphSummary(0).isEmpty());
}

TEST(TextSummary, OffTopicSentencesAreDroppedFirstAndOrderIsKept)
{
    const QString text = QStringLiteral(
        "The drive tray opens when the drive is idle. "
        "My cat likes warm windows. "
        "A busy drive keeps its tray closed until the disc is unmounted. "
        "Breakfast was late today. "
        "Closing the tray makes the drive read the disc again.");
    TextSummary s(text);
    ASSERT_EQ(s.sentenceCount(), 5);
    const QString three = s.sentenceSummary(3);
    EXPECT_EQ(three, s.sentence(0) + u' ' + s.sentence(2) + u' ' + s.sentence(4));
    const QString four = s.sentenceSummary(4);
    EXPECT_FALSE(four.contains(s.sentence(1)) && four.contains(s.sentence(3)));
}

TEST(TextSummary, StopWordsAloneCarryNoWeight)
{
    // The same content words, but the second sentence is padded with stop words
    // that must not lift it above the first.
    TextSummary s(QStringLiteral("Lasers read discs. Lasers read discs and the of to which it is as was."));
    EXPECT_EQ(s.sentenceSummary(1), QStringLiteral("Lasers read discs."));
}

TEST(TextSummary, NonLatinTextIsSegmented)
{
    TextSummary s(QStringLiteral("Ça marche très bien. Über alles gesagt! Ещё одно предложение. 😀 Fin."));
    EXPECT_EQ(s.sentenceCount(), 4);
}

TEST(TextSummary, DeclarationKeepsItsOpeningAndItsResolution)
{
    const QString text = declaration();
    ASSERT_FALSE(text.isEmpty()) << "tests/data/summary/declaration.txt is missing";
    TextSummary s(text);
    EXPECT_EQ(s.paragraphCount(), 13);
    EXPECT_EQ(s.sentenceCount(), 27);
    EXPECT_TRUE(s.sentence(1).startsWith(QStringLiteral("We hold these truths to be self-evident")));

    // Three sentences: the opening and the resolution declaring independence,
    // in text order; minor grievances are left out.
    const QString three = s.sentenceSummary(3);
    const qsizetype opening = three.indexOf(s.sentence(0));
    ASSERT_GE(opening, 0) << three.toStdString();
    EXPECT_GT(three.indexOf(s.sentence(25)), opening) << three.toStdString();
    for (int minor : {14, 15, 16, 19, 23})
        EXPECT_FALSE(three.contains(s.sentence(minor))) << minor;

    // Two paragraphs: the self-evident truths and the resolution, in order.
    const QStringList two = s.paragraphSummary(2).split(u'\n');
    ASSERT_EQ(two.size(), 2);
    EXPECT_TRUE(two[0].startsWith(QStringLiteral("We hold these truths")));
    EXPECT_TRUE(two[0].endsWith(QStringLiteral("let Facts be submitted to a candid world.")));
    EXPECT_TRUE(two[1].startsWith(QStringLiteral("We, therefore, the Representatives")));
}

TEST(TextSummary, SummariesAreInTextOrderAtEverySize)
{
    TextSummary s(declaration());
    ASSERT_GT(s.sentenceCount(), 0);
    for (int n = 1; n <= s.sentenceCount(); ++n) {
        const QString summary = s.sentenceSummary(n);
        qsizetype last = -1;
        int found = 0;
        for (int i = 0; i < s.sentenceCount(); ++i) {
            const qsizetype p = summary.indexOf(s.sentence(i));
            if (p < 0)
                continue;
            ++found;
            EXPECT_GT(p, last) << "n=" << n << " sentence " << i;
            last = p;
        }
        EXPECT_EQ(found, n);
    }
}
