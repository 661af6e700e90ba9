// SPDX-License-Identifier: MIT
// src/qneject: the command-line trigger that sends the eject request to the agent.
#include "QNEjectTrigger.h"

int main(int argc, char** argv)
{
    return qnEjectMain(argc, argv);
}
