// SPDX-License-Identifier: MIT
#include "AgentTrace.h"

#include "hardware/DeviceRegistry.h"

void qnAgentTrace(const QString& text)
{
    qn::hardware::DeviceRegistry::instance().note(QStringLiteral("agent ") + text);
}
