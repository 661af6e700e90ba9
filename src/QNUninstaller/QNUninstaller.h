// SPDX-License-Identifier: MIT
#pragma once
// The uninstaller's application delegate: runs the window modally, then
// quits 0.05 s after it has closed. The program's exit status is 0 only when
// every listed item was removed, 1 when nothing was (cancel included), 2 when
// only some were.
class QNUninstaller {
public:
    void applicationWillFinishLaunching();
};

/// The whole program, for main().
int QNUninstallerMain(int argc, char** argv);
