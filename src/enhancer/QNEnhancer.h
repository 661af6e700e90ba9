// SPDX-License-Identifier: MIT
// src/enhancer: libQNEnhancer, the utility framework (.qne files, privileged runner, transfers, HTTP, summaries).
#pragma once
// Class-level helpers of the utility framework: its error objects, the user's
// highlight colour and the newline character set used for splitting text.
#include <QColor>
#include <QSet>
#include <QString>
#include <QVariantMap>
#include <optional>

/// The framework's error domain.
inline const QString kQNErrorDomain = QStringLiteral("com.qnlab.QNErrorDomain");
/// The domain of operating-system status codes (authorization failures).
inline const QString NSOSStatusErrorDomain = QStringLiteral("NSOSStatusErrorDomain");
/// User-info keys of an error.
inline const QString NSLocalizedDescriptionKey = QStringLiteral("NSLocalizedDescription");
inline const QString NSLocalizedRecoverySuggestionErrorKey = QStringLiteral("NSLocalizedRecoverySuggestion");

/// The framework's own error codes (domain kQNErrorDomain). The values are
/// fixed: errors carry them as plain numbers, and callers compare them.
enum class QNErrorCode : qint32 {
    kQNFileNotFoundErr = 100,
    kQNWriteErr = 101,
    kQNFileDupErr = 102,
    kQNFileIsDamagedErr = 103,
    kQNFileIsDamagedOrInvalidKeyErr = 400,
};

/// An error object: domain, code and user info.
struct QNError {
    QString domain;
    qint32 code = 0;
    QVariantMap userInfo;

    /// The user-info description, or a generic text naming domain and code.
    QString localizedDescription() const;
    bool operator==(const QNError&) const = default;
};

/// Error out-parameters are optional pointers: nullptr means "not wanted".
using QNErrorOut = std::optional<QNError>*;

class QNEnhancer {
public:
    QNEnhancer() = delete;

    /// The framework error for a code: null for 0; for 100-102 the localized
    /// description and recovery suggestion, for 103 and 400 the description
    /// only, for any other code empty user info.
    static std::optional<QNError> buildErrorWithCode(qint32 code);
    static std::optional<QNError> buildErrorWithCode(QNErrorCode code) { return buildErrorWithCode(qint32(code)); }
    /// As above when the domain is the framework's own; otherwise an error with
    /// exactly that domain and code and no user info.
    static std::optional<QNError> buildErrorWithCode(qint32 code, const QString& domain);

    /// The user's highlight colour from the global defaults key
    /// "AppleHighlightColor" ("r g b [name]", fractions 0-1), opaque. Null when
    /// the value cannot be read as three numbers. On Linux, when the key is
    /// absent altogether, the desktop palette's highlight colour is returned
    /// (null when no GUI application is running).
    static std::optional<QColor> hiliteColor();
    /// Parses a highlight default as above; null on malformed text.
    static std::optional<QColor> colorFromHighlightDefault(const QString& value);

    /// A new set holding U+000A-U+000D and U+0085 (not U+2028/U+2029).
    static QSet<char32_t> newlineCharacterSet();

    /// The domain of the global defaults.
    static QString globalDomain() { return QStringLiteral("NSGlobalDomain"); }
};
