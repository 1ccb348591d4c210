#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "platform/crash_report.h"

namespace zarn_host {
namespace {

// The handler runs here, so a stack overflow can still be reported.
alignas(16) char alternateStack[64 * 1024];
char report[8192];

struct Caught {
    int signal;
    const char* what;
};
constexpr Caught caught[] = {
    {SIGSEGV, "SIGSEGV (signal 11, invalid memory access)"},
    {SIGBUS, "SIGBUS (bus error)"},
    {SIGFPE, "SIGFPE (arithmetic error)"},
    {SIGILL, "SIGILL (illegal instruction)"},
    {SIGABRT, "SIGABRT (abort)"},
};

// The thread that installed the handlers: the panel thread. A synchronous
// fault arrives on the thread that caused it, so a fault elsewhere (a
// thread of the panel's own, the bridges' I/O thread) says so.
pthread_t panelThread;
std::atomic<bool> reporting{false};
char what[160];

void append(std::size_t& at, const char* text) {
    for (; *text && at + 1 < sizeof what; ++text) what[at++] = *text;
    what[at] = '\0';
}

extern "C" void onCrash(int signal) {
    // One report: a second thread that faults meanwhile waits for the exit.
    if (reporting.exchange(true)) {
        for (;;) pause();
    }
    std::size_t at = 0;
    append(at, "a fatal signal");
    for (const auto& c : caught) {
        if (c.signal == signal) at = 0, append(at, c.what);
    }
    if (!pthread_equal(pthread_self(), panelThread)) append(at, ", on a thread other than the panel thread");
    std::size_t length = crashReportText(what, report, sizeof report);
    std::size_t written = 0;
    while (written < length) {
        ssize_t n = write(STDERR_FILENO, report + written, length - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    _exit(crashExitStatus);
}

}  // namespace

void installCrashReport() {
    panelThread = pthread_self();
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onCrash;
    action.sa_flags = SA_ONSTACK;
    sigfillset(&action.sa_mask);
    for (const auto& c : caught) sigaction(c.signal, &action, nullptr);
}

}  // namespace zarn_host
