// SPDX-License-Identifier: MIT
// Every program's German table translates exactly the ids of its English
// table, each one finished and with the same placeholders, so no text of a
// German desktop falls back to English or shows a bare key.
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <map>

namespace {

struct Entry {
    QString text;
    bool finished = true;
};

// id -> translation of an id-based .ts file; empty on a parse error.
std::map<QString, Entry> readTable(const QString& path, QString* error)
{
    std::map<QString, Entry> table;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QXmlStreamReader xml(&file);
    QString id;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"message") {
            id = xml.attributes().value(QLatin1String("id")).toString();
        } else if (xml.name() == u"translation") {
            Entry entry;
            const QStringView type = xml.attributes().value(QLatin1String("type"));
            entry.finished = type.isEmpty();
            entry.text = xml.readElementText();
            table[id] = entry;
        }
    }
    if (xml.hasError()) {
        *error = xml.errorString();
        return {};
    }
    return table;
}

QSet<QString> placeholders(const QString& text)
{
    static const QRegularExpression arg(QStringLiteral("%\\d+"));
    QSet<QString> found;
    for (auto it = arg.globalMatch(text); it.hasNext();)
        found.insert(it.next().captured());
    return found;
}

}  // namespace

TEST(StringTables, GermanTableMatchesEveryEnglishTable)
{
    int tables = 0;
    QDirIterator it(QStringLiteral(QN_SOURCE_DIR "/src"), {QStringLiteral("*_en.ts")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString englishPath = it.next();
        const QString germanPath = englishPath.chopped(6) + QStringLiteral("_de.ts");
        SCOPED_TRACE(germanPath.toStdString());
        ++tables;
        QString error;
        const auto english = readTable(englishPath, &error);
        ASSERT_FALSE(english.empty()) << error.toStdString();
        ASSERT_TRUE(QFile::exists(germanPath)) << "no German table";
        const auto german = readTable(germanPath, &error);
        ASSERT_FALSE(german.empty()) << error.toStdString();

        for (const auto& [id, entry] : english) {
            const auto found = german.find(id);
            if (found == german.end()) {
                ADD_FAILURE() << "not translated: " << id.toStdString();
                continue;
            }
            EXPECT_TRUE(found->second.finished && !found->second.text.isEmpty())
                << "unfinished: " << id.toStdString();
            EXPECT_EQ(placeholders(found->second.text), placeholders(entry.text))
                << "placeholders differ: " << id.toStdString();
        }
        for (const auto& [id, entry] : german)
            EXPECT_TRUE(english.count(id)) << "not in the English table: " << id.toStdString();
    }
    EXPECT_GE(tables, 6) << "the program tables were not found under " QN_SOURCE_DIR;
}
