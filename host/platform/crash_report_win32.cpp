#include <windows.h>

#include <csignal>

#include "platform/crash_report.h"

namespace zarn_host {
namespace {

char report[8192];

const char* exceptionName(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
            return "access violation (exception 0xC0000005)";
        case EXCEPTION_STACK_OVERFLOW:
            return "stack overflow (exception 0xC00000FD)";
        case EXCEPTION_ILLEGAL_INSTRUCTION:
            return "illegal instruction (exception 0xC000001D)";
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
            return "integer division by zero (exception 0xC0000094)";
        case EXCEPTION_IN_PAGE_ERROR:
            return "in-page error (exception 0xC0000006)";
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
            return "array bounds exceeded (exception 0xC000008C)";
        default:
            return "unhandled exception";
    }
}

void writeReport(const char* what) {
    std::size_t length = crashReportText(what, report, sizeof report);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (err != nullptr && err != INVALID_HANDLE_VALUE) {
        WriteFile(err, report, static_cast<DWORD>(length), &written, nullptr);
    }
    OutputDebugStringA(report);
}

LONG WINAPI onUnhandled(EXCEPTION_POINTERS* info) {
    writeReport(exceptionName(info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0));
    TerminateProcess(GetCurrentProcess(), crashExitStatus);
    return EXCEPTION_EXECUTE_HANDLER;
}

extern "C" void onAbort(int) {
    writeReport("SIGABRT (abort)");
    TerminateProcess(GetCurrentProcess(), crashExitStatus);
}

}  // namespace

void installCrashReport() {
    // No error dialog: the report is the answer.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(onUnhandled);
    signal(SIGABRT, onAbort);
}

}  // namespace zarn_host
