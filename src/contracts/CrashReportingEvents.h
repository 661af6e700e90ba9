// SPDX-License-Identifier: MIT
#pragma once
// What the crash kit, the crash observer and the crash reporter send each
// other, stated once.
//
// Kit -> observer, launch event 'QNcr'/'SetP' (a new observer instance per
// tracked process):
//   '----'  'psn '  the tracked process
//   'tnam'  'utf8'  its executable name        } optional: the observer takes
//   'tpth'  'utf8'  its executable path        } them when the process has
//                                              } already ended
//   'ldat'  'utf8'  modification time of its crash log when tracking began,
//                   nanoseconds since the epoch in decimal (absent when the
//                   log could not be examined): a later change is a crash,
//                   however early it came
// Kit -> observer at a normal quit: 'aevt'/'quit', '----' an empty list,
// addressed to the observer's serial number.
//
// Observer -> reporter, launch event 'QNcr'/'SetT':
//   '----'  'utf8'  an XML property list, a dictionary with the target's
//                   name and path under the two keys below
#include "events/EventTypes.h"

namespace qn::contracts {

inline constexpr events::FourCharCode kCrashEventClass = events::fourCC("QNcr");
inline constexpr events::FourCharCode kSetTargetProcessEventID = events::fourCC("SetP");
inline constexpr events::FourCharCode kSetTargetInfoEventID = events::fourCC("SetT");
inline constexpr events::FourCharCode kStopObserverEventClass = events::kCoreEventClass;
inline constexpr events::FourCharCode kStopObserverEventID = events::kAEQuitApplication;

inline constexpr events::FourCharCode keyTargetName = events::fourCC("tnam");
inline constexpr events::FourCharCode keyTargetPath = events::fourCC("tpth");
inline constexpr events::FourCharCode keyCrashLogDate = events::fourCC("ldat");

inline constexpr char kTargetNameKey[] = "kQNCrashReporterTargetNameKey";
inline constexpr char kTargetPathKey[] = "kQNCrashReporterTargetPathKey";

}  // namespace qn::contracts
