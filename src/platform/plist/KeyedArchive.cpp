// SPDX-License-Identifier: MIT
#include "plist/KeyedArchive.h"

#include "plist/PropertyList.h"

namespace qn::plist {
namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

const QString kArchiver = QStringLiteral("$archiver");
const QString kVersion = QStringLiteral("$version");
const QString kTop = QStringLiteral("$top");
const QString kObjects = QStringLiteral("$objects");
const QString kNull = QStringLiteral("$null");
const QString kClass = QStringLiteral("$class");
const QString kClassName = QStringLiteral("$classname");
const QString kKeys = QStringLiteral("NS.keys");
const QString kValues = QStringLiteral("NS.objects");

bool isUid(const QVariant& v)
{
    return v.metaType() == QMetaType::fromType<Uid>();
}

bool isPlainValue(const QVariant& value)
{
    const int type = value.metaType().id();
    return type == QMetaType::QString || type == QMetaType::QByteArray || type == QMetaType::Bool
        || type == QMetaType::LongLong || type == QMetaType::ULongLong || type == QMetaType::Double;
}

QVariantMap archiveWithTop(const QVariantMap& top, const QVariantList& objects)
{
    return QVariantMap{
        {kArchiver, QStringLiteral("NSKeyedArchiver")},
        {kVersion, qint64(100000)},
        {kTop, top},
        {kObjects, objects},
    };
}

}  // namespace

QByteArray KeyedArchive::encodeValuesByKey(const QVariantMap& values, QString* error)
{
    // $objects: "$null", then each value once, in key order.
    QVariantList objects{kNull};
    QVariantMap top;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const int type = it.value().metaType().id();
        if (type != QMetaType::QString && type != QMetaType::QByteArray) {
            setError(error, QStringLiteral("value for key \"%1\" is neither a string nor data").arg(it.key()));
            return {};
        }
        top.insert(it.key(), QVariant::fromValue(Uid{quint64(objects.size())}));
        objects.append(it.value());
    }
    return write(archiveWithTop(top, objects), Format::Binary, error);
}

std::optional<QVariantMap> KeyedArchive::decodeValuesByKey(const QByteArray& bytes, QString* error)
{
    auto parsed = read(bytes, error);
    if (!parsed)
        return std::nullopt;
    const QVariantMap archive = parsed->toMap();
    if (parsed->metaType().id() != QMetaType::QVariantMap
        || archive.value(kArchiver).toString() != QStringLiteral("NSKeyedArchiver")
        || archive.value(kTop).metaType().id() != QMetaType::QVariantMap) {
        setError(error, QStringLiteral("not a keyed archive"));
        return std::nullopt;
    }
    const QVariantMap top = archive.value(kTop).toMap();
    const QVariantList objects = archive.value(kObjects).toList();
    // The older layout: one entry "root" naming a dictionary object.
    if (top.size() == 1 && top.contains(QStringLiteral("root"))) {
        const QVariant ref = top.value(QStringLiteral("root"));
        if (isUid(ref) && ref.value<Uid>().value < quint64(objects.size())
            && objects.at(qsizetype(ref.value<Uid>().value)).toMap().contains(kKeys))
            return unarchiveRootDictionary(bytes, error);
    }
    QVariantMap result;
    for (auto it = top.cbegin(); it != top.cend(); ++it) {
        const QVariant& ref = it.value();
        const quint64 i = isUid(ref) ? ref.value<Uid>().value : 0;
        if (i == 0 || i >= quint64(objects.size()) || !isPlainValue(objects.at(qsizetype(i)))) {
            setError(error, QStringLiteral("keyed archive value for \"%1\" is not a plain value").arg(it.key()));
            return std::nullopt;
        }
        result.insert(it.key(), objects.at(qsizetype(i)));
    }
    return result;
}

QByteArray KeyedArchive::archiveRootDictionary(const QVariantMap& dictionary, QString* error)
{
    // $objects: "$null", the dictionary, its keys, its values, its class.
    QVariantList objects{kNull};
    QVariantList keyRefs;
    QVariantList valueRefs;
    const quint64 dictIndex = 1;
    objects.append(QVariant());  // placeholder for the dictionary
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it) {
        const int type = it.value().metaType().id();
        if (type != QMetaType::QString && type != QMetaType::QByteArray) {
            setError(error, QStringLiteral("value for key \"%1\" is neither a string nor data").arg(it.key()));
            return {};
        }
        keyRefs.append(QVariant::fromValue(Uid{quint64(objects.size())}));
        objects.append(it.key());
        valueRefs.append(QVariant::fromValue(Uid{quint64(objects.size())}));
        objects.append(it.value());
    }
    const quint64 classIndex = quint64(objects.size());
    objects.append(QVariantMap{
        {kClassName, QStringLiteral("NSDictionary")},
        {QStringLiteral("$classes"), QVariantList{QStringLiteral("NSDictionary"), QStringLiteral("NSObject")}},
    });
    objects[dictIndex] = QVariantMap{
        {kKeys, keyRefs},
        {kValues, valueRefs},
        {kClass, QVariant::fromValue(Uid{classIndex})},
    };
    return write(archiveWithTop(QVariantMap{{QStringLiteral("root"), QVariant::fromValue(Uid{dictIndex})}}, objects),
                 Format::Binary, error);
}

std::optional<QVariantMap> KeyedArchive::unarchiveRootDictionary(const QByteArray& bytes, QString* error)
{
    auto parsed = read(bytes, error);
    if (!parsed)
        return std::nullopt;
    const QVariantMap archive = parsed->toMap();
    if (parsed->metaType().id() != QMetaType::QVariantMap
        || archive.value(kArchiver).toString() != QStringLiteral("NSKeyedArchiver")) {
        setError(error, QStringLiteral("not a keyed archive"));
        return std::nullopt;
    }
    const QVariantList objects = archive.value(kObjects).toList();
    const QVariant rootRef = archive.value(kTop).toMap().value(QStringLiteral("root"));
    auto resolve = [&](const QVariant& ref) -> std::optional<QVariant> {
        if (!isUid(ref))
            return std::nullopt;
        const quint64 i = ref.value<Uid>().value;
        if (i >= quint64(objects.size()))
            return std::nullopt;
        return objects.at(qsizetype(i));
    };
    auto root = resolve(rootRef);
    if (!root || root->metaType().id() != QMetaType::QVariantMap) {
        setError(error, QStringLiteral("keyed archive has no root dictionary"));
        return std::nullopt;
    }
    const QVariantMap dict = root->toMap();
    auto cls = resolve(dict.value(kClass));
    const QString className = cls ? cls->toMap().value(kClassName).toString() : QString();
    if (className != QStringLiteral("NSDictionary") && className != QStringLiteral("NSMutableDictionary")) {
        setError(error, QStringLiteral("keyed archive root is not a dictionary"));
        return std::nullopt;
    }
    const QVariantList keys = dict.value(kKeys).toList();
    const QVariantList values = dict.value(kValues).toList();
    if (keys.size() != values.size()) {
        setError(error, QStringLiteral("keyed archive dictionary has unequal key and value counts"));
        return std::nullopt;
    }
    QVariantMap result;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        auto key = resolve(keys.at(i));
        auto value = resolve(values.at(i));
        if (!key || key->metaType().id() != QMetaType::QString || !value) {
            setError(error, QStringLiteral("keyed archive dictionary has a broken entry"));
            return std::nullopt;
        }
        if (!isPlainValue(*value) || values.at(i).value<Uid>().value == 0) {
            setError(error, QStringLiteral("keyed archive value for \"%1\" is not a plain value").arg(key->toString()));
            return std::nullopt;
        }
        result.insert(key->toString(), *value);
    }
    return result;
}

}  // namespace qn::plist
