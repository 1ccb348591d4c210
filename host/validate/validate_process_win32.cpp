#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: psapi.h needs its types.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "host/validate/validate_process.h"

namespace zarn_host {
namespace validate {
namespace {

std::wstring wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

// One argument as the C runtime of the child splits its command line back:
// quoted, with backslashes doubled only before a quote.
void appendArgument(std::wstring& line, const std::wstring& arg) {
    if (!line.empty()) line += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            line.append(backslashes * 2 + 1, L'\\');
        else
            line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

void drain(HANDLE pipe, std::string* sink) {
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        if (sink->size() < maxChildOutput) sink->append(buffer, n);
    }
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

}  // namespace

ChildOutcome runChild(const std::string& program, const std::vector<std::string>& args, int timeoutSeconds) {
    ChildOutcome outcome;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) || !CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        outcome.crash = "cannot make a pipe (error " + std::to_string(GetLastError()) + ")";
        return outcome;
    }
    // The parent's ends stay out of the child.
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    std::wstring line;
    appendArgument(line, wide(program));
    for (const auto& arg : args) appendArgument(line, wide(arg));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    // A crashing child reports to us, not in an error dialog.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    BOOL started = CreateProcessW(wide(program).c_str(), &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                  nullptr, &startup, &process);
    SetErrorMode(oldMode);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        outcome.crash = "cannot start " + program + " (error " + std::to_string(GetLastError()) + ")";
        return outcome;
    }
    std::thread outReader(drain, outRead, &outcome.out);
    std::thread errReader(drain, errRead, &outcome.err);
    DWORD waited = WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeoutSeconds) * 1000);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        outcome.end = ChildOutcome::End::timedOut;
    }
    outReader.join();
    errReader.join();
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

std::string currentExecutable() {
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return std::string();
    path.resize(n);
    return narrow(path);
}

ProcessUsage measureUsage() {
    ProcessUsage usage;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
        // Private bytes: page-grained, but a leak of every life still shows.
        usage.heapBytes = static_cast<long long>(counters.PrivateUsage);
    }
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles)) usage.handles = handles;
    return usage;
}

void quickExit(int code) {
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace validate
}  // namespace zarn_host
