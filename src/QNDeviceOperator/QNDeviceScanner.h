// SPDX-License-Identifier: MIT
#pragma once
// QNDeviceScanner: the list of optical drives present, in the order the
// registry reported them, kept current while drives come and go. A drive's
// position in devicesArray() is the device index used across the suite.
//
// Each change is announced on qn::NotificationCenter::defaultCenter():
//   kQNDevicesAppearedNotification   sender: the scanner
//   kQNDevicesDisappearedNotification sender: none (nullptr)
// with userInfo {kQNDevicesArrayKey: QVariant::fromValue(QNDeviceList)}: the
// records of the batch in report order (disappeared records carry only their
// identity). A notification is posted only for a non-empty batch, after the
// list has been updated.
//
// Everything runs on the thread that called registerCallbackHandlers() (the
// main thread in every program); nothing is locked.
#include "QNDevice.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

namespace qn::hardware {
class DeviceRegistry;
}

inline const QString kQNDevicesAppearedNotification = QStringLiteral("com.qnlab.DevicesAppearedNotification");
inline const QString kQNDevicesDisappearedNotification = QStringLiteral("com.qnlab.DevicesDisappearedNotification");
inline const QString kQNDevicesArrayKey = QStringLiteral("devicesArray");

class QNDeviceScanner : public QObject {
    Q_OBJECT
public:
    /// An idle scanner over the process's registry; touches no hardware.
    explicit QNDeviceScanner(QObject* parent = nullptr);
    /// Same, over a given registry (which must outlive the scanner).
    explicit QNDeviceScanner(qn::hardware::DeviceRegistry& registry, QObject* parent = nullptr);
    ~QNDeviceScanner() override;

    /// Subscribes to arrivals and removals, then reports the drives already
    /// present as one appeared notification before returning. Observers that
    /// want that first batch must be registered before the call. Only the
    /// first call has an effect; when the registry offers no event source the
    /// list stays empty and nothing is posted.
    void registerCallbackHandlers();
    /// Ends the subscription (the list keeps its last state). Called by the
    /// destructor too.
    void unregisterCallbackHandlers();

    /// The live list (read it, do not keep iterators across events).
    const QNDeviceList& devicesArray() const { return _devicesArray; }
    /// The record at `index`, or null when out of range.
    QNDevicePtr deviceAtIndex(qsizetype index) const;

    /// Appends the records in order.
    void addDevicesFromArray(const QNDeviceList& devices);
    /// Removes every element equal (QNDevice::isEqual) to any record of the
    /// list, keeping the order of the rest.
    void removeDevicesInArray(const QNDeviceList& devices);
    void postDevicesAppearedNotification(const QNDeviceList& devices);
    void postDevicesDisappearedNotification(const QNDeviceList& devices);

    /// A record filled from a registry property table; a table without
    /// "Device Characteristics" or "Protocol Characteristics" leaves those
    /// fields empty.
    static QNDevicePtr deviceFromProperties(const QVariantMap& properties);
    /// The list position a stored or requested device index names among
    /// `count` drives: the index itself, or the last drive when the index, read
    /// as unsigned, is not below the count (a negative one too); -1 without
    /// drives. The agent acts on this drive and the setup window marks it.
    static qsizetype positionForIndex(qint64 index, qsizetype count);
    /// The records of a notification's userInfo (empty when absent).
    static QNDeviceList devicesFromUserInfo(const QVariantMap& userInfo);

private:
    void devicesAppeared(const QList<QVariantMap>& entries);
    void devicesDisappeared(const QList<QVariantMap>& entries);

    QNDeviceList _devicesArray;
    qn::hardware::DeviceRegistry* _registry;
    bool _subscribed = false;
    bool _registered = false;
};
