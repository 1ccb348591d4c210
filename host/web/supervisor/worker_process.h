// A child process with its standard input, output and error on pipes, for
// the --serve supervisor's worker (worker_process_posix.cpp, and
// worker_process_win32.cpp, where a job object ends the workers with the
// supervisor).
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace zarn_host {

// Threads: the worker loop starts, waits for, interrupts and ends it; one
// reader thread per stream calls readLine (its standard output, its
// standard error).
class WorkerProcess {
public:
    virtual ~WorkerProcess() = default;

    // Starts program with arguments (argv[1]...); null with a one-line error.
    static std::unique_ptr<WorkerProcess> start(const std::string& program, const std::vector<std::string>& arguments,
                                                std::string& error);
    // How a worker that did not exit ended, for people: "signal 11
    // (Segmentation fault)" on POSIX, "exception 0xC0000005 (access
    // violation)" on Windows, where wait's signal is the exception code.
    static std::string signalText(int signal);
    // Writes to a closed connection fail instead of ending the supervisor.
    static void ignoreBrokenPipes();
    // Sets a variable of this process's environment, which the workers it
    // starts inherit. False when the system refuses.
    static bool setInheritedVariable(const char* name, const std::string& value);

    // Blocks for the next line of standard output (fromError: error); false
    // at the end. One thread each.
    virtual bool readLine(bool fromError, std::string& line) = 0;
    // Closes the worker's standard input: its sign to end.
    virtual void closeInput() = 0;
    // Asks the worker to report and end (SIGABRT on POSIX; on Windows the
    // line workerInterruptLine on its standard input), or ends it at once.
    virtual void interrupt() = 0;
    virtual void kill() = 0;
    // Waits up to wait for the end; true once ended, with how it ended.
    virtual bool wait(std::chrono::milliseconds wait, int& exitStatus, int& signal) = 0;
};

}  // namespace zarn_host
