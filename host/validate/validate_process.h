// What the validator needs from the operating system: running itself again as
// a child with a time limit, and counting its own memory and handles. One
// implementation per platform (validate_process_posix.cpp, _win32.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zarn_host {
namespace validate {

struct ChildOutcome {
    enum class End { exited, crashed, timedOut, notStarted };
    End end = End::notStarted;
    int exitCode = 0;
    std::string crash;  // the signal or exception, when it crashed
    std::string out;    // everything the child wrote to standard output
    std::string err;    // and to standard error
};

// Output kept of a child, per stream; the rest is read and dropped.
constexpr std::size_t maxChildOutput = 256u << 20;

// Runs program with args, collecting its output, and kills it after
// timeoutSeconds. notStarted carries the reason in crash.
ChildOutcome runChild(const std::string& program, const std::vector<std::string>& args, int timeoutSeconds);

struct ProcessUsage {
    long long heapBytes = -1;  // bytes the allocator has handed out; -1 when unknown
    long long handles = -1;    // open descriptors or handles; -1 when unknown
};
ProcessUsage measureUsage();

// Readies a child for its test: a crash ends it at once, reported by its
// signal or exception code, with no debugger or dialog started for it.
void prepareChild();

// Ends the process at once with code, skipping exit-time work (a sanitizer's
// leak check among it): a test whose process is not about leaks ends so.
[[noreturn]] void quickExit(int code);

}  // namespace validate
}  // namespace zarn_host
