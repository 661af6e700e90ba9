// SPDX-License-Identifier: MIT
#include "persistence/SQLiteStore.h"

#include <QDateTime>
#include <QFile>
#include <QSet>
#include <QUuid>
#include <sqlite3.h>

namespace qn::persistence {

namespace {

// Names come from a validated model (identifiers only), quoting is still
// applied so that keywords work as names.
QString quoted(const QString& name) { return QLatin1Char('"') + name + QLatin1Char('"'); }
QString table(const QString& entity) { return quoted(QStringLiteral("Z_") + entity); }

const char* columnType(AttributeType t)
{
    switch (t) {
    case AttributeType::Decimal:
    case AttributeType::Double:
    case AttributeType::Float:
        return "REAL";
    case AttributeType::String:
    case AttributeType::UUID:
    case AttributeType::URI:
        return "TEXT";
    case AttributeType::Binary:
        return "BLOB";
    default:
        return "INTEGER";
    }
}

class Statement {
public:
    Statement(sqlite3* db, const QString& sql)
    {
        const QByteArray s = sql.toUtf8();
        _rc = sqlite3_prepare_v2(db, s.constData(), int(s.size()), &_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(_stmt); }
    bool ok() const { return _rc == SQLITE_OK && _stmt; }
    sqlite3_stmt* get() const { return _stmt; }

private:
    sqlite3_stmt* _stmt = nullptr;
    int _rc = SQLITE_ERROR;
};

int bind(sqlite3_stmt* st, int index, const AttributeDescription& a, const QVariant& v)
{
    if (v.isNull())
        return sqlite3_bind_null(st, index);
    switch (a.type) {
    case AttributeType::Decimal:
    case AttributeType::Double:
    case AttributeType::Float:
        return sqlite3_bind_double(st, index, v.toDouble());
    case AttributeType::String: {
        const QByteArray u = v.toString().toUtf8();
        return sqlite3_bind_text(st, index, u.constData(), int(u.size()), SQLITE_TRANSIENT);
    }
    case AttributeType::UUID: {
        const QByteArray u = v.toUuid().toByteArray(QUuid::WithoutBraces);
        return sqlite3_bind_text(st, index, u.constData(), int(u.size()), SQLITE_TRANSIENT);
    }
    case AttributeType::URI: {
        const QByteArray u = v.toUrl().toString().toUtf8();
        return sqlite3_bind_text(st, index, u.constData(), int(u.size()), SQLITE_TRANSIENT);
    }
    case AttributeType::Binary: {
        const QByteArray b = v.toByteArray();
        return sqlite3_bind_blob64(st, index, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT);
    }
    case AttributeType::Date:
        return sqlite3_bind_int64(st, index, v.toDateTime().toMSecsSinceEpoch());
    case AttributeType::Boolean:
        return sqlite3_bind_int64(st, index, v.toBool() ? 1 : 0);
    default:
        return sqlite3_bind_int64(st, index, v.toLongLong());
    }
}

std::optional<QVariant> column(sqlite3_stmt* st, int index, const AttributeDescription& a)
{
    const int kind = sqlite3_column_type(st, index);
    if (kind == SQLITE_NULL)
        return QVariant();
    QVariant raw;
    switch (a.type) {
    case AttributeType::Binary: {
        const void* p = sqlite3_column_blob(st, index);
        raw = QByteArray(static_cast<const char*>(p), sqlite3_column_bytes(st, index));
        break;
    }
    case AttributeType::String:
    case AttributeType::UUID:
    case AttributeType::URI:
        raw = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, index)),
                                sqlite3_column_bytes(st, index));
        break;
    case AttributeType::Date:
        if (kind != SQLITE_INTEGER)
            return std::nullopt;
        raw = QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(st, index), Qt::UTC);
        break;
    case AttributeType::Decimal:
    case AttributeType::Double:
    case AttributeType::Float:
        if (kind != SQLITE_INTEGER && kind != SQLITE_FLOAT)
            return std::nullopt;
        raw = sqlite3_column_double(st, index);
        break;
    default:
        if (kind != SQLITE_INTEGER)
            return std::nullopt;
        raw = qint64(sqlite3_column_int64(st, index));
    }
    return a.coerce(raw);
}

}  // namespace

SQLiteStore::SQLiteStore(QString type, QUrl url, std::shared_ptr<const ManagedObjectModel> model)
    : PersistentStore(std::move(type), std::move(url), std::move(model))
{
}

SQLiteStore::~SQLiteStore() { sqlite3_close(_db); }

bool SQLiteStore::exec(const QString& sql, QString* error)
{
    char* message = nullptr;
    if (sqlite3_exec(_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        if (error)
            *error = QString::fromUtf8(message ? message : sqlite3_errmsg(_db));
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool SQLiteStore::load(QString* error)
{
    const QString path = _url.toLocalFile();
    auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        sqlite3_close(_db);
        _db = nullptr;
        return false;
    };
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        return fail(QString::fromUtf8(_db ? sqlite3_errmsg(_db) : "cannot open"));
    sqlite3_busy_timeout(_db, 2000);
    // Reading the schema checks the file header: another kind of file fails here.
    int tables = -1;
    {
        Statement st(_db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
        if (!st.ok() || sqlite3_step(st.get()) != SQLITE_ROW)
            return fail(QStringLiteral("not an SQLite store: %1").arg(QString::fromUtf8(sqlite3_errmsg(_db))));
        tables = sqlite3_column_int(st.get(), 0);
    }
    QString why;
    if (tables == 0) {
        _identifier = QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (!prepareSchema(true, &why))
            return fail(why);
    } else {
        Statement st(_db, QStringLiteral("SELECT Z_KEY, Z_VALUE FROM Z_METADATA"));
        if (!st.ok())
            return fail(QStringLiteral("an SQLite database that is not a store"));
        QString type;
        while (sqlite3_step(st.get()) == SQLITE_ROW) {
            const QString key = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
            const QString value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1)));
            if (key == QLatin1String("QNStoreType"))
                type = value;
            else if (key == QLatin1String("QNStoreUUID"))
                _identifier = value;
        }
        if (type != _type || QUuid(_identifier).isNull())
            return fail(QStringLiteral("an SQLite database that is not a store"));
        if (!prepareSchema(false, &why))
            return fail(why);
    }
    {
        Statement st(_db, QStringLiteral("SELECT Z_ENTITY, Z_MAX FROM Z_PRIMARYKEY"));
        if (!st.ok())
            return fail(QString::fromUtf8(sqlite3_errmsg(_db)));
        while (sqlite3_step(st.get()) == SQLITE_ROW)
            _nextKey[QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)))] =
                sqlite3_column_int64(st.get(), 1);
    }
    for (const EntityDescription& e : _model->entities())
        if (!loadEntity(e, &why))
            return fail(why);
    return true;
}

bool SQLiteStore::prepareSchema(bool fresh, QString* error)
{
    if (!exec(QStringLiteral("BEGIN IMMEDIATE"), error))
        return false;
    auto rollback = [&] {
        exec(QStringLiteral("ROLLBACK"), nullptr);
        return false;
    };
    if (fresh) {
        if (!exec(QStringLiteral("CREATE TABLE Z_METADATA (Z_KEY TEXT PRIMARY KEY, Z_VALUE TEXT);"
                                 "CREATE TABLE Z_PRIMARYKEY (Z_ENTITY TEXT PRIMARY KEY, Z_MAX INTEGER);"
                                 "INSERT INTO Z_METADATA VALUES ('QNStoreVersion', '1');"
                                 "INSERT INTO Z_METADATA VALUES ('QNStoreType', '%1');"
                                 "INSERT INTO Z_METADATA VALUES ('QNStoreUUID', '%2');")
                      .arg(_type, _identifier),
                  error))
            return rollback();
    }
    for (const EntityDescription& e : _model->entities()) {
        QString columns = QStringLiteral("Z_PK INTEGER PRIMARY KEY");
        for (const AttributeDescription& a : e.attributes)
            columns += QStringLiteral(", %1 %2").arg(quoted(a.name), QLatin1String(columnType(a.type)));
        if (!exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)").arg(table(e.name), columns), error))
            return rollback();
        QSet<QString> present;
        Statement info(_db, QStringLiteral("PRAGMA table_info(%1)").arg(table(e.name)));
        if (!info.ok())
            return rollback();
        while (sqlite3_step(info.get()) == SQLITE_ROW)
            present.insert(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1))));
        for (const AttributeDescription& a : e.attributes)
            if (!present.contains(a.name) &&
                !exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                          .arg(table(e.name), quoted(a.name), QLatin1String(columnType(a.type))),
                      error))
                return rollback();
    }
    return exec(QStringLiteral("COMMIT"), error) || rollback();
}

bool SQLiteStore::loadEntity(const EntityDescription& e, QString* error)
{
    QString cols = QStringLiteral("Z_PK");
    for (const AttributeDescription& a : e.attributes)
        cols += QStringLiteral(", ") + quoted(a.name);
    Statement st(_db, QStringLiteral("SELECT %1 FROM %2").arg(cols, table(e.name)));
    if (!st.ok()) {
        if (error)
            *error = QString::fromUtf8(sqlite3_errmsg(_db));
        return false;
    }
    QMap<qint64, QVariantMap>& objects = _objects[e.name];
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        QVariantMap values;
        for (size_t i = 0; i < e.attributes.size(); ++i) {
            const auto v = column(st.get(), int(i) + 1, e.attributes[i]);
            if (!v) {
                if (error)
                    *error = QStringLiteral("damaged store: %1.%2 has a value of the wrong type")
                                 .arg(e.name, e.attributes[i].name);
                return false;
            }
            if (!v->isNull())
                values.insert(e.attributes[i].name, *v);
        }
        objects.insert(sqlite3_column_int64(st.get(), 0), values);
    }
    if (rc != SQLITE_DONE) {
        if (error)
            *error = QString::fromUtf8(sqlite3_errmsg(_db));
        return false;
    }
    return true;
}

bool SQLiteStore::persist(const QMap<QString, QMap<qint64, QVariantMap>>&,
                          const std::vector<StoredObject>& upserts,
                          const std::vector<std::pair<QString, qint64>>& deletes, QString* error)
{
    auto sqlError = [&] {
        if (error)
            *error = QString::fromUtf8(sqlite3_errmsg(_db));
        exec(QStringLiteral("ROLLBACK"), nullptr);
        return false;
    };
    if (!exec(QStringLiteral("BEGIN IMMEDIATE"), error))
        return false;
    for (const StoredObject& o : upserts) {
        const EntityDescription* e = _model->entity(o.entity);
        if (!e) {
            if (error)
                *error = QStringLiteral("unknown entity \"%1\"").arg(o.entity);
            exec(QStringLiteral("ROLLBACK"), nullptr);
            return false;
        }
        QString cols = QStringLiteral("Z_PK"), marks = QStringLiteral("?");
        for (const AttributeDescription& a : e->attributes) {
            cols += QStringLiteral(", ") + quoted(a.name);
            marks += QStringLiteral(", ?");
        }
        Statement st(_db, QStringLiteral("INSERT OR REPLACE INTO %1 (%2) VALUES (%3)")
                              .arg(table(e->name), cols, marks));
        if (!st.ok() || sqlite3_bind_int64(st.get(), 1, o.primaryKey) != SQLITE_OK)
            return sqlError();
        for (size_t i = 0; i < e->attributes.size(); ++i)
            if (bind(st.get(), int(i) + 2, e->attributes[i], o.values.value(e->attributes[i].name)) != SQLITE_OK)
                return sqlError();
        if (sqlite3_step(st.get()) != SQLITE_DONE)
            return sqlError();
    }
    for (const auto& [entity, key] : deletes) {
        Statement st(_db, QStringLiteral("DELETE FROM %1 WHERE Z_PK = ?").arg(table(entity)));
        if (!st.ok() || sqlite3_bind_int64(st.get(), 1, key) != SQLITE_OK || sqlite3_step(st.get()) != SQLITE_DONE)
            return sqlError();
    }
    for (auto it = _nextKey.begin(); it != _nextKey.end(); ++it) {
        Statement st(_db, QStringLiteral("INSERT OR REPLACE INTO Z_PRIMARYKEY VALUES (?, ?)"));
        const QByteArray name = it.key().toUtf8();
        if (!st.ok() || sqlite3_bind_text(st.get(), 1, name.constData(), int(name.size()), SQLITE_TRANSIENT) != SQLITE_OK ||
            sqlite3_bind_int64(st.get(), 2, it.value()) != SQLITE_OK || sqlite3_step(st.get()) != SQLITE_DONE)
            return sqlError();
    }
    if (!exec(QStringLiteral("COMMIT"), error)) {
        exec(QStringLiteral("ROLLBACK"), nullptr);
        return false;
    }
    return true;
}

}  // namespace qn::persistence
