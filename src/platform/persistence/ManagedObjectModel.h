// SPDX-License-Identifier: MIT
#pragma once
// A managed object model: entities and their typed attributes, read from the
// XML "contents" file of an Xcode data model.
//
// Accepted locations: the "contents" file itself, a ".xcdatamodel" folder
// (its "contents" is read) or a ".xcdatamodeld" folder (the version named in
// its ".xccurrentversion", else its only ".xcdatamodel"). Relationships,
// fetched properties and entity inheritance are not supported: they are
// skipped when reading.
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <vector>

namespace qn::persistence {

enum class AttributeType {
    Integer16,
    Integer32,
    Integer64,
    Decimal,  // kept as a double
    Double,
    Float,
    String,
    Boolean,
    Date,
    Binary,
    UUID,
    URI,
};

/// The model-file name of a type ("Integer 32", "Binary"...), and back.
QString attributeTypeName(AttributeType type);
std::optional<AttributeType> attributeTypeFromName(const QString& name);

struct AttributeDescription {
    QString name;
    AttributeType type = AttributeType::String;
    bool optional = true;
    QVariant defaultValue;  // null when the model gives none

    /// Converts a value to this attribute's value type: qint64 for integers
    /// (range-checked), double, QString, bool, QDateTime (UTC), QByteArray,
    /// QUuid, QUrl. A null QVariant stays null. Returns nullopt when the value
    /// does not fit the type.
    std::optional<QVariant> coerce(const QVariant& value) const;
};

struct EntityDescription {
    QString name;
    std::vector<AttributeDescription> attributes;

    const AttributeDescription* attribute(const QString& name) const;
};

class ManagedObjectModel {
public:
    /// Reads a model; nullptr (and *error) when the file is missing or not a
    /// valid model: unknown attribute type, duplicate or unusable names (names
    /// are identifiers: a letter or "_" then letters, digits or "_"; names
    /// starting with "Z_" are reserved).
    static std::shared_ptr<const ManagedObjectModel> fromFile(const QString& path,
                                                              QString* error = nullptr);
    static std::shared_ptr<const ManagedObjectModel> fromXml(const QByteArray& xml,
                                                             QString* error = nullptr);

    const std::vector<EntityDescription>& entities() const { return _entities; }
    const EntityDescription* entity(const QString& name) const;

private:
    std::vector<EntityDescription> _entities;
};

}  // namespace qn::persistence
