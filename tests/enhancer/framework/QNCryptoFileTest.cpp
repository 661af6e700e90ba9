// SPDX-License-Identifier: MIT
#include "QNCrypto.h"

#include "TestSupport.h"
#include "plist/KeyedArchive.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

namespace {

using enum QNErrorCode;

const QString kKey = QStringLiteral("C7E2A19D-5F3B-4E80-A64C-2D91F0B7E358");

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

using qn::test::readFile;

// The error code of a call that must fail and make nothing: the encryption
// of a file, the restore of a file, or the reading of a file into memory.
QNErrorCode encryptFails(const QString& src, const QString& key)
{
    std::optional<QNError> error;
    EXPECT_TRUE(QNCrypto::encryptFileAtPath(src, key, {}, {}, &error).isEmpty());
    return QNErrorCode(error ? error->code : 0);
}

QNErrorCode decryptFails(const QString& qne, const QString& key)
{
    std::optional<QNError> error;
    EXPECT_TRUE(QNCrypto::decryptFileAtPath(qne, key, {}, {}, &error).isEmpty());
    return QNErrorCode(error ? error->code : 0);
}

QNErrorCode readFails(const QString& qne, const QString& key)
{
    std::optional<QNError> error;
    EXPECT_FALSE(QNCrypto::dataByDecryptingFileAtPath(qne, key, {}, {}, &error));
    return QNErrorCode(error ? error->code : 0);
}

class QNCryptoFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

// Decrypts a .qne with the openssl command line and reads the archive with
// plistlib, with the two keys directly in $top as the platform's keyed
// archiver puts them; prints "path|hex of data".
const char kPythonReader[] = R"(
import plistlib, subprocess, sys
key = sys.argv[2].encode()
key16 = (key * 16)[:16] if 16 % len(key) == 0 else None
raw = open(sys.argv[1], 'rb').read()
plain = subprocess.run(['openssl', 'enc', '-d', '-bf-ecb', '-nopad', '-K', key16.hex(),
                        '-provider', 'legacy', '-provider', 'default'], input=raw,
                       capture_output=True, check=True).stdout
n = int.from_bytes(plain[:8], 'big')
a = plistlib.loads(plain[8:8 + n])
o = a['$objects']
assert sorted(a['$top']) == ['QNCryptoSourceData', 'QNCryptoSourceFilePath'], a['$top']
d = {k: o[v.data] for k, v in a['$top'].items()}
print(d['QNCryptoSourceFilePath'] + '|' + d['QNCryptoSourceData'].hex())
)";

// Writes a .qne the same way from plistlib and openssl, in the platform's
// layout (keys in $top) or in our older one (a root dictionary).
const char kPythonWriter[] = R"(
import plistlib, subprocess, sys
U = plistlib.UID
out, key, stored, data = sys.argv[1], sys.argv[2].encode(), sys.argv[3], bytes.fromhex(sys.argv[4])
if sys.argv[5] == 'top':
    objs = ['$null', stored, data]
    top = {'QNCryptoSourceFilePath': U(1), 'QNCryptoSourceData': U(2)}
else:
    objs = ['$null', {'NS.keys': [U(2), U(3)], 'NS.objects': [U(4), U(5)], '$class': U(6)},
            'QNCryptoSourceFilePath', 'QNCryptoSourceData', stored, data,
            {'$classname': 'NSMutableDictionary', '$classes': ['NSMutableDictionary', 'NSDictionary', 'NSObject']}]
    top = {'root': U(1)}
arch = plistlib.dumps({'$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': top,
                       '$objects': objs}, fmt=plistlib.FMT_BINARY)
block = len(arch).to_bytes(8, 'big') + arch + b'\0' * (-len(arch) % 8)
enc = subprocess.run(['openssl', 'enc', '-bf-ecb', '-nopad', '-K', ((key * 16)[:16]).hex(),
                      '-provider', 'legacy', '-provider', 'default'], input=block,
                     capture_output=True, check=True).stdout
open(out, 'wb').write(enc)
)";

}  // namespace

TEST_F(QNCryptoFiles, EncryptedFileRoundTripsAndKeepsTheSource)
{
    const QString src = path("list.txt");
    ASSERT_TRUE(writeFile(src, "one\ntwo\n"));
    std::optional<QNError> error;
    const QString qne = QNCrypto::encryptFileAtPath(src, kKey, {}, {}, &error);
    EXPECT_EQ(qne, src + ".qne");
    EXPECT_FALSE(error);
    EXPECT_EQ(readFile(src), "one\ntwo\n");
    EXPECT_EQ(QNCrypto::dataByDecryptingFileAtPath(qne, kKey, {}, {}, &error), QByteArray("one\ntwo\n"));
    EXPECT_FALSE(error) << "a successful call leaves the error untouched";
}

TEST_F(QNCryptoFiles, ExistingTargetGives102AndStaysUntouched)
{
    const QString src = path("a.txt");
    ASSERT_TRUE(writeFile(src, "new"));
    ASSERT_TRUE(writeFile(src + ".qne", "precious"));
    std::optional<QNError> error;
    EXPECT_TRUE(QNCrypto::encryptFileAtPath(src, kKey, {}, {}, &error).isEmpty());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, qint32(kQNFileDupErr));
    EXPECT_EQ(error->domain, kQNErrorDomain);
    EXPECT_EQ(readFile(src + ".qne"), "precious");
}

TEST_F(QNCryptoFiles, UnreadableSourceGives100BeforeTheExistenceCheck)
{
    ASSERT_TRUE(writeFile(path("missing.txt.qne"), "x"));
    EXPECT_EQ(encryptFails(path("missing.txt"), kKey), kQNFileNotFoundErr);
    // A folder is not a readable file either.
    QDir(dir.path()).mkdir("folder");
    EXPECT_EQ(encryptFails(path("folder"), kKey), kQNFileNotFoundErr);
}

TEST_F(QNCryptoFiles, EmptyKeyGives101WhenEncryptingAnd400WhenDecrypting)
{
    ASSERT_TRUE(writeFile(path("b.txt"), "data"));
    EXPECT_EQ(encryptFails(path("b.txt"), QString()), kQNWriteErr);
    EXPECT_FALSE(QFile::exists(path("b.txt.qne")));

    const QString qne = QNCrypto::encryptFileAtPath(path("b.txt"), kKey);
    ASSERT_FALSE(qne.isEmpty());
    EXPECT_EQ(decryptFails(qne, QString()), kQNFileIsDamagedOrInvalidKeyErr);
}

TEST_F(QNCryptoFiles, RestoresUnderStoredNameInTheEncryptedFilesFolder)
{
    QDir(dir.path()).mkpath("made/here");
    QDir(dir.path()).mkpath("moved/there");
    const QString src = path("made/here/report.txt");
    ASSERT_TRUE(writeFile(src, "report body"));
    const QString qne = QNCrypto::encryptFileAtPath(src, kKey);
    ASSERT_FALSE(qne.isEmpty());
    const QString moved = path("moved/there/renamed.qne");
    ASSERT_TRUE(QFile::rename(qne, moved));

    const QString restored = QNCrypto::decryptFileAtPath(moved, kKey);
    EXPECT_EQ(restored, path("moved/there/report.txt"));
    EXPECT_EQ(readFile(restored), "report body");
    EXPECT_TRUE(QFile::exists(moved));

    // A second restore finds the file there: 102, and the file stays.
    ASSERT_TRUE(writeFile(restored, "edited"));
    EXPECT_EQ(decryptFails(moved, kKey), kQNFileDupErr);
    EXPECT_EQ(readFile(restored), "edited");
}

TEST_F(QNCryptoFiles, WrongKeyOrDamageGives400)
{
    ASSERT_TRUE(writeFile(path("c.txt"), QByteArray(500, 'c')));
    const QString qne = QNCrypto::encryptFileAtPath(path("c.txt"), kKey);
    ASSERT_FALSE(qne.isEmpty());
    std::optional<QNError> error;
    EXPECT_FALSE(QNCrypto::dataByDecryptingFileAtPath(qne, QStringLiteral("another key"), {}, {}, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, qint32(kQNFileIsDamagedOrInvalidKeyErr));
    EXPECT_EQ(error->userInfo.size(), 1);

    // Damage the body only: the header still decrypts to a plausible length,
    // the archive inside does not parse.
    QByteArray bytes = readFile(qne);
    for (qsizetype i = 8; i < 64 && i < bytes.size(); ++i)
        bytes[i] = char(bytes[i] ^ 0x5A);
    ASSERT_TRUE(writeFile(path("damaged.qne"), bytes));
    EXPECT_EQ(readFails(path("damaged.qne"), kKey), kQNFileIsDamagedOrInvalidKeyErr);
    EXPECT_EQ(decryptFails(path("damaged.qne"), kKey), kQNFileIsDamagedOrInvalidKeyErr);

    // Without an out-parameter the failure is still a null result.
    EXPECT_FALSE(QNCrypto::dataByDecryptingFileAtPath(path("damaged.qne"), kKey));
    EXPECT_FALSE(QNCrypto::dataByDecryptingFileAtPath(path("nothing-here.qne"), kKey));
}

TEST_F(QNCryptoFiles, ArchiveWithoutTheTwoKeysGives400)
{
    const QByteArray wrongKeys = qn::plist::KeyedArchive::archiveRootDictionary(
        {{"Path", QStringLiteral("/x")}, {"Data", QByteArray("y")}});
    const QByteArray wrongTypes = qn::plist::KeyedArchive::archiveRootDictionary(
        {{QNCryptoSourceFilePath, QByteArray("/x")}, {QNCryptoSourceData, QStringLiteral("y")}});
    const QByteArray noName = qn::plist::KeyedArchive::archiveRootDictionary(
        {{QNCryptoSourceFilePath, QStringLiteral("/x/..")}, {QNCryptoSourceData, QByteArray("y")}});
    int i = 0;
    for (const QByteArray& plain : {wrongKeys, wrongTypes, QByteArray("not an archive at all")}) {
        const QString file = path(QStringLiteral("bad%1.qne").arg(i++));
        ASSERT_TRUE(writeFile(file, *QNCrypto::encryptData(plain, kKey)));
        EXPECT_EQ(readFails(file, kKey), kQNFileIsDamagedOrInvalidKeyErr) << i;
    }
    // A stored name that names no file is refused instead of being written
    // over the parent folder.
    ASSERT_TRUE(writeFile(path("noname.qne"), *QNCrypto::encryptData(noName, kKey)));
    EXPECT_EQ(decryptFails(path("noname.qne"), kKey), kQNFileIsDamagedOrInvalidKeyErr);
}

TEST_F(QNCryptoFiles, PythonAndOpensslReadOurFile)
{
    const QString src = path("for python.txt");
    const QByteArray content("\x00\x01 binary and text \xff", 21);
    ASSERT_TRUE(writeFile(src, content));
    const QString key = QStringLiteral("8bytekey");
    const QString qne = QNCrypto::encryptFileAtPath(src, key);
    ASSERT_FALSE(qne.isEmpty());
    auto r = qn::test::runProcess(qn::test::systemPython(), {"-c", kPythonReader, qne, key});
    if (r.err.contains("unsupported") || r.err.contains("legacy"))
        GTEST_SKIP() << "openssl's legacy provider is not available";
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out.trimmed(), (src + "|" + content.toHex()).toUtf8());
}

TEST_F(QNCryptoFiles, DecryptsFilesMadeByPythonAndOpensslInBothLayouts)
{
    const QString key = QStringLiteral("16-byte-key-1234");
    for (const char* layout : {"top", "root"}) {
        SCOPED_TRACE(layout);
        QDir(dir.path()).mkdir(layout);
        const QString qne = path(QStringLiteral("%1/made by python.qne").arg(layout));
        auto r = qn::test::runProcess(qn::test::systemPython(),
                                      {"-c", kPythonWriter, qne, key, "/elsewhere/origin.bin", "00ff10aa", layout});
        if (r.err.contains("unsupported") || r.err.contains("legacy"))
            GTEST_SKIP() << "openssl's legacy provider is not available";
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        std::optional<QNError> error;
        const QString restored = QNCrypto::decryptFileAtPath(qne, key, {}, {}, &error);
        ASSERT_FALSE(restored.isEmpty()) << (error ? error->code : 0);
        EXPECT_EQ(restored, path(QStringLiteral("%1/origin.bin").arg(layout)));
        EXPECT_EQ(readFile(restored), QByteArray::fromHex("00ff10aa"));
    }
}

// Keys or strings holding a NUL make the property-list library abort; such
// an archive must come back as a damaged file instead.
TEST_F(QNCryptoFiles, ArchiveWithNulCharactersGives400)
{
    const char script[] = R"(
import plistlib, sys
U = plistlib.UID
for i, (key, value) in enumerate([('QNCrypto\0SourceData', b'x'), ('QNCryptoSourceFilePath', '/a\0b'),
                                   ('QNCryptoSourceFilePath', 'x' * 20 + '\0')]):
    objs = ['$null', {'NS.keys': [U(2), U(3)], 'NS.objects': [U(4), U(5)], '$class': U(6)},
            key, 'QNCryptoSourceData', value if isinstance(value, str) else '/p', b'data',
            {'$classname': 'NSDictionary', '$classes': ['NSDictionary', 'NSObject']}]
    if key != 'QNCryptoSourceFilePath':
        objs[3] = 'QNCryptoSourceFilePath'
    a = {'$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': {'root': U(1)}, '$objects': objs}
    open(sys.argv[1] + '/nul%d.bin' % i, 'wb').write(plistlib.dumps(a, fmt=plistlib.FMT_BINARY))
)";
    auto r = qn::test::runProcess(qn::test::systemPython(), {"-c", script, dir.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    for (int i = 0; i < 3; ++i) {
        const QByteArray archive = readFile(path(QStringLiteral("nul%1.bin").arg(i)));
        ASSERT_TRUE(archive.startsWith("bplist00"));
        const QString qne = path(QStringLiteral("nul%1.qne").arg(i));
        ASSERT_TRUE(writeFile(qne, *QNCrypto::encryptData(archive, kKey)));
        EXPECT_EQ(readFails(qne, kKey), kQNFileIsDamagedOrInvalidKeyErr) << i;
    }
}

namespace {

// Files in folder other than the given names (a temporary left behind shows up).
QStringList strayFiles(const QString& folder, const QStringList& expected)
{
    QStringList stray = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : expected)
        stray.removeAll(name);
    return stray;
}

mode_t modeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

}  // namespace

class QNCryptoUmask : public QNCryptoFiles, public ::testing::WithParamInterface<mode_t> {
protected:
    void SetUp() override
    {
        QNCryptoFiles::SetUp();
        before = ::umask(GetParam());
    }
    void TearDown() override { ::umask(before); }
    mode_t before = 022;
};

TEST_P(QNCryptoUmask, NewFilesFollowTheUmaskAndNothingIsWidened)
{
    const mode_t expected = 0666 & ~GetParam();
    const QString src = path("secret.txt");
    ASSERT_TRUE(writeFile(src, "top secret"));
    ::chmod(QFile::encodeName(src).constData(), 0600);
    const QString qne = QNCrypto::encryptFileAtPath(src, kKey);
    ASSERT_FALSE(qne.isEmpty());
    EXPECT_EQ(modeOf(qne), expected);
    ASSERT_TRUE(QFile::remove(src));
    const QString restored = QNCrypto::decryptFileAtPath(qne, kKey);
    ASSERT_EQ(restored, src);
    EXPECT_EQ(modeOf(restored), expected) << "restored under umask " << std::oct << GetParam();
    EXPECT_EQ(readFile(restored), "top secret");
}

INSTANTIATE_TEST_SUITE_P(Umasks, QNCryptoUmask, ::testing::Values(mode_t(077), mode_t(022)));

class QNCryptoLimits : public QNCryptoFiles {
protected:
    void TearDown() override
    {
        QNCrypto::setSizeLimitForTesting(0);
        QNCrypto::setLinkForTesting(nullptr);
    }
};

TEST_F(QNCryptoLimits, TooLongForTheLengthFieldIsRefusedWith101BeforeWriting)
{
    QNCrypto::setSizeLimitForTesting(1000);
    EXPECT_FALSE(QNCrypto::encryptData(QByteArray(1001, 'x'), kKey));
    EXPECT_TRUE(QNCrypto::encryptData(QByteArray(1000, 'x'), kKey));

    // The source itself too long, and a source whose archive is too long.
    for (const qsizetype size : {qsizetype(1001), qsizetype(900)}) {
        SCOPED_TRACE(size);
        const QString src = path(QStringLiteral("big%1.bin").arg(size));
        ASSERT_TRUE(writeFile(src, QByteArray(size, 'b')));
        EXPECT_EQ(encryptFails(src, kKey), kQNWriteErr);
        EXPECT_FALSE(QFile::exists(src + ".qne"));
    }
    EXPECT_EQ(strayFiles(dir.path(), {"big1001.bin", "big900.bin"}), QStringList());

    // The earlier checks keep their order: unreadable (100), then taken (102).
    EXPECT_EQ(encryptFails(path("absent.bin"), kKey), kQNFileNotFoundErr);
    ASSERT_TRUE(writeFile(path("big1001.bin.qne"), "taken"));
    EXPECT_EQ(encryptFails(path("big1001.bin"), kKey), kQNFileDupErr);
}

namespace {
int linkFailsWith = 0;
int failingLink(const char*, const char*)
{
    errno = linkFailsWith;
    return -1;
}
QString plantedPath;
int linkRaceLoser(const char*, const char*)
{
    QFile f(plantedPath);
    if (f.open(QIODevice::WriteOnly))
        f.write("appeared meanwhile");
    errno = EPERM;
    return -1;
}
}  // namespace

TEST_F(QNCryptoLimits, FileSystemsWithoutHardLinksGetAnExclusiveCreate)
{
    struct Case {
        int error;
        bool written;
    } const cases[] = {{EPERM, true}, {ENOTSUP, true}, {EXDEV, true}, {EIO, false}};
    QNCrypto::setLinkForTesting(&failingLink);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        linkFailsWith = c.error;
        const QString src = path(QStringLiteral("src%1.txt").arg(c.error));
        ASSERT_TRUE(writeFile(src, "contents"));
        if (c.written) {
            const QString qne = QNCrypto::encryptFileAtPath(src, kKey);
            EXPECT_EQ(qne, src + ".qne");
            EXPECT_EQ(QNCrypto::dataByDecryptingFileAtPath(qne, kKey), QByteArray("contents"));
            ASSERT_TRUE(QFile::remove(src));
            EXPECT_EQ(QNCrypto::decryptFileAtPath(qne, kKey), src) << "restoring uses the same path";
            EXPECT_EQ(readFile(src), "contents");
        } else {
            EXPECT_EQ(encryptFails(src, kKey), kQNWriteErr);
            EXPECT_FALSE(QFile::exists(src + ".qne"));
        }
    }
    QStringList expected;
    for (const Case& c : cases) {
        expected << QStringLiteral("src%1.txt").arg(c.error);
        if (c.written)
            expected << QStringLiteral("src%1.txt.qne").arg(c.error);
    }
    EXPECT_EQ(strayFiles(dir.path(), expected), QStringList()) << "no temporary is left";

    // A file that appears at the target meanwhile is never written over.
    QNCrypto::setLinkForTesting(&linkRaceLoser);
    ASSERT_TRUE(writeFile(path("race.txt"), "mine"));
    plantedPath = path("race.txt.qne");
    EXPECT_EQ(encryptFails(path("race.txt"), kKey), kQNFileDupErr);
    EXPECT_EQ(readFile(plantedPath), "appeared meanwhile");
}
