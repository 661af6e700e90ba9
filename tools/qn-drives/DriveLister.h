// SPDX-License-Identifier: MIT
#pragma once
#include <QStringList>

/// Prints the drives found by QNDeviceScanner, one line each, in device-index
/// order. Returns 0, or 2 for a usage error.
int runDriveLister(const QStringList& args);
