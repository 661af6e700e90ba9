#pragma once
// Root dictionaries in the NSKeyedArchiver layout ($archiver "NSKeyedArchiver",
// $version 100000, $top {root: UID}, $objects starting with "$null"), as binary
// property lists, so archives are exchangeable with the original platform.
// Values are strings or data; archiving anything else fails.
#include <QByteArray>
#include <QString>
#include <QVariantMap>
#include <optional>

namespace qn::plist {

class KeyedArchive {
public:
    /// Archives a dictionary whose values are QString or QByteArray.
    /// Returns an empty array and sets *error on other value types.
    static QByteArray archiveRootDictionary(const QVariantMap& dictionary, QString* error = nullptr);

    /// Reads back the root dictionary of an archive. Accepts NSDictionary and
    /// NSMutableDictionary roots whose keys are strings and whose values are
    /// strings, data, numbers or booleans. Anything else gives std::nullopt.
    static std::optional<QVariantMap> unarchiveRootDictionary(const QByteArray& bytes, QString* error = nullptr);
};

}  // namespace qn::plist
