// SPDX-License-Identifier: MIT
// src/platform/process: finding processes by command name in /proc.
#pragma once
// Looking processes up by command name in /proc. Linux keeps the first 15
// characters of a command name (/proc/<pid>/comm), so a process matches when
// its command name equals the wanted name cut to 15 characters.
#include <cstddef>
#include <sys/types.h>

namespace qn::process {

/// The outcome of a lookup. The values are fixed: the crash observer hands
/// them on as plain numbers.
enum class NameLookup : int {
    Found = 0,            // at least one process found
    NotFound = -1,        // none found
    BadArgument = -2,     // name, buffer, capacity 0 or count missing
    TableFailed = -3,     // /proc could not be listed (errno stored)
    NoMemory = -4,        // no memory for the table (ENOMEM stored)
    BufferTooSmall = -5,  // more matches than the buffer holds
};

/// Collects the pids (> 0) of all processes called name into pids. Clears the
/// buffer, *count and *systemError first. With BufferTooSmall the buffer
/// holds the first capacity matches.
NameLookup allPidsForName(const char* name, pid_t* pids, size_t capacity, size_t* count,
                          int* systemError = nullptr);

/// The pid when exactly one process is called name, else -1.
pid_t pidForName(const char* name);

}  // namespace qn::process
