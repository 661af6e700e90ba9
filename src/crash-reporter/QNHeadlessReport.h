// SPDX-License-Identifier: MIT
#pragma once
// The crash reporter where no window can be shown: nobody could answer its
// windows, so it tells where the report is and ends.

/// Runs the reporter without windows: for each 'QNcr'/'SetT' event it writes
/// "a crash report for NAME is in PATH" (PATH: the target's crash log) to
/// standard error, posts the same as a desktop notification when the session
/// bus offers org.freedesktop.Notifications, and ends with status 0. An
/// event without name and path ends it as well, and so do 10 s without any.
int QNRunHeadlessReport(int argc, char** argv);
