// SPDX-License-Identifier: MIT
#pragma once
// Private to the events area: how a launcher hands the launch's event to the
// program it started, both sides of it.
//
// The launcher starts the program with one end of a socket pair in
// QNLAB_LAUNCH_FD and the launch flags (hex) in QNLAB_LAUNCH_FLAGS. It writes
// one frame: the encoded event, or nothing for a plain launch. The program's
// EventManager takes the frame when it starts and answers with 12 bytes: i32
// status, u32 high and u32 low of the process that got the event (itself, or
// the running instance it forwarded the event to).
#include "events/AppleEvent.h"

#include <optional>
#include <utility>

namespace qn::events {

class LaunchHandOver {
public:
    static constexpr char kFdVariable[] = "QNLAB_LAUNCH_FD";
    static constexpr char kFlagsVariable[] = "QNLAB_LAUNCH_FLAGS";
    /// How long the program waits for the launcher's frame.
    static constexpr int kReadTimeoutMs = 5000;

    // The program's side.

    /// Takes this process's hand-over: reads the launcher's frame and removes
    /// both variables from the environment. Without a launcher (or on a
    /// second call) the result has no event and acknowledge() does nothing.
    static LaunchHandOver take();
    /// Whether take() has run in this process.
    static bool wasTaken();
    /// The flags this process was launched with; kLSLaunchDefaults when it
    /// was started directly.
    static quint32 launchFlags();

    LaunchHandOver(LaunchHandOver&& other) noexcept : _fd(std::exchange(other._fd, -1)), _event(std::move(other._event)) {}
    LaunchHandOver& operator=(LaunchHandOver&&) = delete;
    /// Closes the channel when acknowledge() was not called (the launcher
    /// then reports the program as launched without an answer).
    ~LaunchHandOver();

    /// The launch's event; nullopt for a plain launch, a direct start, or a
    /// frame that did not decode.
    const std::optional<AppleEvent>& initialEvent() const { return _event; }
    /// Answers the launcher once and closes the channel.
    void acknowledge(OSStatus status, const ProcessSerialNumber& receiver);

    // The launcher's side.

    /// Writes the frame for event (empty for a plain launch).
    static bool give(int channel, const std::optional<AppleEvent>& event, int timeoutMs);
    /// Waits for the program's answer; nullopt when none came in time (the
    /// program runs without an EventManager, or ended).
    static std::optional<std::pair<OSStatus, ProcessSerialNumber>> awaitAnswer(int channel, int timeoutMs);

private:
    LaunchHandOver() = default;
    int _fd = -1;
    std::optional<AppleEvent> _event;
};

}  // namespace qn::events
