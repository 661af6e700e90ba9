// SPDX-License-Identifier: MIT
#pragma once
// The per-user folder that holds every event socket and instance file:
// ${XDG_RUNTIME_DIR}/qnlab, or /tmp/qnlab-<uid> when the variable is unset.
// It holds (0700 folder):
//   psn-<pid>-<start>.sock   the listening socket of one process
//   app-<key>.lock           flock()ed by the running instance of an executable
//   app-<key>.psn            "high low" of that instance, written once it listens
//   app-<key>.launch         flock()ed by launchers of that executable, so that
//                            racing launches are served one after the other
// <key> is derived from the executable's resolved path.
#include "events/ProcessSerialNumber.h"

#include <QString>
#include <optional>

namespace qn::events {

/// The folder, created 0700 when missing (a wider mode is narrowed). Empty,
/// with a reason in *error, when XDG_RUNTIME_DIR is set but not a folder, or
/// the folder cannot be created, is not a folder, is a symbolic link, or
/// belongs to another user.
QString runtimeDirectory(QString* error = nullptr);

}  // namespace qn::events

namespace qn::events::runtime {

QString socketPath(const QString& dir, const ProcessSerialNumber& psn);
QString appKey(const QString& resolvedExecutablePath);
QString instanceLockPath(const QString& dir, const QString& key);
QString instancePsnPath(const QString& dir, const QString& key);
QString launchLockPath(const QString& dir, const QString& key);

/// Reads the PSN an instance recorded; nullopt when missing or malformed.
std::optional<ProcessSerialNumber> readInstancePsn(const QString& path);
bool writeInstancePsn(const QString& path, const ProcessSerialNumber& psn);

/// Open (creating 0600, never through a symbolic link) and lock a file;
/// returns the fd or -1. Non-blocking unless blocking; *wouldBlock tells
/// when another holder has the lock.
int lockFile(const QString& path, bool blocking, bool* wouldBlock = nullptr);

}  // namespace qn::events::runtime
