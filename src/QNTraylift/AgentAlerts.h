// SPDX-License-Identifier: MIT
#pragma once
// The agent's warnings about a drive it could not act on. Shown without a
// parent: the panel's white-on-dark style sheet would make a child box
// unreadable. Each one is traced as "<name> shown" and "<name> dismissed".
#include <QString>

class QNDeviceOperator;

/// A warning titled with the agent's name.
void qnShowAgentWarning(const QString& traceName, const QString& message, const QString& informativeText = {});

/// For a user who may not use the drive's device node (not logged in at the
/// machine, or not in the group that owns the node): names the node and the
/// two usual remedies.
void qnShowNoPermissionAlert(const QNDeviceOperator& deviceOperator);
