// SPDX-License-Identifier: MIT
#include "QNEjectTrigger.h"

int main(int argc, char** argv)
{
    return qnEjectMain(argc, argv);
}
