// SPDX-License-Identifier: MIT
#include "process/ProcessTable.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <unistd.h>
#include <vector>

namespace qn::process {

namespace {

// The kernel keeps TASK_COMM_LEN - 1 = 15 visible characters.
constexpr size_t kCommLength = 15;

bool readComm(pid_t pid, char (&comm)[64])
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/comm", int(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const ssize_t n = ::read(fd, comm, sizeof comm - 1);
    ::close(fd);
    if (n <= 0)
        return false;
    size_t len = size_t(n);
    if (comm[len - 1] == '\n')
        --len;
    comm[len] = '\0';
    return true;
}

bool nameMatches(const char* comm, const char* wanted)
{
    const size_t wantedLen = std::strlen(wanted);
    const size_t commLen = std::strlen(comm);
    const size_t expected = wantedLen < kCommLength ? wantedLen : kCommLength;
    return commLen == expected && std::strncmp(comm, wanted, expected) == 0;
}

}  // namespace

NameLookup allPidsForName(const char* name, pid_t* pids, size_t capacity, size_t* count, int* systemError)
{
    if (!name || !pids || capacity == 0 || !count)
        return NameLookup::BadArgument;
    std::memset(pids, 0, capacity * sizeof(pid_t));
    *count = 0;
    if (systemError)
        *systemError = 0;

    DIR* dir = ::opendir("/proc");
    if (!dir) {
        if (systemError)
            *systemError = errno;
        return NameLookup::TableFailed;
    }
    // Take the table first, then look at each entry, as a snapshot of pids.
    std::vector<pid_t> table;
    try {
        table.reserve(256);
        while (dirent* e = ::readdir(dir)) {
            char* end = nullptr;
            const long pid = std::strtol(e->d_name, &end, 10);
            if (end && *end == '\0' && pid > 0)
                table.push_back(pid_t(pid));
        }
    } catch (const std::bad_alloc&) {
        ::closedir(dir);
        if (systemError)
            *systemError = ENOMEM;
        return NameLookup::NoMemory;
    }
    ::closedir(dir);

    for (pid_t pid : table) {
        char comm[64];
        if (!readComm(pid, comm))
            continue;  // ended in between
        if (!nameMatches(comm, name))
            continue;
        if (*count == capacity)
            return NameLookup::BufferTooSmall;
        pids[(*count)++] = pid;
    }
    return *count > 0 ? NameLookup::Found : NameLookup::NotFound;
}

pid_t pidForName(const char* name)
{
    pid_t pid = 0;
    size_t count = 0;
    return allPidsForName(name, &pid, 1, &count) == NameLookup::Found ? pid : -1;
}

}  // namespace qn::process
