// SPDX-License-Identifier: MIT
#include "AgentAlerts.h"

#include "AgentTrace.h"
#include "QNDeviceOperator.h"

#include "alerts/AlertPresenter.h"
#include "hardware/DeviceRegistry.h"
#include "strings/LocalizedString.h"

namespace {

void showWarning(const QString& shownTrace, const QString& traceName, const QString& message,
                 const QString& informativeText)
{
    qn::AlertPresenter::Alert alert;
    alert.title = QStringLiteral("QNTraylift");
    alert.message = message;
    alert.informativeText = informativeText;
    alert.style = qn::AlertPresenter::Style::Warning;
    qnAgentTrace(shownTrace);
    qn::AlertPresenter::run(alert);
    qnAgentTrace(traceName + QStringLiteral(" dismissed"));
}

}  // namespace

void qnShowAgentWarning(const QString& traceName, const QString& message, const QString& informativeText)
{
    showWarning(traceName + QStringLiteral(" shown"), traceName, message, informativeText);
}

void qnShowNoPermissionAlert(const QNDeviceOperator& deviceOperator)
{
    const qn::hardware::DeviceNode node = deviceOperator.deviceNode();
    const QString path = node.path.isEmpty() ? deviceOperator.device()->productName() : node.path;
    // The group as the node itself says, since distributions differ ("cdrom", "optical", "disk").
    const QString group = node.group.isEmpty() ? QStringLiteral("?") : node.group;
    const QString name = QStringLiteral("no-permission-alert");
    showWarning(name + QStringLiteral(" shown %1 group=%2").arg(path, group), name,
                qn::localizedString("NoPermissionForDrive").arg(path),
                qn::localizedString("NoPermissionRemedies").arg(path, group));
}
