#include <windows.h>

#include <csignal>
#include <cstdint>
#include <cstdio>

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

char what[MAX_PATH + 128];
char moduleFile[MAX_PATH + 1];

// "access violation (exception 0xC0000005) at k7_mon.dll+0x1a2f": the
// exception, and the module and offset where it happened, so a map file or
// objdump of that DLL finds the function. Into fixed buffers: the process is
// failing, allocation may not work.
const char* describe(const EXCEPTION_RECORD* record) {
    const char* name = exceptionName(record ? record->ExceptionCode : 0);
    if (!record) return name;
    HMODULE module = nullptr;
    const auto address = reinterpret_cast<const char*>(record->ExceptionAddress);
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            address, &module) ||
        GetModuleFileNameA(module, moduleFile, sizeof moduleFile) == 0) {
        std::snprintf(what, sizeof what, "%s at 0x%llx", name,
                      static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)));
        return what;
    }
    const char* base = moduleFile;
    for (const char* c = moduleFile; *c; ++c) {
        if (*c == '\\' || *c == '/') base = c + 1;
    }
    std::snprintf(what, sizeof what, "%s at %s+0x%llx", name, base,
                  static_cast<unsigned long long>(address - reinterpret_cast<const char*>(module)));
    return what;
}

LONG WINAPI onUnhandled(EXCEPTION_POINTERS* info) {
    writeReport(describe(info ? info->ExceptionRecord : nullptr));
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
