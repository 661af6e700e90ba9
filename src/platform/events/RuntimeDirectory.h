// SPDX-License-Identifier: MIT
#pragma once
// The per-user folder that holds every event socket and instance file:
// ${XDG_RUNTIME_DIR}/qnlab, or /tmp/qnlab-<uid> when the variable is unset.
#include <QString>

namespace qn::events {

/// The folder, created 0700 when missing (a wider mode is narrowed). Empty,
/// with a reason in *error, when XDG_RUNTIME_DIR is set but not a folder, or
/// the folder cannot be created, is not a folder, is a symbolic link, or
/// belongs to another user.
QString runtimeDirectory(QString* error = nullptr);

}  // namespace qn::events
