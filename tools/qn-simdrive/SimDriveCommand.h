// SPDX-License-Identifier: MIT
#pragma once
#include <QStringList>

/// Runs one qn-simdrive command line (without the program name). Output on
/// stdout, errors on stderr. Returns 0 on success, 1 when the machine refused
/// the operation, 2 for a usage error.
int runSimDrive(const QStringList& args);
