// SPDX-License-Identifier: MIT
#include "QNCrypto.h"

#include "plist/KeyedArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QtEndian>

#include <openssl/blowfish.h>
#include <openssl/evp.h>

#include <cerrno>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using enum QNErrorCode;

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

void fail(QNErrorOut error, QNErrorCode code)
{
    if (error)
        *error = QNEnhancer::buildErrorWithCode(code);
}

std::atomic<quint64> sizeLimit{QNCrypto::kMaxPlaintextSize};
std::atomic<int (*)(const char*, const char*)> linkCall{&::link};

enum class WriteResult { Written, Exists, Failed };

bool writeAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(qMin<qsizetype>(left, qsizetype(1) << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// Creates path exclusively (0666 less the umask, like any new file) and
// writes data to disk. On any failure nothing is left at path.
WriteResult createAndWrite(const QByteArray& path, const QByteArray& data)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno == EEXIST ? WriteResult::Exists : WriteResult::Failed;
    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(path.constData());
        return WriteResult::Failed;
    }
    return WriteResult::Written;
}

// Writes a new file atomically and never replaces one that appeared since
// the caller's check: the data go to a temporary file in the same folder,
// which is then hard-linked under the final name (link() fails on an existing
// name, where rename() would replace it). File systems without hard links
// (FAT, exFAT, many FUSE and SMB mounts) get an exclusive create of the final
// name instead, removed again on any failure.
QByteArray absoluteFolderOf(const QByteArray& path);
QByteArray joinNative(const QByteArray& folder, const QByteArray& name);

WriteResult writeNewFileAtomically(const QByteArray& target, const QByteArray& data)
{
    const QByteArray stem = joinNative(absoluteFolderOf(target), "." + target.mid(target.lastIndexOf('/') + 1));
    WriteResult staged = WriteResult::Failed;
    QByteArray temp;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = stem + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        staged = createAndWrite(temp, data);
        if (staged != WriteResult::Exists)
            break;
    }
    if (staged != WriteResult::Written)
        return WriteResult::Failed;
    const int linked = linkCall.load()(temp.constData(), target.constData());
    const int linkError = errno;
    ::unlink(temp.constData());
    if (linked == 0)
        return WriteResult::Written;
    if (linkError == EEXIST)
        return WriteResult::Exists;
    if (linkError != EPERM && linkError != ENOTSUP && linkError != EXDEV)
        return WriteResult::Failed;
    return createAndWrite(target, data);
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
    if (total > sizeLimit.load())
        return std::nullopt;  // the header could not hold the length
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
    const auto root = qn::plist::KeyedArchive::decodeValuesByKey(plaintext);
    if (!root)
        return std::nullopt;
    const QVariant path = root->value(QNCryptoSourceFilePath);
    const QVariant bytes = root->value(QNCryptoSourceData);
    if (path.typeId() != QMetaType::QString || bytes.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return Archived{path.toString(), bytes.toByteArray()};
}

namespace {

bool existsAtNative(const QByteArray& path)
{
    // A dangling symbolic link is something too.
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// The folder part of a native path, absolute, without a trailing slash
// (except for "/").
QByteArray absoluteFolderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    if (!folder.startsWith('/'))
        folder = QFile::encodeName(QDir::currentPath()) + (folder == "." ? QByteArray() : "/" + folder);
    return folder;
}

QByteArray joinNative(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// Opens a regular file for reading; -1 when it is missing, unreadable or not a file.
int openRegularFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool readAll(int fd, qint64 size, QByteArray* out)
{
    out->resize(qsizetype(size));
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, out->data() + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        done += n;
    }
    out->truncate(qsizetype(done));
    // The file may have grown since it was measured.
    char more[4096];
    for (;;) {
        const ssize_t n = ::read(fd, more, sizeof more);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out->append(more, qsizetype(n));
    }
}

std::optional<QByteArray> readWholeNativeFile(const QByteArray& path)
{
    const int fd = openRegularFile(path);
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    QByteArray bytes;
    const bool ok = ::fstat(fd, &st) == 0 && readAll(fd, st.st_size, &bytes);
    ::close(fd);
    return ok ? std::optional<QByteArray>(bytes) : std::nullopt;
}

QByteArray encryptNative(const QByteArray& path, const QString& storedPath, const QString& key,
                         const QNCryptoProgress& progress, const QVariant& context, QNErrorOut error)
{
    const QByteArray target = path + ".qne";
    const int fd = openRegularFile(path);
    if (fd < 0) {
        fail(error, kQNFileNotFoundErr);
        return {};
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        fail(error, kQNFileNotFoundErr);
        return {};
    }
    if (existsAtNative(target)) {
        ::close(fd);
        fail(error, kQNFileDupErr);
        return {};
    }
    // A source too long for the length field is refused before it is even
    // read; the archive adds a little, checked again by encryptData().
    if (quint64(st.st_size) > sizeLimit.load()) {
        ::close(fd);
        fail(error, kQNWriteErr);
        return {};
    }
    QByteArray source;
    const bool read = readAll(fd, st.st_size, &source);
    ::close(fd);
    if (!read) {
        fail(error, kQNFileNotFoundErr);
        return {};
    }
    const QByteArray archive = qn::plist::KeyedArchive::encodeValuesByKey(
        {{QNCryptoSourceFilePath, storedPath}, {QNCryptoSourceData, source}});
    const auto encrypted = archive.isEmpty() ? std::nullopt : QNCrypto::encryptData(archive, key, progress, context);
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

std::optional<QNCrypto::Archived> decryptArchive(const QByteArray& path, const QString& key,
                                                 const QNCryptoProgress& progress, const QVariant& context)
{
    const auto encrypted = readWholeNativeFile(path);
    if (!encrypted)
        return std::nullopt;
    const auto plain = QNCrypto::decryptData(*encrypted, key, progress, context);
    if (!plain)
        return std::nullopt;
    // An intact header over a damaged body decrypts to something that is not
    // an archive: that is the same failure as a wrong key.
    return QNCrypto::readArchive(*plain);
}

QByteArray decryptNative(const QByteArray& path, const QString& key, const QNCryptoProgress& progress,
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
    // A name that is not valid UTF-8 was stored with U+FFFD in place of its
    // bad bytes; the encrypted file's own name still has them.
    QByteArray nameBytes = QFile::encodeName(name);
    const QByteArray own = path.mid(path.lastIndexOf('/') + 1);
    if (own.endsWith(".qne") && own.size() > 4) {
        const QByteArray candidate = own.chopped(4);
        if (candidate != nameBytes && candidate != "." && candidate != ".."
            && QString::fromUtf8(candidate) == name)
            nameBytes = candidate;
    }
    const QByteArray restored = joinNative(absoluteFolderOf(path), nameBytes);
    if (existsAtNative(restored)) {
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

}  // namespace

QString QNCrypto::encryptFileAtPath(const QString& path, const QString& key, const QNCryptoProgress& progress,
                                    const QVariant& context, QNErrorOut error)
{
    return QFile::decodeName(encryptNative(QFile::encodeName(path), path, key, progress, context, error));
}

QString QNCrypto::decryptFileAtPath(const QString& path, const QString& key, const QNCryptoProgress& progress,
                                    const QVariant& context, QNErrorOut error)
{
    return QFile::decodeName(decryptNative(QFile::encodeName(path), key, progress, context, error));
}

std::optional<QByteArray> QNCrypto::dataByDecryptingFileAtPath(const QString& path, const QString& key,
                                                               const QNCryptoProgress& progress,
                                                               const QVariant& context, QNErrorOut error)
{
    return dataByDecryptingFileAtNativePath(QFile::encodeName(path), key, progress, context, error);
}

QByteArray QNCrypto::encryptFileAtNativePath(const QByteArray& path, const QString& key,
                                             const QNCryptoProgress& progress, const QVariant& context,
                                             QNErrorOut error)
{
    return encryptNative(path, QString::fromUtf8(path), key, progress, context, error);
}

QByteArray QNCrypto::decryptFileAtNativePath(const QByteArray& path, const QString& key,
                                             const QNCryptoProgress& progress, const QVariant& context,
                                             QNErrorOut error)
{
    return decryptNative(path, key, progress, context, error);
}

std::optional<QByteArray> QNCrypto::dataByDecryptingFileAtNativePath(const QByteArray& path, const QString& key,
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

void QNCrypto::setSizeLimitForTesting(quint64 limit)
{
    sizeLimit = limit ? limit : kMaxPlaintextSize;
}

void QNCrypto::setLinkForTesting(int (*link)(const char*, const char*))
{
    linkCall = link ? link : &::link;
}
