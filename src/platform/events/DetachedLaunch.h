// SPDX-License-Identifier: MIT
#pragma once
// Private to the events area: starting a program detached, with the launch
// hand-over channel (LaunchHandOver) in its environment.
#include "events/EventTypes.h"

#include <QString>
#include <sys/types.h>

namespace qn::events {

struct DetachedProgram {
    /// noErr, or a LaunchError status (exec failed: no permission, wrong
    /// format, no executable; anything else Unknown).
    OSStatus status = toStatus(LaunchError::Unknown);
    pid_t pid = -1;
    /// The launcher's end of the hand-over socket; the caller closes it.
    int channel = -1;
};

/// Starts program in a session of its own (it is nobody's child here), with
/// the launcher's signal state undone, stdin/stdout/stderr on /dev/null
/// (stderr stays the launcher's terminal with
/// kLSLaunchKeepTerminalStandardError when it is one) and flags passed on.
DetachedProgram startDetached(const QString& program, quint32 flags);

}  // namespace qn::events
