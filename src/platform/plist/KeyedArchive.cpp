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

}  // namespace

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
    const QVariantMap archive{
        {kArchiver, QStringLiteral("NSKeyedArchiver")},
        {kVersion, qint64(100000)},
        {kTop, QVariantMap{{QStringLiteral("root"), QVariant::fromValue(Uid{dictIndex})}}},
        {kObjects, objects},
    };
    return write(archive, Format::Binary, error);
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
        const int type = value->metaType().id();
        const bool plain = type == QMetaType::QString || type == QMetaType::QByteArray || type == QMetaType::Bool
            || type == QMetaType::LongLong || type == QMetaType::ULongLong || type == QMetaType::Double;
        if (!plain || values.at(i).value<Uid>().value == 0) {
            setError(error, QStringLiteral("keyed archive value for \"%1\" is not a plain value").arg(key->toString()));
            return std::nullopt;
        }
        result.insert(key->toString(), *value);
    }
    return result;
}

}  // namespace qn::plist
