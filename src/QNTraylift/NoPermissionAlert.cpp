// SPDX-License-Identifier: MIT
#include "NoPermissionAlert.h"

#include "AgentTrace.h"
#include "QNDeviceOperator.h"

#include "alerts/AlertPresenter.h"
#include "hardware/DeviceRegistry.h"
#include "strings/LocalizedString.h"

void qnShowNoPermissionAlert(const QNDeviceOperator& deviceOperator)
{
    const qn::hardware::DeviceNode node = deviceOperator.deviceNode();
    const QString path = node.path.isEmpty() ? deviceOperator.device()->productName() : node.path;
    // The group as the node itself says, since distributions differ ("cdrom", "optical", "disk").
    const QString group = node.group.isEmpty() ? QStringLiteral("?") : node.group;
    qn::AlertPresenter::Alert alert;
    alert.title = QStringLiteral("QNTraylift");
    alert.message = qn::localizedString("NoPermissionForDrive").arg(path);
    alert.informativeText = qn::localizedString("NoPermissionRemedies").arg(path, group);
    alert.style = qn::AlertPresenter::Style::Warning;
    qnAgentTrace(QStringLiteral("no-permission-alert shown %1 group=%2").arg(path, group));
    qn::AlertPresenter::run(alert);
    qnAgentTrace(QStringLiteral("no-permission-alert dismissed"));
}
