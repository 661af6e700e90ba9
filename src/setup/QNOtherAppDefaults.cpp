// SPDX-License-Identifier: MIT
#include "QNOtherAppDefaults.h"

#include "defaults/UserDefaults.h"

void QNOtherAppDefaults::setIdentifier(const QString& identifier)
{
    if (identifier == _identifier && _properties)
        return;
    _identifier = identifier;
    const QString path = preferencesFile();
    if (path.isEmpty())
        return;
    // UserDefaults reads XML and binary files and treats a missing file or a
    // top level that is not a dictionary as an empty domain.
    _properties = qn::UserDefaults(_identifier).persistentDomain();
}

QString QNOtherAppDefaults::preferencesFile() const
{
    if (_identifier.isEmpty())
        return {};
    return qn::UserDefaults::pathForDomain(_identifier);
}

QVariant QNOtherAppDefaults::valueForUndefinedKey(const QString& key) const
{
    if (!_properties)
        return {};
    return _properties->value(key);
}

void QNOtherAppDefaults::setValueForUndefinedKey(const QVariant& value, const QString& key)
{
    if (!_properties || preferencesFile().isEmpty())
        return;
    // A control that was emptied hands over no value: the key goes away, so
    // the reader falls back to its own default.
    if (value.isValid() && !value.isNull())
        _properties->insert(key, value);
    else
        _properties->remove(key);
    writeToFile();
}

QVariant* QNOtherAppDefaults::mutableObjectForKey(const QString& key)
{
    if (!_properties)
        return nullptr;
    auto it = _properties->find(key);
    return it == _properties->end() ? nullptr : &it.value();
}

QVariantList* QNOtherAppDefaults::mutableArrayForKey(const QString& key)
{
    QVariant* value = mutableObjectForKey(key);
    return value ? mutableList(*value) : nullptr;
}

bool QNOtherAppDefaults::writeToFile() const
{
    const QString path = preferencesFile();
    if (!_properties || path.isEmpty())
        return false;
    return qn::UserDefaults::writeAtomically(path, *_properties);
}

QVariantMap* QNOtherAppDefaults::mutableMap(QVariant& value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return nullptr;
    return static_cast<QVariantMap*>(value.data());
}

QVariantList* QNOtherAppDefaults::mutableList(QVariant& value)
{
    if (value.typeId() != QMetaType::QVariantList)
        return nullptr;
    return static_cast<QVariantList*>(value.data());
}
