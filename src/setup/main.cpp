// SPDX-License-Identifier: MIT
#include "QNTrayliftSetup.h"

int main(int argc, char** argv)
{
    return qnTrayliftSetupMain(argc, argv);
}
