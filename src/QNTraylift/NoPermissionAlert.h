// SPDX-License-Identifier: MIT
#pragma once
// The alert for a user who may not use the drive's device node (not logged in
// at the machine, or not in the group that owns the node): names the node and
// the two usual remedies.
class QNDeviceOperator;

/// Shown without a parent: the panel's white-on-dark style sheet would make
/// a child box unreadable.
void qnShowNoPermissionAlert(const QNDeviceOperator& deviceOperator);
