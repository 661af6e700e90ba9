// SPDX-License-Identifier: MIT
#pragma once
// Launching programs with one instance per executable, and sending events to
// running processes.
#include "events/AppleEvent.h"

#include <QString>

namespace qn::events {

class LaunchServices {
public:
    /// Opens the program at path (an executable file; symbolic links are
    /// followed and the resolved file is the program's identity).
    ///
    /// - If an instance of it runs, initialEvent (or 'aevt'/'rapp' when
    ///   initialEvent is null) is delivered to it as an ordinary event.
    /// - Otherwise the program is started detached (own session, stdin,
    ///   stdout and stderr on /dev/null) and the event is handed over so that
    ///   it is the first event its EventManager dispatches; without an event
    ///   the program gets 'aevt'/'oapp'.
    /// Launches of the same program racing from several processes end in one
    /// instance that receives every event.
    ///
    /// Waits until the started program's EventManager took the event over
    /// (at most kHandOverTimeoutMs; a program that never starts an
    /// EventManager is reported as launched after that time) unless flags
    /// holds kLSLaunchAsync. kLSLaunchNewInstance starts a further instance
    /// even when one runs. kLSLaunchDontSwitch is passed on to the program
    /// (EventManager::launchFlags()).
    ///
    /// Returns noErr and, when psn is given, the PSN of the instance that
    /// received the event. Failures (psn left unchanged; LaunchError values
    /// are returned through toStatus()):
    ///   fnfErr            path empty or does not resolve to a file
    ///   NotAnApplication  not a regular executable file
    ///   NoLaunchPermission / ExecutableIncorrectFormat / NoExecutable / Unknown
    ///                     the program could not be started (exec failed)
    ///   ServerCommunication  the socket folder is unusable
    ///   LaunchInProgress  another launch of the program did not finish in time
    ///   procNotFound, connectionInvalid  the running instance vanished or
    ///                     refused the event (after retries)
    static OSStatus openApplication(const QString& path, quint32 flags, const AppleEvent* initialEvent,
                                    ProcessSerialNumber* psn = nullptr);

    /// The PSN of the running instance of the program at path, or a null PSN.
    static ProcessSerialNumber runningInstance(const QString& path);

    static constexpr int kHandOverTimeoutMs = 10000;
};

/// Sends event to the process psn, one-way: returns once the receiver accepted
/// the message (it is dispatched later on the receiver's main loop). A return
/// ID of -1 is replaced by a generated one; the event's own target is ignored.
/// Failures: procNotFound (no such process, or its start time no longer
/// matches), connectionInvalid (the process does not accept events or is of
/// another user), errAETimeout (no answer within timeoutMs), errAECorruptData
/// (the receiver refused the message), paramErr (the event does not encode).
OSStatus sendEvent(const AppleEvent& event, const ProcessSerialNumber& psn, int timeoutMs = 5000);
/// Same, addressed to event.target(); paramErr when it has none.
OSStatus sendEvent(const AppleEvent& event, int timeoutMs = 5000);

}  // namespace qn::events
