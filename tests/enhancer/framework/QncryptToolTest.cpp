// SPDX-License-Identifier: MIT
#include "QNCrypto.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString qncrypt()
{
    return QDir(qn::test::stageDir()).filePath("bin/qncrypt");
}

}  // namespace

TEST(Qncrypt, EncryptsDecryptsAndPrintsDigests)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString src = dir.filePath("notes.txt");
    {
        QFile f(src);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("line one\nline two\n");
    }
    auto enc = qn::test::runProcess(qncrypt(), {"encrypt", "-k", "a key", src});
    ASSERT_EQ(enc.exitCode, 0) << enc.err.constData();
    EXPECT_EQ(enc.out.trimmed(), (src + ".qne").toUtf8());
    // The library reads what the tool wrote.
    EXPECT_EQ(QNCrypto::dataByDecryptingFileAtPath(src + ".qne", "a key"), QByteArray("line one\nline two\n"));

    auto cat = qn::test::runProcess(qncrypt(), {"cat", "--key", "a key", src + ".qne"});
    EXPECT_EQ(cat.exitCode, 0);
    EXPECT_EQ(cat.out, "line one\nline two\n");

    // Restoring beside the original finds it there: error 102, exit status 1.
    auto dup = qn::test::runProcess(qncrypt(), {"decrypt", "-k", "a key", src + ".qne"});
    EXPECT_EQ(dup.exitCode, 1);
    EXPECT_TRUE(dup.err.contains("102")) << dup.err.constData();
    ASSERT_TRUE(QFile::remove(src));
    auto dec = qn::test::runProcess(qncrypt(), {"decrypt", "-k", "a key", src + ".qne"});
    EXPECT_EQ(dec.exitCode, 0) << dec.err.constData();
    EXPECT_TRUE(QFile::exists(src));

    auto wrong = qn::test::runProcess(qncrypt(), {"cat", "-k", "other", src + ".qne"});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_TRUE(wrong.err.contains("400")) << wrong.err.constData();
    EXPECT_TRUE(wrong.out.isEmpty());

    auto md5 = qn::test::runProcess(qncrypt(), {"md5", "abc", ""});
    EXPECT_EQ(md5.out, "900150983CD24FB0D6963F7D28E17F72\nD41D8CD98F00B204E9800998ECF8427E\n");
}

TEST(Qncrypt, UsageErrorsExitWithTwo)
{
    auto help = qn::test::runProcess(qncrypt(), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("Usage: qncrypt"));
    for (const QStringList& args : {QStringList{}, QStringList{"encrypt", "file"}, QStringList{"encrypt", "-k", "", "f"},
                                    QStringList{"frobnicate", "-k", "k", "f"}, QStringList{"decrypt", "-k"},
                                    QStringList{"encrypt", "-k", "k"}, QStringList{"md5"}}) {
        auto r = qn::test::runProcess(qncrypt(), args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
}

TEST(Qncrypt, NamesAreBytesAndKeysNeedNotBeOnTheCommandLine)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QFile key(dir.filePath("key"));
        ASSERT_TRUE(key.open(QIODevice::WriteOnly));
        key.write("a secret key\n");
    }
    // A Latin-1 name (byte 0xE9) that is not valid UTF-8, and a name that
    // looks like an option; made and checked by the shell, byte for byte.
    const QString script = QStringLiteral(
        "set -e\ncd \"$1\"\nname=$(printf 'caf\\351.txt')\n"
        // QTemporaryDir cannot remove a name that is not UTF-8; the shell does.
        "trap 'rm -f -- \"$name\" \"$name.qne\"' EXIT\n"
        "printf 'bytes' > \"$name\"\nprintf 'dash' > ./-h\n"
        "\"$2\" encrypt --key-file key -- \"$name\" -h\n"
        "rm \"$name\" ./-h\n"
        "\"$2\" decrypt -k - -- \"$name.qne\" -h.qne < key\n"
        "test \"$(cat \"$name\")\" = bytes\ntest \"$(cat ./-h)\" = dash\necho restored\n");
    auto r = qn::test::runProcess("/bin/sh", {"-c", script, "sh", dir.path(), qncrypt()});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.out.contains("restored")) << r.out.constData();
    EXPECT_TRUE(r.out.contains("caf\xe9.txt.qne")) << "the printed names are the bytes given";

    // The help shows the safe key sources first and warns about -k KEY.
    auto help = qn::test::runProcess(qncrypt(), {"--help"});
    const qsizetype keyFile = help.out.indexOf("--key-file"), stdinKey = help.out.indexOf("-k -"),
                    plain = help.out.indexOf("-k, --key KEY");
    ASSERT_GE(keyFile, 0);
    ASSERT_GE(stdinKey, 0);
    EXPECT_LT(keyFile, plain);
    EXPECT_LT(stdinKey, plain);
    EXPECT_TRUE(help.out.contains("visible")) << help.out.constData();
}
