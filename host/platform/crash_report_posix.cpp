#include <signal.h>
#include <unistd.h>

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

extern "C" void onCrash(int signal) {
    const char* what = "a fatal signal";
    for (const auto& c : caught) {
        if (c.signal == signal) what = c.what;
    }
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
