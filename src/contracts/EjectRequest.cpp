// SPDX-License-Identifier: MIT
#include "EjectRequest.h"

#include "layout/Bundle.h"

namespace qn::contracts {

using namespace qn::events;

namespace {
// Started from a terminal, the agent keeps it for what it says without a display.
constexpr quint32 kLaunchFlags = kLSLaunchDefaults | kLSLaunchKeepTerminalStandardError;
}  // namespace

QString agentProgramPath()
{
    return Bundle::programPath(QStringLiteral("QNTraylift"));
}

AppleEvent makeEjectRequest(qint32 deviceIndex)
{
    AppleEvent request(kEjectRequestClass, kEjectRequestID, std::nullopt, kAutoGenerateReturnID, kAnyTransactionID);
    request.putParam(keyDirectObject, Descriptor::fromInt32(deviceIndex));
    return request;
}

OSStatus sendEjectRequest(std::optional<qint32> deviceIndex, const QString& agentPath)
{
    if (!deviceIndex)
        return LaunchServices::openApplication(agentPath, kLaunchFlags, nullptr);
    const AppleEvent request = makeEjectRequest(*deviceIndex);
    return LaunchServices::openApplication(agentPath, kLaunchFlags, &request);
}

}  // namespace qn::contracts
