// SPDX-License-Identifier: MIT
#pragma once
// The agent notes its own steps (request, panel, countdown, re-checks, quit)
// through the drive registry: a simulated machine keeps them in its event log
// beside the drive events, so demos and tests can follow one request from end
// to end; on real hardware nothing is written.
#include <QString>

void qnAgentTrace(const QString& text);
