// SPDX-License-Identifier: MIT
#pragma once
// QNDevice: the identity record of one optical drive. Plain data, no handle to
// the hardware. Records are shared (QNDevicePtr) between the scanner's list,
// notifications and tray operators; two records describe the same drive
// exactly when their identity bytes are equal.
#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>
#include <QVariant>

#include <memory>
#include <optional>

class QNDevice {
public:
    QNDevice() = default;  // every field empty, both masks 0

    const QByteArray& GUIDData() const { return _GUIDData; }
    void setGUIDData(const QByteArray& GUIDData) { _GUIDData = GUIDData; }
    const QString& vendorName() const { return _vendorName; }
    void setVendorName(const QString& vendorName) { _vendorName = vendorName; }
    const QString& productName() const { return _productName; }
    void setProductName(const QString& productName) { _productName = productName; }
    const QString& productRevisionLevel() const { return _productRevisionLevel; }
    void setProductRevisionLevel(const QString& level) { _productRevisionLevel = level; }
    const QString& physicalInterconnect() const { return _physicalInterconnect; }
    void setPhysicalInterconnect(const QString& interconnect) { _physicalInterconnect = interconnect; }
    /// Feature masks, passed through from the registry and never interpreted.
    quint32 cdFeatures() const { return _cdFeatures; }
    void setCDFeatures(quint32 features) { _cdFeatures = features; }
    quint32 dvdFeatures() const { return _dvdFeatures; }
    void setDVDFeatures(quint32 features) { _dvdFeatures = features; }

    /// Same drive: both identities non-empty and byte-for-byte equal. Names,
    /// revision, interconnect and masks play no part.
    bool isEqual(const QNDevice& other) const;
    /// Same, for any value: false unless it holds a QNDevicePtr (non-null).
    bool isEqual(const QVariant& other) const;

    /// Whether a remembered drive record (an element of the agent's
    /// "deviceProperties") belongs to this drive's model: "vendorName",
    /// "productName" and, when asked, "interconnection" equal the drive's
    /// values, literally and case-sensitively; a key the record lacks equals
    /// an empty value (the setup program leaves out what a drive did not
    /// report). The agent compares names only, the setup program all three.
    bool matchesRecord(const QVariantMap& record, bool compareInterconnect) const;

    /// The identity printed as the first 28 characters of a canonical
    /// upper-case UUID made from its first 16 bytes (zero-padded), e.g.
    /// "0102030A-0B0C-0D0E-0000-0000"; nullopt for an empty identity.
    std::optional<QString> GUIDString() const;

private:
    QByteArray _GUIDData;
    QString _vendorName;
    QString _productName;
    QString _productRevisionLevel;
    QString _physicalInterconnect;
    quint32 _cdFeatures = 0;
    quint32 _dvdFeatures = 0;
};

using QNDevicePtr = std::shared_ptr<QNDevice>;
using QNDeviceList = QList<QNDevicePtr>;

Q_DECLARE_METATYPE(QNDevicePtr)
Q_DECLARE_METATYPE(QNDeviceList)
