// SPDX-License-Identifier: MIT
#include "persistence/ManagedObjectModel.h"

#include "plist/PropertyList.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <QUuid>
#include <QXmlStreamReader>

#include <cmath>
#include <limits>

namespace qn::persistence {

namespace {

struct TypeName {
    AttributeType type;
    const char* name;
};

constexpr TypeName kTypeNames[] = {
    {AttributeType::Integer16, "Integer 16"}, {AttributeType::Integer32, "Integer 32"},
    {AttributeType::Integer64, "Integer 64"}, {AttributeType::Decimal, "Decimal"},
    {AttributeType::Double, "Double"},        {AttributeType::Float, "Float"},
    {AttributeType::String, "String"},        {AttributeType::Boolean, "Boolean"},
    {AttributeType::Date, "Date"},            {AttributeType::Binary, "Binary"},
    {AttributeType::UUID, "UUID"},            {AttributeType::URI, "URI"},
};

bool isIdentifier(const QString& name)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return re.match(name).hasMatch() && !name.startsWith(QLatin1String("Z_"));
}

std::optional<QVariant> integer(const QVariant& v, qint64 lo, qint64 hi)
{
    qint64 n = 0;
    switch (v.typeId()) {
    case QMetaType::Bool:
        return std::nullopt;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (!std::isfinite(d) || d != std::trunc(d) || d < double(lo) || d > double(hi))
            return std::nullopt;
        n = qint64(d);
        break;
    }
    case QMetaType::QString: {
        bool ok = false;
        n = v.toString().trimmed().toLongLong(&ok);
        if (!ok)
            return std::nullopt;
        break;
    }
    case QMetaType::ULongLong:
        if (v.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        n = qint64(v.toULongLong());
        break;
    default: {
        bool ok = false;
        n = v.toLongLong(&ok);
        if (!ok)
            return std::nullopt;
    }
    }
    if (n < lo || n > hi)
        return std::nullopt;
    return QVariant(n);
}

}  // namespace

QString attributeTypeName(AttributeType type)
{
    for (const TypeName& t : kTypeNames)
        if (t.type == type)
            return QString::fromLatin1(t.name);
    return {};
}

std::optional<AttributeType> attributeTypeFromName(const QString& name)
{
    for (const TypeName& t : kTypeNames)
        if (name == QLatin1String(t.name))
            return t.type;
    if (name == QLatin1String("Binary Data"))
        return AttributeType::Binary;
    return std::nullopt;
}

std::optional<QVariant> AttributeDescription::coerce(const QVariant& v) const
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (type) {
    case AttributeType::Integer16:
        return integer(v, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max());
    case AttributeType::Integer32:
        return integer(v, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    case AttributeType::Integer64:
        return integer(v, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    case AttributeType::Decimal:
    case AttributeType::Double:
    case AttributeType::Float: {
        if (v.typeId() == QMetaType::Bool)
            return std::nullopt;
        bool ok = false;
        double d = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok)
                                                     : v.toDouble(&ok);
        if (!ok)
            return std::nullopt;
        if (type == AttributeType::Float)
            d = double(float(d));
        return QVariant(d);
    }
    case AttributeType::String:
        if (v.typeId() != QMetaType::QString && v.typeId() != QMetaType::QByteArray &&
            !v.canConvert<QString>())
            return std::nullopt;
        if (v.typeId() == QMetaType::QByteArray)
            return QVariant(QString::fromUtf8(v.toByteArray()));
        return QVariant(v.toString());
    case AttributeType::Boolean:
        if (v.typeId() == QMetaType::Bool)
            return v;
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString().trimmed().toUpper();
            if (s == QLatin1String("YES") || s == QLatin1String("TRUE") || s == QLatin1String("1"))
                return QVariant(true);
            if (s == QLatin1String("NO") || s == QLatin1String("FALSE") || s == QLatin1String("0"))
                return QVariant(false);
            return std::nullopt;
        }
        if (v.canConvert<qint64>())
            return QVariant(v.toLongLong() != 0);
        return std::nullopt;
    case AttributeType::Date: {
        QDateTime d;
        if (v.typeId() == QMetaType::QDateTime)
            d = v.toDateTime();
        else if (v.typeId() == QMetaType::QString)
            d = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
        if (!d.isValid())
            return std::nullopt;
        return QVariant(d.toUTC());
    }
    case AttributeType::Binary:
        if (v.typeId() != QMetaType::QByteArray)
            return std::nullopt;
        return v;
    case AttributeType::UUID: {
        const QUuid u = v.typeId() == QMetaType::QUuid ? v.toUuid() : QUuid(v.toString());
        if (u.isNull())
            return std::nullopt;
        return QVariant(u);
    }
    case AttributeType::URI: {
        const QUrl u = v.typeId() == QMetaType::QUrl ? v.toUrl()
                                                     : QUrl(v.toString(), QUrl::StrictMode);
        if (!u.isValid() || u.isEmpty())
            return std::nullopt;
        return QVariant(u);
    }
    }
    return std::nullopt;
}

const AttributeDescription* EntityDescription::attribute(const QString& n) const
{
    for (const AttributeDescription& a : attributes)
        if (a.name == n)
            return &a;
    return nullptr;
}

const EntityDescription* ManagedObjectModel::entity(const QString& n) const
{
    for (const EntityDescription& e : _entities)
        if (e.name == n)
            return &e;
    return nullptr;
}

std::shared_ptr<const ManagedObjectModel> ManagedObjectModel::fromXml(const QByteArray& xml,
                                                                      QString* error)
{
    auto fail = [&](const QString& why) -> std::shared_ptr<const ManagedObjectModel> {
        if (error)
            *error = why;
        return nullptr;
    };
    auto model = std::make_shared<ManagedObjectModel>();
    QXmlStreamReader r(xml);
    if (!r.readNextStartElement() || r.name() != QLatin1String("model"))
        return fail(QStringLiteral("not a data model: the root element is not <model>"));
    QSet<QString> entityNames;
    while (r.readNextStartElement()) {
        if (r.name() != QLatin1String("entity")) {
            r.skipCurrentElement();
            continue;
        }
        EntityDescription e;
        e.name = r.attributes().value(QLatin1String("name")).toString();
        if (!isIdentifier(e.name))
            return fail(QStringLiteral("unusable entity name \"%1\"").arg(e.name));
        if (entityNames.contains(e.name))
            return fail(QStringLiteral("entity \"%1\" is defined twice").arg(e.name));
        entityNames.insert(e.name);
        QSet<QString> names;
        while (r.readNextStartElement()) {
            if (r.name() != QLatin1String("attribute")) {
                r.skipCurrentElement();
                continue;
            }
            const QXmlStreamAttributes at = r.attributes();
            AttributeDescription a;
            a.name = at.value(QLatin1String("name")).toString();
            if (!isIdentifier(a.name))
                return fail(QStringLiteral("%1: unusable attribute name \"%2\"").arg(e.name, a.name));
            if (names.contains(a.name))
                return fail(QStringLiteral("%1.%2 is defined twice").arg(e.name, a.name));
            names.insert(a.name);
            const QString typeName = at.value(QLatin1String("attributeType")).toString();
            const auto type = attributeTypeFromName(typeName);
            if (!type)
                return fail(QStringLiteral("%1.%2: unsupported attribute type \"%3\"")
                                .arg(e.name, a.name, typeName));
            a.type = *type;
            a.optional = at.value(QLatin1String("optional")) == QLatin1String("YES");
            if (at.hasAttribute(QLatin1String("defaultValueString"))) {
                const auto d = a.coerce(at.value(QLatin1String("defaultValueString")).toString());
                if (!d)
                    return fail(QStringLiteral("%1.%2: default value does not fit the type")
                                    .arg(e.name, a.name));
                a.defaultValue = *d;
            }
            e.attributes.push_back(a);
            r.skipCurrentElement();
        }
        model->_entities.push_back(std::move(e));
    }
    if (r.hasError())
        return fail(QStringLiteral("model XML: %1 (line %2)").arg(r.errorString()).arg(r.lineNumber()));
    if (model->_entities.empty())
        return fail(QStringLiteral("the model has no entity"));
    return model;
}

std::shared_ptr<const ManagedObjectModel> ManagedObjectModel::fromFile(const QString& path,
                                                                       QString* error)
{
    QString file = path;
    const QFileInfo info(path);
    if (info.isDir() && path.endsWith(QLatin1String(".xcdatamodeld"))) {
        const QDir dir(path);
        QString version =
            plist::readFile(dir.filePath(QStringLiteral(".xccurrentversion")))
                .value_or(QVariant())
                .toMap()
                .value(QStringLiteral("_XCCurrentVersionName"))
                .toString();
        if (version.isEmpty()) {
            const QStringList versions =
                dir.entryList({QStringLiteral("*.xcdatamodel")}, QDir::Dirs);
            if (versions.size() == 1)
                version = versions.first();
        }
        if (version.isEmpty() || version.contains(QLatin1Char('/'))) {
            if (error)
                *error = QStringLiteral("%1: no current model version").arg(path);
            return nullptr;
        }
        file = dir.filePath(version + QStringLiteral("/contents"));
    } else if (info.isDir()) {
        file = QDir(path).filePath(QStringLiteral("contents"));
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(file, f.errorString());
        return nullptr;
    }
    QString why;
    auto model = fromXml(f.readAll(), &why);
    if (!model && error)
        *error = QStringLiteral("%1: %2").arg(file, why);
    return model;
}

}  // namespace qn::persistence
