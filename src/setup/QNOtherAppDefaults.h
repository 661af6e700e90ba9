// SPDX-License-Identifier: MIT
#pragma once
// QNOtherAppDefaults: reads and changes the preference domain of another
// program (the agent) by holding that domain's whole file content in memory
// and writing it back after every change. The file is the one UserDefaults
// uses for the domain, so the other program sees every change at its next
// read. Writes are atomic (temporary file + rename): a reader never sees half
// a file and a crash during a write loses nothing.
//
// Keys other than the two fields are the preference keys: valueForUndefinedKey
// answers them from the content, setValueForUndefinedKey stores and writes.
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

class QNOtherAppDefaults {
public:
    QNOtherAppDefaults() = default;

    /// Replaces the identifier. When the new one gives a file path, the content
    /// is reloaded from that file (a missing, unreadable or non-dictionary file
    /// gives an empty content); otherwise the previous content stays.
    void setIdentifier(const QString& identifier);
    const QString& identifier() const { return _identifier; }

    /// The whole content; null before an identifier with a path was set.
    QVariantMap* properties() { return _properties ? &*_properties : nullptr; }

    /// The domain's file, or an empty string while the identifier is empty.
    QString preferencesFile() const;

    /// The value stored under the key; invalid when absent or without content.
    QVariant valueForUndefinedKey(const QString& key) const;
    /// With content and a path: stores the value (an invalid value removes the
    /// key) and writes the file. Otherwise nothing happens.
    void setValueForUndefinedKey(const QVariant& value, const QString& key);
    QVariant objectForKey(const QString& key) const { return valueForUndefinedKey(key); }
    void setObjectForKey(const QVariant& value, const QString& key) { setValueForUndefinedKey(value, key); }

    /// The stored value itself, to be changed in place (nested arrays and
    /// dictionaries included) and written later with writeToFile(). Null when
    /// absent or without content. The pointer is valid until the key is set
    /// or removed.
    QVariant* mutableObjectForKey(const QString& key);
    /// The array stored under the key, changed in place; null when the key
    /// holds no array.
    QVariantList* mutableArrayForKey(const QString& key);

    /// Writes the whole content to the file when both exist. True when written.
    bool writeToFile() const;

    /// The dictionary inside a value, for in-place changes; null when the value
    /// holds no dictionary.
    static QVariantMap* mutableMap(QVariant& value);
    static QVariantList* mutableList(QVariant& value);

private:
    QString _identifier;
    std::optional<QVariantMap> _properties;
};
