// SPDX-License-Identifier: MIT
#pragma once
// Names of the application framework's and the workspace's notifications.
// They carry the system's own names as values so that kits written against
// them read naturally.

namespace qn {

/// Posted on NotificationCenter::defaultCenter() just before the program
/// terminates normally (standard quit event, or events::EventManager::
/// terminate()). Observers run synchronously on the main thread; the program
/// exits after the last observer returned.
inline constexpr char kApplicationWillTerminateNotification[] = "NSApplicationWillTerminateNotification";

/// Posted on events::Workspace::notificationCenter() when a watched process
/// has ended. User information: the two serial-number words (unsigned),
/// the pid and, when it was known, the executable path.
inline constexpr char kWorkspaceDidTerminateApplicationNotification[] =
    "NSWorkspaceDidTerminateApplicationNotification";
inline constexpr char kApplicationProcessSerialNumberHighKey[] = "NSApplicationProcessSerialNumberHigh";
inline constexpr char kApplicationProcessSerialNumberLowKey[] = "NSApplicationProcessSerialNumberLow";
inline constexpr char kApplicationProcessIdentifierKey[] = "NSApplicationProcessIdentifier";
inline constexpr char kApplicationPathKey[] = "NSApplicationPath";

}  // namespace qn
