// SPDX-License-Identifier: MIT
#pragma once
// The start of the suite's window programs (the agent, the setup program, the
// uninstaller), before their QApplication exists: "--help" from a terminal,
// and what a program that is nothing without its window does without a
// display. They take no other arguments.
#include "AlertPresenter.h"

#include <cstdio>
#include <cstring>

namespace qn {

/// True, after writing usage to standard output, when "--help" or "-h" is
/// among the arguments: the program then ends with status 0.
inline bool printHelpIfAsked(int argc, char** argv, const char* usage)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return true;
        }
    }
    return false;
}

/// Says on standard error that `program` has no display to show its window
/// on, and what it therefore left undone.
inline void explainMissingDisplay(const char* program, const char* leftUndone)
{
    std::fprintf(stderr, "%s: there is no display to show its window on. %s\n", program, leftUndone);
}

/// True when a display is named. Otherwise explains (as above) and returns
/// false: the program then ends with status 1 instead of aborting in Qt.
inline bool requireDisplay(const char* program, const char* leftUndone)
{
    if (AlertPresenter::displayAvailable())
        return true;
    explainMissingDisplay(program, leftUndone);
    return false;
}

}  // namespace qn
