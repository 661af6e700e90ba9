// SPDX-License-Identifier: MIT
// src/contracts: what the programs promise each other (preference keys, event codes, the eject request).
#pragma once
// The eject request: the event every trigger (qneject, the widget plug-in)
// sends to the agent, and the one way to send it.
//   class 'QNTL', ID 'Ejct'; direct object ('----') a signed 32-bit position
//   in the agent's drive list; no reply. Missing or not an integer: 0.
#include "events/AppleEvent.h"
#include "events/LaunchServices.h"

#include <QString>

#include <optional>

namespace qn::contracts {

inline constexpr events::FourCharCode kEjectRequestClass = events::fourCC("QNTL");
inline constexpr events::FourCharCode kEjectRequestID = events::fourCC("Ejct");

/// The agent program of this installation (bin/QNTraylift beside the caller's
/// installation).
QString agentProgramPath();

/// The request for a drive position, as the agent expects it.
events::AppleEvent makeEjectRequest(qint32 deviceIndex);

/// Starts the agent at `agentPath` (or hands the event to the running one)
/// with the request for `deviceIndex` as its first event; without an index,
/// a plain launch (a reopen when it runs). Returns the launch status (0 on
/// success). Does not wait for the agent.
events::OSStatus sendEjectRequest(std::optional<qint32> deviceIndex, const QString& agentPath = agentProgramPath());

}  // namespace qn::contracts
