// SPDX-License-Identifier: MIT
#include "AgentTrace.h"

#include "hardware/sim/SimMachine.h"

void qnAgentTrace(const QString& text)
{
    static const QString machine = qn::hardware::simulatedMachinePath();
    if (machine.isEmpty())
        return;
    qn::hardware::SimMachine(machine).appendLog(QStringLiteral("agent ") + text);
}
