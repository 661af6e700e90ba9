// SPDX-License-Identifier: MIT
// The FTP LIST reply parser, on recorded listings.
#include "QNFTPListParser.h"
#include "QNLowNetwork.h"
#include "TestSupport.h"
#include "TransferTestSupport.h"

#include <gtest/gtest.h>

namespace {

QVariantMap byName(const QVariantList& records, const QString& name)
{
    for (const QVariant& r : records)
        if (r.toMap().value(kQNLowNetworkDirectoryContentsKeyName).toString() == name)
            return r.toMap();
    return {};
}

}  // namespace

TEST(QNFTPListParser, UnixListingKeepsOrderNamesAndTypes)
{
    const QByteArray raw = readFile(qn::test::dataPath("ftplist/unix.txt"));
    ASSERT_FALSE(raw.isEmpty());
    const QVariantList records = QNLowNetwork::parseDirectoryListing(raw);
    EXPECT_EQ(namesOf(records), (QStringList{"docs", "report.txt", "two  spaces.txt", "latest", "huge.iso",
                                             "nogroup.txt", "pipe", QString::fromUtf8("Übersicht.txt")}));
    const QVariantMap docs = byName(records, "docs");
    EXPECT_TRUE(docs.value(kQNLowNetworkDirectoryContentsKeyIsDirectory).toBool());
    EXPECT_FALSE(docs.contains(kQNLowNetworkDirectoryContentsKeyFileSize)) << "sizes only for regular files";
    EXPECT_EQ(byName(records, "report.txt").value(kQNLowNetworkDirectoryContentsKeyFileSize).toULongLong(), 12345u);
    EXPECT_EQ(byName(records, "huge.iso").value(kQNLowNetworkDirectoryContentsKeyFileSize).toULongLong(),
              18446744073709551615ull);
    EXPECT_EQ(byName(records, "nogroup.txt").value(kQNLowNetworkDirectoryContentsKeyFileSize).toULongLong(), 77u);
    const QVariantMap link = byName(records, "latest");
    EXPECT_FALSE(link.value(kQNLowNetworkDirectoryContentsKeyIsDirectory).toBool());
    EXPECT_FALSE(link.contains(kQNLowNetworkDirectoryContentsKeyFileSize));
    EXPECT_FALSE(byName(records, "pipe").contains(kQNLowNetworkDirectoryContentsKeyFileSize));
}

TEST(QNFTPListParser, DosListing)
{
    const QVariantList records = QNLowNetwork::parseDirectoryListing(readFile(qn::test::dataPath("ftplist/dos.txt")));
    EXPECT_EQ(namesOf(records), (QStringList{"Program Files", "setup.exe", "empty.log"}));
    EXPECT_TRUE(byName(records, "Program Files").value(kQNLowNetworkDirectoryContentsKeyIsDirectory).toBool());
    EXPECT_EQ(byName(records, "setup.exe").value(kQNLowNetworkDirectoryContentsKeyFileSize).toULongLong(), 1048576u);
    EXPECT_EQ(byName(records, "empty.log").value(kQNLowNetworkDirectoryContentsKeyFileSize).toULongLong(), 0u);
}

TEST(QNFTPListParser, IncompleteLastLineWaitsUnlessTheListingHasEnded)
{
    const QByteArray raw = readFile(qn::test::dataPath("ftplist/unterminated.txt"));
    const qsizetype firstEnd = raw.indexOf('\n') + 1;
    QNFTPListEntry entry;
    EXPECT_EQ(QNFTPListParser::parseLine(raw.constData(), raw.size(), false, &entry), firstEnd);
    EXPECT_TRUE(entry.valid);
    EXPECT_EQ(entry.name, "complete.txt");
    const char* rest = raw.constData() + firstEnd;
    const qsizetype restSize = raw.size() - firstEnd;
    EXPECT_EQ(QNFTPListParser::parseLine(rest, restSize, false, &entry), 0) << "more may follow";
    EXPECT_EQ(QNFTPListParser::parseLine(rest, restSize, true, &entry), restSize);
    EXPECT_EQ(entry.name, "no-line-end.txt");
    EXPECT_EQ(QNLowNetwork::parseDirectoryListing(raw).size(), 2);
}

TEST(QNFTPListParser, BrokenLinesGiveNoEntryButDoNotStopTheListing)
{
    const QByteArray raw = "drwxr-xr-x 2 o g 4096 Jan 05 12:30\r\n"         // no name
                           "-rw-r--r-- 1 o g 12x Jan 05 12:30 badsize\r\n"  // size not a number
                           "-rw-r--r-- 1 o g 5 Foo 05 12:30 badmonth\r\n"
                           "-rw-r--r-- 1 o g 5 Jan 45 12:30 badday\r\n"
                           "01-05-21  12:30PM  <DIR>\r\n"                  // DOS line without a name
                           "\r\n"
                           "-rw-r--r-- 1 o g 5 Jan 05 12:30 good.txt\r\n";
    const QVariantList records = QNLowNetwork::parseDirectoryListing(raw);
    EXPECT_EQ(namesOf(records), QStringList{"good.txt"});
    EXPECT_TRUE(QNLowNetwork::parseDirectoryListing(QByteArray()).isEmpty());
    EXPECT_TRUE(QNLowNetwork::parseDirectoryListing(QByteArray("\0\0\n\xff\xfe", 5)).isEmpty());
}
