// SPDX-License-Identifier: MIT
#pragma once
// The alert for a user who may not use the drive's device node (not logged in
// at the machine, or not in the group that owns the node): names the node and
// the two usual remedies.
class QNDeviceOperator;
class QWidget;

void qnShowNoPermissionAlert(const QNDeviceOperator& deviceOperator, QWidget* parent = nullptr);
