// SPDX-License-Identifier: MIT
#pragma once
// Turns the raw frames of a crash entry ("module(+0xOFF) [0xADDR]" or
// "module(symbol+0xOFF) [0xADDR]", as the crash recorder writes them) into
// "function (file:line)" with demangled names, from each module's ELF symbols
// and DWARF line information when present (elfutils libdwfl; no debugger, no
// network: DEBUGINFOD_URLS is cleared in this process). Frames that cannot be
// resolved stay as they were.
#include <QString>
#include <QStringList>

class QNBacktraceSymbolizer {
public:
    /// The frame lines after the entry's "Backtrace:" line (up to the first
    /// blank line or the end).
    static QStringList rawFrames(const QString& entry);

    /// One output line per raw frame, in the same order: "function
    /// (file:line)", "function (module)" when there is no line information,
    /// or the raw line when nothing was found. *resolved (optional) counts
    /// the frames that got a function name.
    static QStringList symbolize(const QStringList& frames, int* resolved = nullptr);

    /// The text to show and send for an entry: the entry unchanged, then,
    /// when at least one frame was resolved, a blank line, "Symbolised
    /// backtrace:" and the symbolised frames. Servers that parse the raw
    /// entry keep finding it at the start.
    static QString reportWithSymbols(const QString& entry);
};
