// SPDX-License-Identifier: MIT
#pragma once
// Status codes of the drive registry: those of the drive interface, those of
// a volume unmount, and the outcome of an operation that can fail either way.
#include <QtGlobal>

namespace qn::hardware {

/// Status of a drive-interface call. The values are the drive-interface codes
/// the suite prints (in hex) and compares: Error is kIOReturnError,
/// 0xE00002BC. A drive may answer with a code of its own that is none of
/// these; the fixed underlying type keeps it, and callers pass it through
/// unchanged.
enum class IOReturn : qint32 {
    Success = 0,
    Error = qint32(0xE00002BC),          // general failure
    NoDevice = qint32(0xE00002C0),       // drive or node gone
    NotPrivileged = qint32(0xE00002C1),  // this user may not use the drive's node
    Unsupported = qint32(0xE00002C7),    // e.g. no tray motor
    Busy = qint32(0xE00002D5),           // e.g. disc mounted / door locked
    NotReady = qint32(0xE00002D8),       // drive not ready (disc spinning up)
};

/// Status of unmounting a volume (printed in decimal).
enum class VolumeStatus : qint32 {
    Success = 0,
    NotFound = -35,      // no such volume
    IOError = -36,       // unmount failed otherwise
    Busy = -47,          // a file on the volume is in use
    NotPermitted = -54,  // no right to unmount
};

/// The outcome of an operation that may fail on a volume or in the drive (a
/// disc eject unmounts, then commands the tray): a code of either kind.
class Status {
public:
    constexpr Status() = default;
    constexpr Status(IOReturn s) : _code(qint32(s)) {}
    constexpr Status(VolumeStatus s) : _code(qint32(s)) {}
    constexpr bool ok() const { return _code == 0; }
    /// The number as printed and compared.
    constexpr qint32 code() const { return _code; }
    friend constexpr bool operator==(Status, Status) = default;
    /// Against the number itself, as the suite compares (0 = success).
    friend constexpr bool operator==(Status s, qint32 code) { return s._code == code; }

private:
    qint32 _code = 0;
};

}  // namespace qn::hardware
