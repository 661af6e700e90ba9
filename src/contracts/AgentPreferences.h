// SPDX-License-Identifier: MIT
#pragma once
// The agent's preference domain and its keys. The agent reads them through
// UserDefaults; the setup program writes the whole file. Values:
//   isNotFirstTime              Boolean   agent and setup
//   autoCloseTray               Boolean   setup (agent reads; absent = false)
//   timeIntervalUntilCloseTray  number    seconds; the agent registers 10.0
//   targetDeviceIndex           integer   a position in the drive list
//   deviceProperties            array of remembered drive records (keys below)
//   didShowCheckTray            Boolean   setup only
#include <QString>

namespace qn::contracts {

inline const QString kAgentDomain = QStringLiteral("com.qnlab.QNTraylift");

inline const QString kIsNotFirstTimeKey = QStringLiteral("isNotFirstTime");
inline const QString kAutoCloseTrayKey = QStringLiteral("autoCloseTray");
inline const QString kTimeIntervalUntilCloseTrayKey = QStringLiteral("timeIntervalUntilCloseTray");
inline const QString kTargetDeviceIndexKey = QStringLiteral("targetDeviceIndex");
inline const QString kDevicePropertiesKey = QStringLiteral("deviceProperties");
inline const QString kDidShowCheckTrayKey = QStringLiteral("didShowCheckTray");

// A remembered drive record (one element of "deviceProperties"). A key is left
// out when the drive did not report the value; "slotLoading" exists only
// after a tray check.
inline const QString kRecordVendorNameKey = QStringLiteral("vendorName");
inline const QString kRecordProductNameKey = QStringLiteral("productName");
inline const QString kRecordInterconnectionKey = QStringLiteral("interconnection");
inline const QString kRecordSlotLoadingKey = QStringLiteral("slotLoading");

/// The agent's fallback for "timeIntervalUntilCloseTray", in seconds.
inline constexpr double kDefaultTimeIntervalUntilCloseTray = 10.0;

}  // namespace qn::contracts
