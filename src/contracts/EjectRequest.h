// SPDX-License-Identifier: MIT
// src/contracts: what the programs promise each other (preference keys, event codes, the eject request).
#pragma once
// The eject request: the event every trigger (qneject, the widget plug-in)
// sends to the agent, and the one way to send it.
//   class 'QNTL', ID 'Ejct'; direct object ('----') a signed 32-bit position
//   in the agent's drive list; no reply. Missing or not an integer: 0.
//   Optional 'QNbt' (signed 32-bit, 1): the request comes from the drive's
//   own eject button, which means "open": the agent opens a closed tray but
//   never closes an open or moving one (udev may have opened it already).
//   Senders without it (qneject, the widget) keep the toggle.
#include "events/AppleEvent.h"
#include "events/LaunchServices.h"

#include <QString>

#include <optional>

namespace qn::contracts {

inline constexpr events::FourCharCode kEjectRequestClass = events::fourCC("QNTL");
inline constexpr events::FourCharCode kEjectRequestID = events::fourCC("Ejct");
inline constexpr events::FourCharCode kEjectRequestButtonKeyword = events::fourCC("QNbt");

/// Who asked: a key, command or widget (toggle), or the drive's own button (open).
enum class EjectRequestSource { Key, DriveButton };

/// The agent program of this installation (bin/QNTraylift beside the caller's
/// installation).
QString agentProgramPath();

/// The request for a drive position, as the agent expects it.
events::AppleEvent makeEjectRequest(qint32 deviceIndex, EjectRequestSource source = EjectRequestSource::Key);

/// The source a received request names (Key unless it carries the button flag).
EjectRequestSource ejectRequestSource(const events::AppleEvent& request);

/// Starts the agent at `agentPath` (or hands the event to the running one)
/// with the request for `deviceIndex` as its first event; without an index,
/// a plain launch (a reopen when it runs). Returns the launch status (0 on
/// success). Does not wait for the agent.
events::OSStatus sendEjectRequest(std::optional<qint32> deviceIndex, const QString& agentPath = agentProgramPath());
/// Same, always with a request for `deviceIndex`, marked with its source.
events::OSStatus sendEjectRequest(qint32 deviceIndex, EjectRequestSource source,
                                  const QString& agentPath = agentProgramPath());

}  // namespace qn::contracts
