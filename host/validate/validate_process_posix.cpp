#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "validate/validate_process.h"

namespace zarn_host {
namespace validate {
namespace {

void closeBoth(int fds[2]) {
    if (fds[0] >= 0) close(fds[0]);
    if (fds[1] >= 0) close(fds[1]);
}

}  // namespace

ChildOutcome runChild(const std::string& program, const std::vector<std::string>& args, int timeoutSeconds) {
    ChildOutcome outcome;
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
        closeBoth(outPipe);
        closeBoth(errPipe);
        outcome.crash = std::string("cannot make a pipe: ") + std::strerror(errno);
        return outcome;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) {
        closeBoth(outPipe);
        closeBoth(errPipe);
        outcome.crash = std::string("cannot start a process: ") + std::strerror(errno);
        return outcome;
    }
    if (pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        closeBoth(outPipe);
        closeBoth(errPipe);
        execv(program.c_str(), argv.data());
        std::fprintf(stderr, "cannot run %s: %s\n", program.c_str(), std::strerror(errno));
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    int open = 2;
    bool timedOut = false;
    char buffer[65536];
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        int ready = poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                if (sinks[i]->size() < maxChildOutput) sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (timedOut) kill(pid, SIGKILL);
    for (auto& fd : fds) {
        if (fd.fd >= 0) close(fd.fd);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        outcome.end = ChildOutcome::End::timedOut;
    } else if (WIFSIGNALED(status)) {
        outcome.end = ChildOutcome::End::crashed;
        const char* name = strsignal(WTERMSIG(status));
        outcome.crash = "signal " + std::to_string(WTERMSIG(status)) + " (" + (name ? name : "?") + ")";
    } else {
        outcome.end = ChildOutcome::End::exited;
        outcome.exitCode = WEXITSTATUS(status);
    }
    return outcome;
}

ProcessUsage measureUsage() {
    ProcessUsage usage;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    const struct mallinfo2 info = mallinfo2();
    usage.heapBytes = static_cast<long long>(info.uordblks + info.hblkhd);
#endif
    if (DIR* dir = opendir("/proc/self/fd")) {
        long long count = 0;
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
        usage.handles = count;
    }
    return usage;
}

void prepareChild() {
    // A crash ends the child by its signal already.
}

void quickExit(int code) {
    std::fflush(nullptr);
    _exit(code);
}

}  // namespace validate
}  // namespace zarn_host
