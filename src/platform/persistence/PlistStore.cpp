// SPDX-License-Identifier: MIT
#include "persistence/PlistStore.h"

#include "plist/PropertyList.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QUrl>
#include <QUuid>

namespace qn::persistence {

namespace {

QVariant toPlist(const QVariant& v)
{
    if (v.typeId() == QMetaType::QUuid)
        return v.toUuid().toString(QUuid::WithoutBraces);
    if (v.typeId() == QMetaType::QUrl)
        return v.toUrl().toString();
    // Property-list dates lose the milliseconds (XML keeps whole seconds).
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toMSecsSinceEpoch();
    return v;
}

std::optional<QVariant> fromPlist(const AttributeDescription& a, const QVariant& v)
{
    if (a.type == AttributeType::Date) {
        if (v.typeId() != QMetaType::LongLong && v.typeId() != QMetaType::ULongLong)
            return std::nullopt;
        return QVariant(QDateTime::fromMSecsSinceEpoch(v.toLongLong(), Qt::UTC));
    }
    return a.coerce(v);
}

}  // namespace

PlistStore::PlistStore(QString type, QUrl url, std::shared_ptr<const ManagedObjectModel> model)
    : PersistentStore(std::move(type), std::move(url), std::move(model))
{
}

bool PlistStore::load(QString* error)
{
    const QString path = _url.toLocalFile();
    auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    };
    QFile f(path);
    if (!f.exists()) {
        _identifier = QUuid::createUuid().toString(QUuid::WithoutBraces);
        return true;
    }
    if (!f.open(QIODevice::ReadOnly))
        return fail(f.errorString());
    const QByteArray bytes = f.readAll();
    if (bytes.isEmpty()) {
        _identifier = QUuid::createUuid().toString(QUuid::WithoutBraces);
        return true;
    }
    const bool binary = bytes.startsWith("bplist");
    if (binary != (_type == kBinaryStoreType))
        return fail(QStringLiteral("not a store of type %1").arg(_type));
    QString why;
    const auto root = plist::read(bytes, &why);
    if (!root)
        return fail(QStringLiteral("damaged store: %1").arg(why));
    const QVariantMap top = root->toMap();
    if (top.value(QStringLiteral("QNStoreType")).toString() != _type)
        return fail(QStringLiteral("not a store of type %1").arg(_type));
    if (top.value(QStringLiteral("QNStoreVersion")).toLongLong() != 1)
        return fail(QStringLiteral("unsupported store version"));
    _identifier = top.value(QStringLiteral("QNStoreUUID")).toString();
    if (QUuid(_identifier).isNull())
        return fail(QStringLiteral("damaged store: no identifier"));
    const QVariantMap entities = top.value(QStringLiteral("Entities")).toMap();
    for (auto e = entities.begin(); e != entities.end(); ++e) {
        const EntityDescription* entity = _model->entity(e.key());
        if (!entity)
            return fail(QStringLiteral("the store holds entity \"%1\" that the model lacks").arg(e.key()));
        const QVariantMap body = e.value().toMap();
        _nextKey[e.key()] = body.value(QStringLiteral("NextPrimaryKey")).toLongLong();
        QMap<qint64, QVariantMap>& objects = _objects[e.key()];
        for (const QVariant& item : body.value(QStringLiteral("Objects")).toList()) {
            const QVariantMap o = item.toMap();
            bool ok = false;
            const qint64 pk = o.value(QStringLiteral("pk")).toLongLong(&ok);
            if (!ok || pk < 1 || objects.contains(pk))
                return fail(QStringLiteral("damaged store: bad primary key in %1").arg(e.key()));
            QVariantMap values;
            const QVariantMap raw = o.value(QStringLiteral("values")).toMap();
            for (auto v = raw.begin(); v != raw.end(); ++v) {
                const AttributeDescription* a = entity->attribute(v.key());
                if (!a)
                    continue;  // an attribute dropped from the model
                const auto coerced = fromPlist(*a, v.value());
                if (!coerced)
                    return fail(QStringLiteral("damaged store: %1.%2 has a value of the wrong type")
                                    .arg(e.key(), v.key()));
                values.insert(v.key(), *coerced);
            }
            objects.insert(pk, values);
        }
    }
    return true;
}

bool PlistStore::persist(const QMap<QString, QMap<qint64, QVariantMap>>& after,
                         const std::vector<StoredObject>&,
                         const std::vector<std::pair<QString, qint64>>&, QString* error)
{
    QVariantMap entities;
    for (auto e = after.begin(); e != after.end(); ++e) {
        QVariantList list;
        for (auto o = e->begin(); o != e->end(); ++o) {
            QVariantMap values;
            for (auto v = o->begin(); v != o->end(); ++v)
                if (!v.value().isNull())
                    values.insert(v.key(), toPlist(v.value()));
            list.append(QVariantMap{{QStringLiteral("pk"), o.key()},
                                    {QStringLiteral("values"), values}});
        }
        qint64 next = _nextKey.value(e.key());
        entities.insert(e.key(), QVariantMap{{QStringLiteral("NextPrimaryKey"), next},
                                             {QStringLiteral("Objects"), list}});
    }
    const QVariantMap top{{QStringLiteral("QNStoreType"), _type},
                          {QStringLiteral("QNStoreUUID"), _identifier},
                          {QStringLiteral("QNStoreVersion"), 1},
                          {QStringLiteral("Entities"), entities}};
    QString why;
    const QByteArray bytes = plist::write(
        top, _type == kBinaryStoreType ? plist::Format::Binary : plist::Format::Xml, &why);
    if (bytes.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    QSaveFile f(_url.toLocalFile());
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(_url.toLocalFile(), f.errorString());
        return false;
    }
    return true;
}

}  // namespace qn::persistence
