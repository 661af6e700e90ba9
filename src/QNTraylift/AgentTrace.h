// SPDX-License-Identifier: MIT
#pragma once
// On a simulated machine the agent notes its own steps (request, panel,
// countdown, re-checks, quit) in the machine's event log beside the drive
// events, so demos and tests can follow one request from end to end. On real
// hardware nothing is written.
#include <QString>

void qnAgentTrace(const QString& text);
