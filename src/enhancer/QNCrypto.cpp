#include "QNCrypto.h"

#include "plist/KeyedArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtEndian>

#include <openssl/blowfish.h>
#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

bool makeKeySchedule(const QString& key, BF_KEY* schedule)
{
    const QByteArray bytes = key.toUtf8();
    if (bytes.isEmpty())
        return false;
    // BF_set_key uses at most 72 bytes of key material and ignores the rest.
    BF_set_key(schedule, int(qMin<qsizetype>(bytes.size(), 72)), reinterpret_cast<const unsigned char*>(bytes.constData()));
    return true;
}

// One ECB block, exactly as BF_ecb_encrypt does it (two big-endian 32-bit
// halves through BF_encrypt/BF_decrypt), without its extra call per block:
// that call costs a fifth of the throughput on long buffers.
inline void cryptBlock(const unsigned char* in, unsigned char* out, const BF_KEY* schedule, bool encrypt)
{
    BF_LONG halves[2] = {qFromBigEndian<quint32>(in), qFromBigEndian<quint32>(in + 4)};
    if (encrypt)
        BF_encrypt(halves, schedule);
    else
        BF_decrypt(halves, schedule);
    qToBigEndian<quint32>(quint32(halves[0]), out);
    qToBigEndian<quint32>(quint32(halves[1]), out + 4);
}

// Large outputs are fresh memory that is written exactly once; faulting it in
// 4 KiB pages costs about a third of the cipher's own time, so ask for huge
// pages where the kernel offers them on request. Only a hint: failure is fine.
void preferHugePages(QByteArray& buffer)
{
    constexpr quintptr kHuge = 2u << 20;
    if (buffer.size() < qsizetype(4 * kHuge))
        return;
    const quintptr begin = (reinterpret_cast<quintptr>(buffer.data()) + kHuge - 1) & ~(kHuge - 1);
    const quintptr end = (reinterpret_cast<quintptr>(buffer.data()) + quintptr(buffer.size())) & ~(kHuge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void fail(QNErrorOut error, qint32 code)
{
    if (error)
        *error = QNEnhancer::buildErrorWithCode(code);
}

bool existsAt(const QString& path)
{
    // A dangling symbolic link is something too.
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

enum class WriteResult { Written, Exists, Failed };

// Writes a new file atomically and never replaces one that appeared since
// the caller's check: the data go to a temporary file in the same folder,
// which is then hard-linked under the final name (link() fails on an existing
// name, where rename() would replace it).
WriteResult writeNewFileAtomically(const QString& path, const QByteArray& data)
{
    const QFileInfo info(path);
    QTemporaryFile temp(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    if (!temp.open())
        return WriteResult::Failed;
    if (temp.write(data) != data.size() || !temp.flush() || ::fsync(temp.handle()) != 0)
        return WriteResult::Failed;
    temp.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                        | QFileDevice::ReadOther);
    if (::link(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return errno == EEXIST ? WriteResult::Exists : WriteResult::Failed;
    return WriteResult::Written;  // the temporary name is removed by QTemporaryFile
}

std::optional<QByteArray> readWholeFile(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

}  // namespace

QString QNCrypto::md5(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.constData(), size_t(bytes.size()), digest, &length, EVP_md5(), nullptr) != 1
        || length != 16)
        return {};
    char hex[2 * 16 + 1];
    for (unsigned int i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02X", digest[i]);
    return QString::fromLatin1(hex, 32);
}

std::optional<QByteArray> QNCrypto::encryptData(const QByteArray& data, const QString& key,
                                                const QNCryptoProgress& progress, const QVariant& context)
{
    BF_KEY schedule;
    if (!makeKeySchedule(key, &schedule))
        return std::nullopt;
    const quint64 total = quint64(data.size());
    // Allocated once at its final size; every byte is written below (the
    // short last block is zero-filled before encryption), so no fill pass.
    QByteArray out((data.size() + 15) & ~qsizetype(7), Qt::Uninitialized);
    preferHugePages(out);
    auto* dst = reinterpret_cast<unsigned char*>(out.data());
    const auto* src = reinterpret_cast<const unsigned char*>(data.constData());

    unsigned char header[8];
    for (int i = 0; i < 8; ++i)
        header[i] = static_cast<unsigned char>(total >> (8 * (7 - i)));
    cryptBlock(header, dst, &schedule, true);

    if (progress)
        progress(0, total, context);
    quint64 offset = 0;
    while (offset < total) {
        if (total - offset >= 8) {
            cryptBlock(src + offset, dst + offset + 8, &schedule, true);
        } else {
            unsigned char last[8] = {};
            std::memcpy(last, src + offset, size_t(total - offset));
            cryptBlock(last, dst + offset + 8, &schedule, true);
        }
        offset += 8;
        if (progress)
            progress(quint32(offset), total, context);
    }
    return out;
}

std::optional<QByteArray> QNCrypto::decryptData(const QByteArray& data, const QString& key,
                                                const QNCryptoProgress& progress, const QVariant& context)
{
    if (key.isEmpty() || data.size() % 8 != 0 || data.isEmpty())
        return std::nullopt;
    BF_KEY schedule;
    if (!makeKeySchedule(key, &schedule))
        return std::nullopt;
    const auto* src = reinterpret_cast<const unsigned char*>(data.constData());
    unsigned char header[8];
    cryptBlock(src, header, &schedule, false);
    quint64 stored = 0;
    for (unsigned char byte : header)
        stored = (stored << 8) | byte;

    // A wrong key or a damaged header shows as an impossible length; checking
    // it first saves decrypting a body that would be thrown away.
    const quint64 bodyLength = quint64(data.size() - 8);
    const bool plausible = (stored >> 32) == 0 && stored <= bodyLength;

    QByteArray out(plausible ? qsizetype(bodyLength) : 0, Qt::Uninitialized);
    preferHugePages(out);
    auto* dst = reinterpret_cast<unsigned char*>(out.data());
    if (progress)
        progress(0, stored, context);
    for (quint64 offset = 8; offset < quint64(data.size()); offset += 8) {
        if (plausible)
            cryptBlock(src + offset, dst + offset - 8, &schedule, false);
        if (progress)
            progress(quint32(offset + 8), stored, context);
    }
    if (!plausible)
        return std::nullopt;
    out.truncate(qsizetype(stored));
    return out;
}

std::optional<QNCrypto::Archived> QNCrypto::readArchive(const QByteArray& plaintext)
{
    const auto root = qn::plist::KeyedArchive::unarchiveRootDictionary(plaintext);
    if (!root)
        return std::nullopt;
    const QVariant path = root->value(QNCryptoSourceFilePath);
    const QVariant bytes = root->value(QNCryptoSourceData);
    if (path.typeId() != QMetaType::QString || bytes.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return Archived{path.toString(), bytes.toByteArray()};
}

QString QNCrypto::encryptFileAtPath(const QString& path, const QString& key, const QNCryptoProgress& progress,
                                    const QVariant& context, QNErrorOut error)
{
    const QString target = path + QStringLiteral(".qne");
    const auto source = readWholeFile(path);
    if (!source) {
        fail(error, kQNFileNotFoundErr);
        return {};
    }
    if (existsAt(target)) {
        fail(error, kQNFileDupErr);
        return {};
    }
    const QByteArray archive = qn::plist::KeyedArchive::archiveRootDictionary(
        {{QNCryptoSourceFilePath, path}, {QNCryptoSourceData, *source}});
    const auto encrypted = archive.isEmpty() ? std::nullopt : encryptData(archive, key, progress, context);
    if (!encrypted) {
        fail(error, kQNWriteErr);
        return {};
    }
    switch (writeNewFileAtomically(target, *encrypted)) {
    case WriteResult::Written: return target;
    case WriteResult::Exists: fail(error, kQNFileDupErr); return {};
    case WriteResult::Failed: break;
    }
    fail(error, kQNWriteErr);
    return {};
}

static std::optional<QNCrypto::Archived> decryptArchive(const QString& path, const QString& key,
                                                        const QNCryptoProgress& progress, const QVariant& context)
{
    const auto encrypted = readWholeFile(path);
    if (!encrypted)
        return std::nullopt;
    const auto plain = QNCrypto::decryptData(*encrypted, key, progress, context);
    if (!plain)
        return std::nullopt;
    // An intact header over a damaged body decrypts to something that is not
    // an archive: that is the same failure as a wrong key.
    return QNCrypto::readArchive(*plain);
}

QString QNCrypto::decryptFileAtPath(const QString& path, const QString& key, const QNCryptoProgress& progress,
                                    const QVariant& context, QNErrorOut error)
{
    const auto archived = decryptArchive(path, key, progress, context);
    // Only the stored name is used, never its folder; a name that is no file
    // name ("", ".", "..") marks the archive as damaged.
    const QString name = archived ? QFileInfo(archived->sourcePath).fileName() : QString();
    if (!archived || name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
        fail(error, kQNFileIsDamagedOrInvalidKeyErr);
        return {};
    }
    const QString restored = QFileInfo(path).absoluteDir().filePath(name);
    if (existsAt(restored)) {
        fail(error, kQNFileDupErr);
        return {};
    }
    switch (writeNewFileAtomically(restored, archived->sourceData)) {
    case WriteResult::Written: return restored;
    case WriteResult::Exists: fail(error, kQNFileDupErr); return {};
    case WriteResult::Failed: break;
    }
    fail(error, kQNWriteErr);
    return {};
}

std::optional<QByteArray> QNCrypto::dataByDecryptingFileAtPath(const QString& path, const QString& key,
                                                               const QNCryptoProgress& progress,
                                                               const QVariant& context, QNErrorOut error)
{
    const auto archived = decryptArchive(path, key, progress, context);
    if (!archived) {
        fail(error, kQNFileIsDamagedOrInvalidKeyErr);
        return std::nullopt;
    }
    return archived->sourceData;
}
