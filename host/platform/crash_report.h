// What zarn_host prints when the panel crashes the process: the signal (or
// Windows exception), the step that was running with its file:line, and the
// last commands the panel sent. The step and the commands are copied into
// fixed buffers as they happen, so the handler formats the report without
// allocating, writes it to standard error and ends the process with
// crashExitStatus.
#pragma once

#include <cstddef>
#include <string>

namespace zarn_host {

// The exit status of a run the panel crashed (0, 1 and 2 are host_app.h's).
constexpr int crashExitStatus = 3;

// Lines of the report, for whoever reads it back (the --serve supervisor):
//   zarn_host: crash: SIGSEGV (signal 11)
//   zarn_host: crash step: FILE:LINE: STEP
//   zarn_host: crash command: TEXT          (oldest first, at most crashCommandsKept)
constexpr const char* crashLinePrefix = "zarn_host: crash: ";
constexpr const char* crashStepPrefix = "zarn_host: crash step: ";
constexpr const char* crashCommandPrefix = "zarn_host: crash command: ";
constexpr std::size_t crashCommandsKept = 8;

// Before each step: where it comes from and its text.
void crashNoteStep(const std::string& file, int line, const std::string& source);
// Outside any step (starting, the end of the run): what the host is doing.
void crashNoteActivity(const char* what);
// Each command the panel sends, before the host acts on it.
void crashNoteCommand(const char* text);
// Forgets the commands noted (a new panel life).
void crashForgetCommands();

// The report for a crash described by what ("SIGSEGV (signal 11)") into out,
// at most capacity bytes (cut at a line end when it does not fit); its length.
// Allocates nothing, so the signal handler can call it.
std::size_t crashReportText(const char* what, char* out, std::size_t capacity);

// Installs the handlers (crash_report_posix.cpp, crash_report_win32.cpp):
// SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT on POSIX, unhandled exceptions
// on Windows. Each writes the report and ends the process with crashExitStatus.
// Call it on the panel thread: a fault arrives on the thread that caused it,
// and the POSIX report's first line says so when that is another thread
// (", on a thread other than the panel thread"); when two threads fault, one
// reports.
void installCrashReport();

}  // namespace zarn_host
