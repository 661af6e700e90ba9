// SPDX-License-Identifier: MIT
// src/platform/plist: property lists (XML and binary) and keyed archives.
#pragma once
// Property lists to and from QVariant, XML and binary, through libplist.
//
// Type mapping (both directions):
//   dictionary <-> QVariantMap        array   <-> QVariantList
//   string     <-> QString            boolean <-> bool
//   integer    <-> qint64 (quint64 when above INT64_MAX on read; write accepts
//                  every integral QVariant type)
//   real       <-> double (float is written as real)
//   data       <-> QByteArray         date    <-> QDateTime (UTC)
//   UID        <-> qn::plist::Uid
//
// Errors: functions that can fail return std::nullopt (or an empty array) and
// put a one-line reason into *error when error is not null. Malformed input
// never crashes.
#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <optional>

namespace qn::plist {

/// A keyed-archive object reference (CF$UID).
struct Uid {
    quint64 value = 0;
    friend bool operator==(const Uid&, const Uid&) = default;
};

enum class Format { Xml, Binary };

/// Parses XML or binary property-list bytes (the format is detected).
std::optional<QVariant> read(const QByteArray& bytes, QString* error = nullptr);

/// Reads a property-list file. A missing file is an error like any other.
std::optional<QVariant> readFile(const QString& path, QString* error = nullptr);

/// Serialises a value. Returns an empty array (and sets *error) when the value
/// holds a type that has no property-list form.
QByteArray write(const QVariant& value, Format format, QString* error = nullptr);

}  // namespace qn::plist

Q_DECLARE_METATYPE(qn::plist::Uid)
