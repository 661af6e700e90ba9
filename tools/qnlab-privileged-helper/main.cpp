// SPDX-License-Identifier: MIT
// tools/qnlab-privileged-helper: the elevated helper running allow-listed tools for the uninstaller.
// The privileged helper: started once per runner through the elevation
// command, it runs one tool per request read from standard input and answers
// on standard output when the tool has ended. It accepts only what it must:
// tools named in the suite's allow-list (share/qnlab/privileged-tools, read
// once at start, a root-owned file nobody else may write), bounded sizes, no
// NUL bytes inside strings.
//
// The wire format and its limits are in PrivilegedHelper.h.
#include "PrivilegedHelper.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace qn::contracts;

constexpr int32_t kToolExecuteFailure = int32_t(AuthorizationStatus::errAuthorizationToolExecuteFailure);
constexpr size_t kChunk = 128;
constexpr size_t kMaxAllowListSize = 64u << 10;

bool readAll(int fd, void* buffer, size_t size)
{
    auto* p = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool writeAll(int fd, const void* buffer, size_t size)
{
    const auto* p = static_cast<const char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool readU32(int fd, uint32_t* value)
{
    unsigned char b[4];
    if (!readAll(fd, b, 4))
        return false;
    *value = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    return true;
}


#ifndef QN_HELPER_ALLOWLIST_RELATIVE
#define QN_HELPER_ALLOWLIST_RELATIVE "../../share/qnlab/privileged-tools"
#endif

void complain(const std::string& message)
{
    const std::string line = "qnlab-privileged-helper: " + message + "\n";
    (void)!::write(STDERR_FILENO, line.data(), line.size());
}

// The allow-list lies beside this binary's installation. Its tools are
// absolute paths, one per line; blank lines and lines starting with '#' are
// skipped. A list that anyone but root (or, for an unprivileged helper, its
// own user) owns or may write grants nothing. On failure *problem says why.
std::vector<std::string> readAllowList(std::string* problem)
{
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        *problem = "cannot find its own path";
        return {};
    }
    std::string path(self, size_t(n));
    path = path.substr(0, path.rfind('/') + 1) + QN_HELPER_ALLOWLIST_RELATIVE;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        *problem = "the allow-list " + path + " cannot be read";
        if (fd >= 0)
            ::close(fd);
        return {};
    }
    std::string text;
    if (!S_ISREG(st.st_mode) || (st.st_uid != 0 && st.st_uid != ::geteuid()) || (st.st_mode & (S_IWGRP | S_IWOTH))) {
        *problem = "the allow-list " + path + " is not a file owned by root and writable only by its owner";
    } else if (size_t(st.st_size) > kMaxAllowListSize) {
        *problem = "the allow-list " + path + " is too large";
    } else {
        text.resize(size_t(st.st_size));
        if (!text.empty() && !readAll(fd, text.data(), text.size())) {
            *problem = "the allow-list " + path + " cannot be read";
            text.clear();
        }
    }
    ::close(fd);
    std::vector<std::string> tools;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        if (!line.empty() && line[0] == '/')
            tools.push_back(line);
        start = end + 1;
    }
    if (tools.empty() && problem->empty())
        *problem = "the allow-list " + path + " names no tools";
    return tools;
}

enum class Request { Ok, EndOfInput, Malformed };

Request readRequest(int fd, std::vector<std::string>* items)
{
    uint32_t count = 0;
    if (!readU32(fd, &count))
        return Request::EndOfInput;
    if (count == 0 || count > kHelperMaxItems)
        return Request::Malformed;
    size_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        if (!readU32(fd, &size) || size > kHelperMaxItemSize || (total += size) > kHelperMaxRequestSize)
            return Request::Malformed;
        std::string item(size, '\0');
        if (size > 0 && !readAll(fd, item.data(), size))
            return Request::Malformed;
        if (item.find('\0') != std::string::npos)
            return Request::Malformed;
        items->push_back(std::move(item));
    }
    return Request::Ok;
}

struct Outcome {
    int32_t status = 0;
    uint64_t bytes = 0;
    uint32_t reads = 0;
    int32_t exitStatus = -1;
};

Outcome runTool(const std::vector<std::string>& items, const std::vector<std::string>& allowed,
                const std::string& allowListProblem)
{
    Outcome outcome;
    // Only the tools of the allow-list run, named exactly as listed: nothing
    // is looked up on PATH.
    bool listed = false;
    for (const std::string& tool : allowed)
        listed = listed || tool == items.front();
    if (!listed) {
        complain("refusing to run " + items.front() + ": "
                 + (allowListProblem.empty() ? std::string("it is not in the allow-list") : allowListProblem));
        return {kToolExecuteFailure};
    }
    int out[2], failure[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return {kToolExecuteFailure};
    if (::pipe2(failure, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return {kToolExecuteFailure};
    }
    std::vector<char*> argv;
    for (const std::string& item : items)
        argv.push_back(const_cast<char*>(item.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        // The tool gets no input and writes into our pipe; our own protocol
        // descriptors are replaced so it cannot talk to the runner.
        const int null = ::open("/dev/null", O_RDONLY);
        if (null < 0 || ::dup2(null, STDIN_FILENO) < 0 || ::dup2(out[1], STDOUT_FILENO) < 0) {
            const int e = errno;
            (void)!::write(failure[1], &e, sizeof e);
            ::_exit(127);
        }
        ::execv(argv[0], argv.data());
        const int e = errno;
        (void)!::write(failure[1], &e, sizeof e);
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(failure[1]);
    if (pid < 0) {
        ::close(out[0]);
        ::close(failure[0]);
        return {kToolExecuteFailure};
    }
    int childErrno = 0;
    ssize_t n;
    do {
        n = ::read(failure[0], &childErrno, sizeof childErrno);
    } while (n < 0 && errno == EINTR);
    ::close(failure[0]);
    if (n == ssize_t(sizeof childErrno)) {
        outcome.status = kToolExecuteFailure;
    } else {
        // Drain the tool's output so it never blocks on a full pipe; a read
        // error counts as the end of the output.
        char chunk[kChunk];
        for (;;) {
            const ssize_t r = ::read(out[0], chunk, kChunk);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            outcome.bytes += uint64_t(r);
            ++outcome.reads;
        }
    }
    ::close(out[0]);
    int status = 0;
    pid_t waited;
    do
        waited = ::waitpid(pid, &status, 0);
    while (waited < 0 && errno == EINTR);
    if (waited == pid && outcome.status == 0)
        outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    return outcome;
}

void putU32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * (3 - i)));
}

}  // namespace

int main()
{
    std::string allowListProblem;
    const std::vector<std::string> allowed = readAllowList(&allowListProblem);
    if (!writeAll(STDOUT_FILENO, kHelperGreeting.data(), kHelperGreeting.size()))
        return 1;
    for (;;) {
        std::vector<std::string> items;
        switch (readRequest(STDIN_FILENO, &items)) {
        case Request::EndOfInput: return 0;
        case Request::Malformed: return 2;
        case Request::Ok: break;
        }
        const Outcome o = runTool(items, allowed, allowListProblem);
        unsigned char reply[kHelperReplySize];
        putU32(reply, uint32_t(o.status));
        putU32(reply + 4, uint32_t(o.bytes >> 32));
        putU32(reply + 8, uint32_t(o.bytes));
        putU32(reply + 12, o.reads);
        putU32(reply + 16, uint32_t(o.exitStatus));
        if (!writeAll(STDOUT_FILENO, reply, sizeof reply))
            return 1;
    }
}
