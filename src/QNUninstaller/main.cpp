// SPDX-License-Identifier: MIT
// src/QNUninstaller: the uninstaller, which removes the installed files through the privileged helper.
#include "QNUninstaller.h"

int main(int argc, char** argv)
{
    return QNUninstallerMain(argc, argv);
}
