// SPDX-License-Identifier: MIT
#pragma once
// What the privileged runner (QNAuthorize) and the privileged helper
// (libexec/qnlab/qnlab-privileged-helper) send each other, stated once. The
// helper links nothing but the C++ library, so this header needs nothing else.
//
// All integers big-endian.
//   helper -> runner, once at start:  kGreeting
//   runner -> helper, per tool run:   u32 count, then count x (u32 length,
//                                     bytes); item 0 is the tool path
//   helper -> runner, when it ended:  i32 status (0 or ToolExecuteFailure),
//                                     u64 output bytes, u32 reads, i32 the
//                                     tool's exit status (128 + signal number
//                                     when a signal ended it, -1 when it did
//                                     not run)
// End of input ends the helper; a request over the limits ends it too.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qn::contracts {

inline constexpr std::string_view kHelperGreeting = "QNLAB-HELPER 2\n";
inline constexpr std::size_t kHelperReplySize = 4 + 8 + 4 + 4;

// A request the helper accepts: 1..kHelperMaxItems items, none longer than
// kHelperMaxItemSize, kHelperMaxRequestSize bytes of items at most, no NUL
// byte inside an item.
inline constexpr std::uint32_t kHelperMaxItems = 4096;
inline constexpr std::uint32_t kHelperMaxItemSize = 1u << 20;
inline constexpr std::size_t kHelperMaxRequestSize = 16u << 20;

}  // namespace qn::contracts

/// Why a privileged run failed, in the OS-status domain (the values are
/// fixed: the uninstaller tells the user a reason for each, and the helper
/// sends ToolExecuteFailure on the wire).
enum class AuthorizationStatus : std::int32_t {
    errAuthorizationDenied = -60005,              // not authorized, or the elevator could not start the helper
    errAuthorizationCanceled = -60006,            // the prompt was dismissed
    errAuthorizationInternal = -60008,            // the elevation command itself could not be started
    errAuthorizationToolExecuteFailure = -60031,  // the tool is not allowed or could not be started
};
