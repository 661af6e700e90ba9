// SPDX-License-Identifier: MIT
#pragma once
// Four-character codes and status codes of the event and launch services.
// Status codes keep the numeric values of the original platform because
// programs print them and tests compare them.
#include <QString>
#include <QtGlobal>

namespace qn::events {

using FourCharCode = quint32;
using OSStatus = qint32;

/// 'abcd' as a number: the first character in the most significant byte.
constexpr FourCharCode fourCC(const char (&s)[5])
{
    return (FourCharCode(quint8(s[0])) << 24) | (FourCharCode(quint8(s[1])) << 16)
        | (FourCharCode(quint8(s[2])) << 8) | FourCharCode(quint8(s[3]));
}

/// "abcd" for printing; bytes outside printable ASCII become '?'.
QString fourCCString(FourCharCode code);

// Descriptor types.
inline constexpr FourCharCode typeSInt32 = fourCC("long");
inline constexpr FourCharCode typeProcessSerialNumber = fourCC("psn ");
inline constexpr FourCharCode typeUTF8Text = fourCC("utf8");
inline constexpr FourCharCode typeChar = fourCC("TEXT");
inline constexpr FourCharCode typeAEList = fourCC("list");
inline constexpr FourCharCode typeNull = fourCC("null");
inline constexpr FourCharCode typeWildCard = fourCC("****");

// Keywords, classes and IDs of the standard events.
inline constexpr FourCharCode keyDirectObject = fourCC("----");
inline constexpr FourCharCode kCoreEventClass = fourCC("aevt");
inline constexpr FourCharCode kAEOpenApplication = fourCC("oapp");
inline constexpr FourCharCode kAEReopenApplication = fourCC("rapp");
inline constexpr FourCharCode kAEQuitApplication = fourCC("quit");

// Return and transaction IDs.
inline constexpr qint32 kAutoGenerateReturnID = -1;
inline constexpr qint32 kAnyTransactionID = 0;

// Status codes. OSStatus stays a plain number on purpose: a reply carries
// whatever status the other program's handler returned ('errn'), and callers
// pass such codes on and print them; the set is open, unlike the launch codes
// below.
inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus fnfErr = -43;              // file not found
inline constexpr OSStatus paramErr = -50;            // bad argument
inline constexpr OSStatus memFullErr = -108;
inline constexpr OSStatus procNotFound = -600;       // no such process (or it has ended)
inline constexpr OSStatus connectionInvalid = -609;  // the process accepts no events
inline constexpr OSStatus errAECoercionFail = -1700;
inline constexpr OSStatus errAEDescNotFound = -1701;
inline constexpr OSStatus errAECorruptData = -1702;
inline constexpr OSStatus errAEWrongDataType = -1703;
inline constexpr OSStatus errAEEventNotHandled = -1708;
inline constexpr OSStatus errAETimeout = -1712;

// Launch flags.
inline constexpr quint32 kLSLaunchDefaults = 0x00000001;
inline constexpr quint32 kLSLaunchDontSwitch = 0x00000200;
inline constexpr quint32 kLSLaunchAsync = 0x00010000;
inline constexpr quint32 kLSLaunchNewInstance = 0x00080000;
// Ours: when the launcher's standard error is a terminal, the program keeps
// it (so a command-line trigger's user sees what a display-less program says);
// a pipe or a file is never handed on, so no reader waits for the program.
inline constexpr quint32 kLSLaunchKeepTerminalStandardError = 0x01000000;

// Launch status codes, returned (as OSStatus) by LaunchServices.
enum class LaunchError : qint32 {
    ExecutableIncorrectFormat = -10661,  // kLSExecutableIncorrectFormat
    Unknown = -10810,                    // kLSUnknownErr
    NotAnApplication = -10811,           // kLSNotAnApplicationErr
    LaunchInProgress = -10818,           // kLSLaunchInProgressErr
    ServerCommunication = -10822,        // kLSServerCommunicationErr
    NoLaunchPermission = -10826,         // kLSNoLaunchPermissionErr
    NoExecutable = -10827,               // kLSNoExecutableErr
};

/// The status code of a launch error, as launch calls return it.
constexpr OSStatus toStatus(LaunchError error)
{
    return OSStatus(error);
}

}  // namespace qn::events
