// SPDX-License-Identifier: MIT
// src/platform/defaults: per-domain preferences stored as property-list files.
#pragma once
// Per-domain preferences: one domain is one XML property-list file at
// ${XDG_CONFIG_HOME:-~/.config}/qnlab/<domain>.plist.
//
// Reads always see the file as it is now (another process may have rewritten
// it).
// A missing file reads as empty. A file that cannot be parsed or whose top
// level is not a dictionary also reads as empty, but is first moved aside to
// "<file>.damaged" (replacing an older one) with a line on standard error, so
// the next write cannot destroy what the user had. Writes replace the file atomically (temporary file in the
// same folder + rename), so a reader or a crash never sees half a file.
// Registered defaults answer for keys the file does not hold.
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

namespace qn {

class UserDefaults {
public:
    explicit UserDefaults(QString domain);

    /// ${XDG_CONFIG_HOME:-$HOME/.config}/qnlab/<domain>.plist
    static QString pathForDomain(const QString& domain);
    /// Whether a domain names one file in that folder (com.qnlab.QNTraylift),
    /// never a path out of it: not empty, no '/', no leading dot. Check this
    /// before using a domain that comes from outside the program.
    static bool isDomainName(const QString& domain)
    {
        return !domain.isEmpty() && !domain.startsWith(QLatin1Char('.')) && !domain.contains(QLatin1Char('/'));
    }

    const QString& domain() const { return _domain; }
    QString path() const { return pathForDomain(_domain); }

    void registerDefaults(const QVariantMap& fallbacks);

    /// The stored value, else the registered fallback, else an invalid QVariant.
    QVariant objectForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;            // false when absent
    qint64 integerForKey(const QString& key) const;       // 0 when absent
    float floatForKey(const QString& key) const;          // 0 when absent
    double doubleForKey(const QString& key) const;        // 0 when absent
    QString stringForKey(const QString& key) const;       // null when absent or not a string/number
    QVariantList arrayForKey(const QString& key) const;   // empty when absent or not an array

    /// Stores a value; an invalid QVariant removes the key. Returns false when
    /// the file could not be written (the old file then stays as it was).
    bool setObject(const QVariant& value, const QString& key);
    bool setBool(bool value, const QString& key) { return setObject(value, key); }
    bool removeObject(const QString& key) { return setObject(QVariant(), key); }

    /// The whole stored dictionary (without registered fallbacks).
    QVariantMap persistentDomain() const;
    /// Replaces the whole stored dictionary atomically.
    bool setPersistentDomain(const QVariantMap& content);

    /// Writes a dictionary as an XML plist, atomically. Shared by every writer
    /// of preference-style files.
    static bool writeAtomically(const QString& path, const QVariantMap& content);

private:
    static void moveDamagedFileAside(const QString& file, const QString& why);

    QString _domain;
    QVariantMap _registered;
};

}  // namespace qn
