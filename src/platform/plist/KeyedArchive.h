// SPDX-License-Identifier: MIT
#pragma once
// Keyed archives in the NSKeyedArchiver layout ($archiver "NSKeyedArchiver",
// $version 100000, $top, $objects starting with "$null"), as binary property
// lists, so archives are exchangeable with the original platform. Values are
// strings or data; archiving anything else fails.
//
// Values encoded by key sit directly in $top ({key: UID, ...}), as the
// platform's archiver writes them. An older layout of ours archived one root
// dictionary instead ($top {root: UID of an NSDictionary}); decodeValuesByKey()
// reads both.
#include <QByteArray>
#include <QString>
#include <QVariantMap>
#include <optional>

namespace qn::plist {

class KeyedArchive {
public:
    /// Encodes each value under its key, directly in $top. Values must be
    /// QString or QByteArray; otherwise an empty array and *error.
    static QByteArray encodeValuesByKey(const QVariantMap& values, QString* error = nullptr);

    /// The values of an archive encoded by key: $top's entries, or, for the
    /// older layout, the entries of the dictionary under "root". Values are
    /// strings, data, numbers or booleans; anything else gives std::nullopt.
    static std::optional<QVariantMap> decodeValuesByKey(const QByteArray& bytes, QString* error = nullptr);

    /// Archives a dictionary whose values are QString or QByteArray.
    /// Returns an empty array and sets *error on other value types.
    static QByteArray archiveRootDictionary(const QVariantMap& dictionary, QString* error = nullptr);

    /// Reads back the root dictionary of an archive. Accepts NSDictionary and
    /// NSMutableDictionary roots whose keys are strings and whose values are
    /// strings, data, numbers or booleans. Anything else gives std::nullopt.
    static std::optional<QVariantMap> unarchiveRootDictionary(const QByteArray& bytes, QString* error = nullptr);
};

}  // namespace qn::plist
