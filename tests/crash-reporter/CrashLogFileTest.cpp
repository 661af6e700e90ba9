// SPDX-License-Identifier: MIT
#include "QNCrashLogFile.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <ctime>
#include <gtest/gtest.h>

#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <utime.h>

namespace {

QString writeLog(const QString& name, const QByteArray& bytes)
{
    const QString dir = qn::test::homeDir() + QStringLiteral("/logs");
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name;
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    return path;
}

QStringList cut(const char* text)
{
    const std::optional<QNCrashEntryList> entries = QNCrashLogFile::entriesFromUtf8(QByteArray(text));
    EXPECT_TRUE(entries.has_value());
    return entries ? entries->toStringList() : QStringList();
}

}  // namespace

// How a log's text is cut into entries.
struct Cutting {
    const char* name;
    const char* text;
    QStringList entries;
};

class QNCrashLogCutting : public ::testing::TestWithParam<Cutting> {};

TEST_P(QNCrashLogCutting, GivesTheseEntries)
{
    EXPECT_EQ(cut(GetParam().text), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, QNCrashLogCutting,
    ::testing::Values(
        Cutting{"separatorOnFirstLineRunsToEndOfFile", "**********\n\nDate/Time: 2026-01-01\nCommand: a\n\n",
                {"Date/Time: 2026-01-01\nCommand: a\n\n"}},
        Cutting{"entryEndsAtLastNonBlankLineBeforeNextSeparator",
                "**********\nDate/Time: one\nx\n\n**********\nDate/Time: two\ny\n",
                {"Date/Time: one\nx", "Date/Time: two\ny\n"}},
        Cutting{"trailingSpaceBreaksSeparator", "********** \nDate/Time: a\n", {}},
        Cutting{"nineAsterisksAreNoSeparator", "*********\nDate/Time: a\n", {}},
        Cutting{"elevenAsterisksAreNoSeparator", "***********\nDate/Time: a\n", {}},
        Cutting{"leadingWhiteSpaceKeepsSeparator", "pre\n \t**********\nDate/Time: a\n", {"Date/Time: a\n"}},
        Cutting{"chunkWithoutDateIsKeptWhole", "**********\nno date here\n\n\n**********\nDate/Time: b",
                {"**********\nno date here", "Date/Time: b"}},
        Cutting{"chunkWithoutDateStartsAtTheLineBreak", "head\n\n**********\nno date\n",
                {"\n\n**********\nno date\n"}},
        Cutting{"textBeforeTheFirstDateIsDropped", "**********\nnoise\nDate/Time: c\nDate/Time: again",
                {"Date/Time: c\nDate/Time: again"}},
        Cutting{"emptyText", "", {}},
        Cutting{"blankLinesOnly", "\n\n  \n", {}},
        Cutting{"unicodeBlankLinesCountAsBlank", "x\n\u2028\u0085\u00a0\u3000**********\nDate/Time: u\n",
                {"Date/Time: u\n"}},
        Cutting{"unicodeLineSeparatorInsideALineIsOrdinary", "x\u2028**********\nDate/Time: u\n", {}},
        Cutting{"multiByteCharacterIsNotBlank", "x\n\u3000\U0001F600**********\nDate/Time: u\n", {}},
        Cutting{"multiByteCharactersAreKept", "\u00e9\n**********\nDate/Time: \u00e9\U0001F600\n",
                {QStringLiteral("Date/Time: \u00e9\U0001F600\n")}},
        Cutting{"leadingByteOrderMarkIsSkipped", "\xEF\xBB\xBF**********\nno date\n", {"**********\nno date\n"}},
        Cutting{"byteOrderMarkElsewhereIsOrdinary", "x\n\xEF\xBB\xBF**********\nDate/Time: a\n", {}}),
    [](const ::testing::TestParamInfo<Cutting>& info) { return std::string(info.param.name); });

TEST(QNCrashLogFile, NoSeparatorGivesEmptyListNotNil)
{
    const QString path = writeLog(QStringLiteral("noseparator.log"), "Date/Time: a\nnothing else\n");
    QNCrashLogFile log(path);
    ASSERT_TRUE(log.crashEntries().has_value());
    EXPECT_TRUE(log.crashEntries()->isEmpty());
    EXPECT_TRUE(log.modificationDate().isValid());
}

TEST(QNCrashLogFile, CrLfAndLoneCrCutLikeLf)
{
    const QStringList lf = cut("a\n**********\nDate/Time: 1\nb\n\n**********\nDate/Time: 2\n");
    QStringList crlf = cut("a\r\n**********\r\nDate/Time: 1\r\nb\r\n\r\n**********\r\nDate/Time: 2\r\n");
    QStringList cr = cut("a\r**********\rDate/Time: 1\rb\r\r**********\rDate/Time: 2\r");
    ASSERT_EQ(crlf.size(), 2);
    ASSERT_EQ(cr.size(), 2);
    for (QString& s : crlf)
        s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QString& s : cr)
        s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    EXPECT_EQ(crlf, lf);
    EXPECT_EQ(cr, lf);
}

TEST(QNCrashLogFile, MalformedUtf8IsReplacedWithinItsEntryOnly)
{
    const char* const bad[] = {
        "\xC0\x80",          // overlong NUL
        "\xE0\x9F\xBF",      // overlong three-byte form
        "\xED\xA0\x80",      // surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF8\x88\x80\x80\x80",
        "\xE2\x82",          // cut short
        "\x80",              // lone continuation byte
        "\xC0\xA0",          // an overlong space is no space
    };
    const QByteArray first = "**********\nDate/Time: a\nPath: /x\n";
    const QByteArray last = "\n**********\nDate/Time: c\n";
    for (const char* b : bad) {
        const QByteArray text = first + "\n**********\nDate/Time: b " + QByteArray(b) + "01234567\n" + last;
        const std::optional<QNCrashEntryList> entries = QNCrashLogFile::entriesFromUtf8(text);
        ASSERT_TRUE(entries.has_value()) << text.toHex().constData();
        ASSERT_EQ(entries->size(), 3) << text.toHex().constData();
        EXPECT_EQ(entries->at(0), QStringLiteral("Date/Time: a\nPath: /x"));
        EXPECT_TRUE(entries->at(1).startsWith(QStringLiteral("Date/Time: b \uFFFD")));
        EXPECT_TRUE(entries->at(1).endsWith(QStringLiteral("\uFFFD01234567")));
        EXPECT_EQ(entries->at(2), QStringLiteral("Date/Time: c\n"));
    }
    // A bad sequence in front of the asterisks keeps the line from being a separator.
    EXPECT_EQ(QNCrashLogFile::entriesFromUtf8(first + "\xC0\xA0**********\nDate/Time: b\n")->size(), 1);
    // Noncharacters and the highest code point are well-formed and kept.
    EXPECT_EQ(QNCrashLogFile::entriesFromUtf8("**********\nDate/Time: \xEF\xBF\xBF\xF4\x8F\xBF\xBF")->at(0),
              QString::fromUtf8("Date/Time: \xEF\xBF\xBF\xF4\x8F\xBF\xBF"));
}

TEST(QNCrashLogFile, EntryListsFromStringsCompareAndConvertBack)
{
    const QStringList strings{QStringLiteral("Date/Time: \u00e9"), QString(), QStringLiteral("Date/Time: b\n")};
    const QNCrashEntryList list(strings);
    EXPECT_EQ(list.toStringList(), strings);
    EXPECT_EQ(list.value(3), QString());
    EXPECT_EQ(list.value(-1), QString());
    const std::optional<QNCrashEntryList> cutList =
        QNCrashLogFile::entriesFromUtf8("**********\nDate/Time: \xC3\xA9\n**********\n\n**********\nDate/Time: b\n");
    ASSERT_TRUE(cutList.has_value());
    EXPECT_EQ(cutList->size(), 3);
    EXPECT_FALSE(*cutList == list);  // the first entry ends with its line break
    EXPECT_TRUE(QNCrashEntryList(cutList->toStringList()) == *cutList);
    QNCrashLogFile log;
    log.setCrashEntries(strings);
    EXPECT_EQ(log.crashEntries()->last(), strings.last());
}

TEST(QNCrashLogFile, LogThatGrowsWhileReadIsReadToItsEnd)
{
    // A pipe has no size up front, so the reader has to grow its buffer.
    const QString path = qn::test::homeDir() + QStringLiteral("/logs/pipe.crash.log");
    QDir().mkpath(qn::test::homeDir() + QStringLiteral("/logs"));
    QFile::remove(path);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QByteArray text;
    for (int i = 0; i < 2000; ++i)
        text += "**********\n\nDate/Time: " + QByteArray::number(i) + "\nBacktrace:\n" + QByteArray(100, 'x') + "\n";
    std::thread writer([&] {
        QFile out(path);
        if (out.open(QIODevice::WriteOnly))
            out.write(text);
    });
    QNCrashLogFile log(path);
    writer.join();
    ASSERT_TRUE(log.crashEntries().has_value());
    EXPECT_EQ(log.crashEntries()->size(), 2000);
    EXPECT_TRUE(*log.crashEntries() == *QNCrashLogFile::entriesFromUtf8(text));
    EXPECT_TRUE(log.crashEntries()->last().startsWith(QStringLiteral("Date/Time: 1999\n")));
}

TEST(QNCrashLogFile, MissingFileThenCreatedIsReportedModified)
{
    const QString path = qn::test::homeDir() + QStringLiteral("/logs/missing.crash.log");
    QFile::remove(path);
    QNCrashLogFile log(path);
    EXPECT_FALSE(log.modificationDate().isValid());
    EXPECT_FALSE(log.crashEntries().has_value());
    EXPECT_FALSE(log.isModifiedSinceLastRead());
    writeLog(QStringLiteral("missing.crash.log"), "**********\nDate/Time: now\n");
    EXPECT_TRUE(log.isModifiedSinceLastRead());
    log.readFromFile();
    EXPECT_FALSE(log.isModifiedSinceLastRead());
    ASSERT_TRUE(log.crashEntries().has_value());
    EXPECT_EQ(log.crashEntries()->size(), 1);
}

TEST(QNCrashLogFile, AppendIsModifiedSameTimeRewriteIsNot)
{
    const QString path = writeLog(QStringLiteral("times.log"), "**********\nDate/Time: a\n");
    // An hour in the past, so that the append below gets another time without waiting.
    struct timespec past[2];
    ::clock_gettime(CLOCK_REALTIME, &past[0]);
    past[0].tv_sec -= 3600;
    past[1] = past[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), past, 0), 0);
    struct stat before{};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
    QNCrashLogFile log(path);
    EXPECT_FALSE(log.isModifiedSinceLastRead());

    // Rewrite with other content but put the old modification time back.
    writeLog(QStringLiteral("times.log"), "**********\nDate/Time: b\n");
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    EXPECT_FALSE(log.isModifiedSinceLastRead());

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("\n**********\nDate/Time: c\n");
    f.close();
    EXPECT_TRUE(log.isModifiedSinceLastRead());
    log.readFromFile();
    ASSERT_EQ(log.crashEntries()->size(), 2);
    EXPECT_EQ(log.crashEntries()->last(), QStringLiteral("Date/Time: c\n"));
}

TEST(QNCrashLogFile, InvalidUtf8InAFileStillGivesItsNewestEntry)
{
    const QString path =
        writeLog(QStringLiteral("bad.log"), "**********\nDate/Time: \xff\xfe\n**********\nDate/Time: new\n");
    QNCrashLogFile log(path);
    EXPECT_TRUE(log.modificationDate().isValid());
    ASSERT_TRUE(log.crashEntries().has_value());
    ASSERT_EQ(log.crashEntries()->size(), 2);
    EXPECT_EQ(log.crashEntries()->first(), QStringLiteral("Date/Time: \uFFFD\uFFFD"));
    EXPECT_EQ(log.crashEntries()->last(), QStringLiteral("Date/Time: new\n"));
    EXPECT_FALSE(log.isModifiedSinceLastRead());
}

TEST(QNCrashLogFile, SymbolicLinkIsFollowedAndNilPathReadsNothing)
{
    const QString target = writeLog(QStringLiteral("real.log"), "**********\nDate/Time: l\n");
    const QString link = qn::test::homeDir() + QStringLiteral("/logs/link.log");
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(target, link));
    QNCrashLogFile log(link);
    ASSERT_TRUE(log.crashEntries().has_value());
    EXPECT_EQ(log.crashEntries()->value(0), QStringLiteral("Date/Time: l\n"));

    QNCrashLogFile none;
    EXPECT_FALSE(none.isModifiedSinceLastRead());
    none.readFromFile();
    EXPECT_FALSE(none.crashEntries().has_value());
    EXPECT_FALSE(none.modificationDate().isValid());
}

TEST(QNCrashLogFile, PathFollowsStateHome)
{
    const QString expected = qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/qnlab/CrashReporter/Foo.crash.log");
    EXPECT_EQ(QNCrashLogFile::crashLogFilePathForApplicationName(QStringLiteral("Foo")), expected);
}

TEST(QNCrashLogFile, RecordedDataFileOfThreeCrashesGivesTheThirdLast)
{
    QNCrashLogFile log(qn::test::dataPath(QStringLiteral("crash/three-crashes.crash.log")));
    ASSERT_TRUE(log.crashEntries().has_value());
    ASSERT_EQ(log.crashEntries()->size(), 3);
    EXPECT_TRUE(log.crashEntries()->last().startsWith(QStringLiteral("Date/Time")));
    EXPECT_TRUE(log.crashEntries()->last().contains(QStringLiteral("PID:            3003")));
    EXPECT_TRUE(log.crashEntries()->first().contains(QStringLiteral("PID:            3001")));
}
