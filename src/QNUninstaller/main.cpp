// SPDX-License-Identifier: MIT
#include "QNUninstaller.h"

int main(int argc, char** argv)
{
    return QNUninstallerMain(argc, argv);
}
