// Captures what the platform debug output receives while alive: standard
// error on POSIX; on Windows the text passed to OutputDebugStringA, which
// raises a debug-print exception that a first vectored handler can read.
#pragma once

#include <string>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

class PlatformDebugOutput {
public:
    PlatformDebugOutput() : handler_(AddVectoredExceptionHandler(1, &PlatformDebugOutput::collect)) { text().clear(); }
    ~PlatformDebugOutput() { RemoveVectoredExceptionHandler(handler_); }
    PlatformDebugOutput(const PlatformDebugOutput&) = delete;
    PlatformDebugOutput& operator=(const PlatformDebugOutput&) = delete;
    std::string output() const { return text(); }

private:
    static std::string& text() {
        static std::string captured;
        return captured;
    }
    // Parameters of DBG_PRINTEXCEPTION_C: the length with the NUL, then the text.
    static LONG CALLBACK collect(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        if (record->ExceptionCode != DBG_PRINTEXCEPTION_C || record->NumberParameters < 2) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        const auto length = static_cast<std::size_t>(record->ExceptionInformation[0]);
        const char* data = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        if (data && length > 0) text().append(data, length - 1);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    PVOID handler_;
};

#else
#include <gtest/gtest.h>

class PlatformDebugOutput {
public:
    PlatformDebugOutput() { testing::internal::CaptureStderr(); }
    ~PlatformDebugOutput() { output(); }
    PlatformDebugOutput(const PlatformDebugOutput&) = delete;
    PlatformDebugOutput& operator=(const PlatformDebugOutput&) = delete;
    // Ends the capture; the first call gives the text.
    std::string output() {
        if (done_) return std::string();
        done_ = true;
        return testing::internal::GetCapturedStderr();
    }

private:
    bool done_ = false;
};
#endif
