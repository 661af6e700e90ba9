// SPDX-License-Identifier: MIT
#pragma once
// Blowfish-ECB encryption of byte buffers and whole files under a key string,
// and MD5 text digests.
//
// Encrypted-data block: an 8-byte header (the plaintext length as a big-endian
// 64-bit number, encrypted as one block) followed by the plaintext in 8-byte
// blocks, each encrypted on its own, the last one zero-filled. No IV, no
// chaining, no checksum: the header's length is the only plausibility check.
//
// Encrypted files ("qne") hold one such block whose plaintext is a keyed
// archive with "QNCryptoSourceFilePath" (string) and "QNCryptoSourceData"
// (data). Failures are returned as null results plus a framework error
// (100 unreadable source, 101 not written, 102 target exists, 400 damaged or
// wrong key), stored only when the caller passed an out-parameter.
#include "QNEnhancer.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

/// Progress message: bytes consumed so far, plaintext length, caller's context.
using QNCryptoProgress = std::function<void(quint32 processed, quint64 total, const QVariant& context)>;

inline const QString QNCryptoSourceFilePath = QStringLiteral("QNCryptoSourceFilePath");
inline const QString QNCryptoSourceData = QStringLiteral("QNCryptoSourceData");

class QNCrypto {
public:
    QNCrypto() = delete;

    /// 32 upper-case hexadecimal digits of the MD5 digest of the text's UTF-8 bytes.
    static QString md5(const QString& text);

    /// A new encrypted-data block, or null when the key is empty. Progress
    /// runs 0, 8, 16, ... (one message per body block plus the first).
    static std::optional<QByteArray> encryptData(const QByteArray& data, const QString& key,
                                                 const QNCryptoProgress& progress = {},
                                                 const QVariant& context = {});
    /// The plaintext, or null for an empty key, an input that is empty or not
    /// a multiple of 8 long, or an impossible stored length (wrong key, damage).
    /// Progress runs 0, 16, 24, ... up to the input length.
    static std::optional<QByteArray> decryptData(const QByteArray& data, const QString& key,
                                                 const QNCryptoProgress& progress = {},
                                                 const QVariant& context = {});

    /// Writes <path>.qne and returns its path; the source stays in place.
    static QString encryptFileAtPath(const QString& path, const QString& key,
                                     const QNCryptoProgress& progress = {}, const QVariant& context = {},
                                     QNErrorOut error = nullptr);
    /// Restores the archived file under its stored name in the encrypted
    /// file's own folder and returns its path.
    static QString decryptFileAtPath(const QString& path, const QString& key,
                                     const QNCryptoProgress& progress = {}, const QVariant& context = {},
                                     QNErrorOut error = nullptr);
    /// The archived contents of an encrypted file; nothing is written.
    static std::optional<QByteArray> dataByDecryptingFileAtPath(const QString& path, const QString& key,
                                                                const QNCryptoProgress& progress = {},
                                                                const QVariant& context = {},
                                                                QNErrorOut error = nullptr);

    /// The three file operations on native paths (bytes), for file names that
    /// are not valid UTF-8. Such a name is stored decoded as UTF-8, with
    /// U+FFFD for its bad bytes; restoring takes the encrypted file's own
    /// name (without ".qne") when it decodes to the stored name, so the file
    /// comes back under its exact bytes.
    static QByteArray encryptFileAtNativePath(const QByteArray& path, const QString& key,
                                              const QNCryptoProgress& progress = {}, const QVariant& context = {},
                                              QNErrorOut error = nullptr);
    static QByteArray decryptFileAtNativePath(const QByteArray& path, const QString& key,
                                              const QNCryptoProgress& progress = {}, const QVariant& context = {},
                                              QNErrorOut error = nullptr);
    static std::optional<QByteArray> dataByDecryptingFileAtNativePath(const QByteArray& path, const QString& key,
                                                                      const QNCryptoProgress& progress = {},
                                                                      const QVariant& context = {},
                                                                      QNErrorOut error = nullptr);

    /// The archive inside a decrypted file: stored path and contents, or null
    /// when it is not a keyed archive with those two keys of those types.
    struct Archived {
        QString sourcePath;
        QByteArray sourceData;
    };
    static std::optional<Archived> readArchive(const QByteArray& plaintext);

    /// The largest plaintext the block's length field can carry (the upper
    /// 32 bits of the stored length must be zero). Larger plaintexts and
    /// archives are refused: encryptData() gives null, the file operations 101.
    static constexpr quint64 kMaxPlaintextSize = 0xFFFFFFFFu;

    /// Test seams: a lower size limit (0 restores kMaxPlaintextSize), and a
    /// stand-in for link(2) (null restores it), so the limit and the fallback
    /// for file systems without hard links can be tested without 4 GiB files
    /// or a FAT mount.
    static void setSizeLimitForTesting(quint64 limit);
    static void setLinkForTesting(int (*link)(const char* from, const char* to));
};
