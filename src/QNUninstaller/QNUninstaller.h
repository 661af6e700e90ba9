#pragma once
// The uninstaller's application delegate: runs the window modally, then
// quits 0.05 s after it has closed.
class QNUninstaller {
public:
    void applicationWillFinishLaunching();
};

/// The whole program, for main().
int QNUninstallerMain(int argc, char** argv);
