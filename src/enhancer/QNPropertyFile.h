// SPDX-License-Identifier: MIT
#pragma once
// The record of a property file: where it lies, whether a line may carry
// several properties, and the properties read, by name. Reading and writing
// are not part of the framework.
#include <QString>
#include <QVariantMap>

class QNPropertyFile {
public:
    /// The same as initWithContentsOfFile with no path.
    QNPropertyFile();
    /// A record for the file at path (not read), with no properties.
    explicit QNPropertyFile(const QString& path);

    bool _eachLineContainsPluralProperties = false;
    QVariantMap _properties;
    QString _filePath;
};
