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

AppleEvent makeEjectRequest(qint32 deviceIndex, EjectRequestSource source)
{
    AppleEvent request(kEjectRequestClass, kEjectRequestID, std::nullopt, kAutoGenerateReturnID, kAnyTransactionID);
    request.putParam(keyDirectObject, Descriptor::fromInt32(deviceIndex));
    if (source == EjectRequestSource::DriveButton)
        request.putParam(kEjectRequestButtonKeyword, Descriptor::fromInt32(1));
    return request;
}

EjectRequestSource ejectRequestSource(const AppleEvent& request)
{
    const std::optional<Descriptor> flag = request.param(kEjectRequestButtonKeyword);
    return flag && flag->toInt32().value_or(0) == 1 ? EjectRequestSource::DriveButton : EjectRequestSource::Key;
}

OSStatus sendEjectRequest(std::optional<qint32> deviceIndex, const QString& agentPath)
{
    if (!deviceIndex)
        return LaunchServices::openApplication(agentPath, kLaunchFlags, nullptr);
    return sendEjectRequest(*deviceIndex, EjectRequestSource::Key, agentPath);
}

OSStatus sendEjectRequest(qint32 deviceIndex, EjectRequestSource source, const QString& agentPath)
{
    const AppleEvent request = makeEjectRequest(deviceIndex, source);
    return LaunchServices::openApplication(agentPath, kLaunchFlags, &request);
}

}  // namespace qn::contracts
