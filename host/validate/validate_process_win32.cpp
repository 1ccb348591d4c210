#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/win32_text.h"
#include "validate/validate_process.h"

namespace zarn_host {
namespace validate {
namespace {

// Starts of a child tried before its test fails.
constexpr int childStartAttempts = 3;

// Moves what the pipe holds now into sink, without waiting for more, and
// returns the bytes read; open turns false once the writing end is closed.
// What arrives meanwhile waits for the next call, so a chatty child cannot
// keep the caller from its clock.
DWORD readAvailable(HANDLE pipe, std::string* sink, bool& open) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
        open = false;
        return 0;
    }
    char buffer[65536];
    DWORD total = 0;
    while (total < available) {
        DWORD n = 0;
        DWORD wanted = available - total < sizeof buffer ? available - total : static_cast<DWORD>(sizeof buffer);
        if (!ReadFile(pipe, buffer, wanted, &n, nullptr) || n == 0) {
            open = false;
            break;
        }
        if (sink->size() < maxChildOutput) sink->append(buffer, n);
        total += n;
    }
    return total;
}

// A crash in a child ends it at once with the exception code, instead of
// starting a debugger or a crash dialog that would keep it alive.
LONG WINAPI endOnCrash(EXCEPTION_POINTERS*) {
    return EXCEPTION_EXECUTE_HANDLER;
}

// An exception code the process ended with, named when it is a common one.
std::string exceptionName(DWORD code) {
    switch (code) {
        case 0xC0000005:
            return "access violation";
        case 0xC0000374:
            return "heap corruption";
        case 0xC0000409:
            return "fast fail (abort or buffer overrun)";
        case 0xC00000FD:
            return "stack overflow";
        case 0xC0000094:
            return "integer division by zero";
        default:
            return "exception";
    }
}

// Bytes in use in every heap of the process, block by block: the C runtime's
// malloc and new draw from one of them. Private bytes would do too on
// Windows, but they are page-grained and Wine reports none.
long long heapInUse() {
    // The list is made before any heap is locked, so the walk allocates nothing.
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    if (count == 0 || count > heaps.size()) return -1;
    long long total = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += static_cast<long long>(entry.cbData);
        }
        HeapUnlock(heaps[i]);
    }
    return total;
}

}  // namespace

ChildOutcome runChild(const std::string& program, const std::vector<std::string>& args, int timeoutSeconds) {
    ChildOutcome outcome;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    // Pipes of 1 MiB: the child seldom waits for the parent to read.
    constexpr DWORD pipeSize = 1u << 20;
    if (!CreatePipe(&outRead, &outWrite, &inherit, pipeSize) || !CreatePipe(&errRead, &errWrite, &inherit, pipeSize)) {
        outcome.crash = "cannot make a pipe (error " + std::to_string(GetLastError()) + ")";
        // The first pipe may have been made: its ends go with the failure.
        for (HANDLE handle : {outRead, outWrite, errRead, errWrite}) {
            if (handle) CloseHandle(handle);
        }
        return outcome;
    }
    // The parent's ends stay out of the child.
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::wstring line = commandLine(all);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    // A crashing child reports to us, not in an error dialog.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    // A start can fail for a moment (Wine under load answers "internal
    // error", 1359): tried again before the test fails for it.
    BOOL started = FALSE;
    DWORD startError = 0;
    for (int attempt = 1; attempt <= childStartAttempts && !started; ++attempt) {
        if (attempt > 1) Sleep(500);
        std::wstring commandText = line;  // CreateProcessW may write into it
        started = CreateProcessW(wideText(program).c_str(), &commandText[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                 nullptr, nullptr, &startup, &process);
        if (!started) startError = GetLastError();
    }
    SetErrorMode(oldMode);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        outcome.crash = "cannot start " + program + " (error " + std::to_string(startError) + ")";
        return outcome;
    }
    // The pipes are polled rather than read to their end: a process the child
    // left behind (a crash handler, a console host) may hold their writing
    // ends open long after the child is gone.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    bool outOpen = true, errOpen = true;
    for (;;) {
        DWORD got = 0;
        if (outOpen) got += readAvailable(outRead, &outcome.out, outOpen);
        if (errOpen) got += readAvailable(errRead, &outcome.err, errOpen);
        // A short nap only while the child is quiet.
        if (WaitForSingleObject(process.hProcess, got > 0 ? 0 : 10) == WAIT_OBJECT_0) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 10000);
            outcome.end = ChildOutcome::End::timedOut;
            break;
        }
    }
    // Whatever the child wrote before it ended is in the pipes by now.
    while (outOpen && readAvailable(outRead, &outcome.out, outOpen) > 0) {
    }
    while (errOpen && readAvailable(errRead, &outcome.err, errOpen) > 0) {
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (outcome.end == ChildOutcome::End::timedOut) return outcome;
    if (code >= 0xC0000000u) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
        outcome.end = ChildOutcome::End::crashed;
        outcome.crash = std::string(hex) + " (" + exceptionName(code) + ")";
    } else if (code == 3) {
        // What abort() ends a process with on Windows.
        outcome.end = ChildOutcome::End::crashed;
        outcome.crash = "abort (exit code 3)";
    } else {
        outcome.end = ChildOutcome::End::exited;
        outcome.exitCode = static_cast<int>(code);
    }
    return outcome;
}

ProcessUsage measureUsage() {
    ProcessUsage usage;
    usage.heapBytes = heapInUse();
    DWORD handles = 0;
    // A real process always holds some handles; 0 is an emulator that does not count them (Wine).
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0) usage.handles = handles;
    return usage;
}

void prepareChild() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(endOnCrash);
}

void quickExit(int code) {
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace validate
}  // namespace zarn_host
