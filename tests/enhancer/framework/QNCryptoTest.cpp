// SPDX-License-Identifier: MIT
#include "QNCrypto.h"

#include "TestSupport.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

namespace {

QByteArray hex(const char* digits)
{
    return QByteArray::fromHex(digits);
}

QString keyFromBytes(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

struct ProgressLog {
    std::vector<quint32> processed;
    std::vector<quint64> totals;
    QVariantList contexts;
    QNCryptoProgress callback()
    {
        return [this](quint32 p, quint64 t, const QVariant& c) {
            processed.push_back(p);
            totals.push_back(t);
            contexts.append(c);
        };
    }
};

QByteArray randomBytes(qsizetype n)
{
    QByteArray b(n, Qt::Uninitialized);
    for (char& c : b)
        c = char(QRandomGenerator::global()->bounded(256));
    return b;
}

}  // namespace

// Classic Blowfish vectors: the body block of an 8-byte plaintext is the plain
// ECB encryption of that block (keys limited to valid UTF-8 bytes).
TEST(QNCrypto, BodyBlocksMatchClassicBlowfishVectors)
{
    struct Vector {
        const char *key, *plain, *cipher;
    } vectors[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    };
    for (const Vector& v : vectors) {
        const auto out = QNCrypto::encryptData(hex(v.plain), keyFromBytes(hex(v.key)));
        ASSERT_TRUE(out);
        ASSERT_EQ(out->size(), 16);
        EXPECT_EQ(out->mid(8).toHex().toUpper(), QByteArray(v.cipher)) << v.key << " " << v.plain;
        EXPECT_EQ(QNCrypto::decryptData(*out, keyFromBytes(hex(v.key))), hex(v.plain));
    }
}

TEST(QNCrypto, BlockSizesFollowThePlaintextLength)
{
    const QString key = QStringLiteral("secret");
    const auto empty = QNCrypto::encryptData({}, key);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->size(), 8);
    const auto emptyBack = QNCrypto::decryptData(*empty, key);
    ASSERT_TRUE(emptyBack) << "an empty plaintext must decrypt to an empty buffer, not null";
    EXPECT_TRUE(emptyBack->isEmpty());

    EXPECT_EQ(QNCrypto::encryptData("12345678", key)->size(), 16);
    const auto ten = QNCrypto::encryptData("0123456789", key);
    ASSERT_TRUE(ten);
    EXPECT_EQ(ten->size(), 24);
    EXPECT_EQ(QNCrypto::decryptData(*ten, key), QByteArray("0123456789"));

    for (qsizetype n : {1, 7, 9, 15, 16, 17, 1000}) {
        const QByteArray plain = randomBytes(n);
        const auto enc = QNCrypto::encryptData(plain, key);
        ASSERT_TRUE(enc);
        EXPECT_EQ(enc->size(), 8 + ((n + 7) / 8) * 8) << n;
        EXPECT_EQ(QNCrypto::decryptData(*enc, key), plain) << n;
    }
}

TEST(QNCrypto, RefusesEmptyKeysAndImpossibleInput)
{
    EXPECT_FALSE(QNCrypto::encryptData("abc", QString()));
    EXPECT_FALSE(QNCrypto::encryptData("abc", QStringLiteral("")));
    const auto enc = QNCrypto::encryptData("abcdefghij", QStringLiteral("k"));
    ASSERT_TRUE(enc);
    EXPECT_FALSE(QNCrypto::decryptData(*enc, QString()));
    EXPECT_FALSE(QNCrypto::decryptData(QByteArray(12, 'x'), QStringLiteral("k")));
    EXPECT_FALSE(QNCrypto::decryptData(QByteArray(), QStringLiteral("k")));
    EXPECT_FALSE(QNCrypto::decryptData(enc->left(enc->size() - 1), QStringLiteral("k")));
    // Cutting off the last block leaves a stored length longer than the body.
    EXPECT_FALSE(QNCrypto::decryptData(enc->left(enc->size() - 8), QStringLiteral("k")));
}

TEST(QNCrypto, WrongKeysAreDetectedByTheHeader)
{
    const QByteArray plain = randomBytes(4096);
    const auto enc = QNCrypto::encryptData(plain, QStringLiteral("the right key"));
    ASSERT_TRUE(enc);
    int accepted = 0;
    for (int i = 0; i < 300; ++i) {
        if (QNCrypto::decryptData(*enc, QStringLiteral("wrong key %1").arg(i)))
            ++accepted;
    }
    EXPECT_EQ(accepted, 0);
}

TEST(QNCrypto, OnlyTheFirst72KeyBytesCount)
{
    const QString base(72, QLatin1Char('k'));
    const QByteArray plain("same result for both keys");
    EXPECT_EQ(QNCrypto::encryptData(plain, base + QStringLiteral("A")),
              QNCrypto::encryptData(plain, base + QStringLiteral("B")));
    // A difference inside the first 72 bytes does change the result.
    const QString shorter(71, QLatin1Char('k'));
    EXPECT_NE(QNCrypto::encryptData(plain, shorter + QStringLiteral("A")),
              QNCrypto::encryptData(plain, shorter + QStringLiteral("B")));
    // Keys are UTF-8 bytes: 36 two-byte characters fill the 72 bytes.
    const QString wide(36, QChar(0xE9));
    EXPECT_EQ(QNCrypto::encryptData(plain, wide + QStringLiteral("x")), QNCrypto::encryptData(plain, wide));
}

TEST(QNCrypto, ProgressCountsConsumedBytes)
{
    ProgressLog enc;
    const auto out = QNCrypto::encryptData(QByteArray(20, 'a'), QStringLiteral("k"), enc.callback(), 42);
    ASSERT_TRUE(out);
    EXPECT_EQ(enc.processed, (std::vector<quint32>{0, 8, 16, 24}));
    EXPECT_EQ(enc.totals, (std::vector<quint64>(4, 20)));
    for (const QVariant& c : enc.contexts)
        EXPECT_EQ(c.toInt(), 42);

    ProgressLog dec;
    ASSERT_EQ(out->size(), 32);
    EXPECT_TRUE(QNCrypto::decryptData(*out, QStringLiteral("k"), dec.callback(), QStringLiteral("ctx")));
    EXPECT_EQ(dec.processed, (std::vector<quint32>{0, 16, 24, 32}));
    EXPECT_EQ(dec.totals, (std::vector<quint64>(4, 20)));
    EXPECT_EQ(dec.contexts.first().toString(), "ctx");

    ProgressLog none;
    EXPECT_TRUE(QNCrypto::encryptData({}, QStringLiteral("k"), none.callback()));
    EXPECT_EQ(none.processed, (std::vector<quint32>{0}));
}

// The RFC 1321 vectors, and text beyond ASCII digested as its UTF-8 bytes.
TEST(QNCrypto, Md5MatchesKnownDigests)
{
    const std::pair<const char*, const char*> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {"\u00e9", "66ddcd97cfdeabb2f6fb8a999b4bc76f"},
        {"Gr\u00fc\u00dfe", "49c5f675b49037b6044b803ac9d1a6d7"},
    };
    for (const auto& [text, digest] : vectors)
        EXPECT_EQ(QNCrypto::md5(QString::fromUtf8(text)), QString::fromLatin1(digest).toUpper()) << text;
}

// An independent implementation: the openssl command line over the header
// (8-byte big-endian length) and the zero-padded data must give our bytes.
TEST(QNCrypto, BytesEqualOpensslCommandLine)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // openssl enc takes 16-byte keys; an 8-byte key repeated twice has the same schedule.
    const QByteArray key8("K3y!abcd");
    for (qsizetype n : {0, 3, 8, 10, 333}) {
        const QByteArray plain = randomBytes(n);
        QByteArray input(8, '\0');
        for (int i = 0; i < 8; ++i)
            input[i] = char(quint64(n) >> (8 * (7 - i)));
        input += plain;
        input += QByteArray((8 - n % 8) % 8, '\0');
        auto r = qn::test::runProcess(QStringLiteral("openssl"),
                                      {"enc", "-bf-ecb", "-nopad", "-K", QString::fromLatin1((key8 + key8).toHex()),
                                       "-provider", "legacy", "-provider", "default"},
                                      30000, {}, input);
        if (r.exitCode != 0)
            GTEST_SKIP() << "openssl's legacy provider is not available: " << r.err.constData();
        EXPECT_EQ(QNCrypto::encryptData(plain, QString::fromLatin1(key8))->toHex(), r.out.toHex()) << n;
    }
}
