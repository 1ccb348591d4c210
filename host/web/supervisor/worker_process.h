// A child process with its standard input, output and error on pipes, for
// the --serve supervisor's worker (worker_process_posix.cpp).
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
    // This program's own file, or empty.
    static std::string currentProgram();

    // Blocks for the next line of standard output (fromError: error); false
    // at the end. One thread each.
    virtual bool readLine(bool fromError, std::string& line) = 0;
    // Closes the worker's standard input: its sign to end.
    virtual void closeInput() = 0;
    // Asks the worker to report and end (SIGABRT), or ends it at once.
    virtual void interrupt() = 0;
    virtual void kill() = 0;
    // Waits up to wait for the end; true once ended, with how it ended.
    virtual bool wait(std::chrono::milliseconds wait, int& exitStatus, int& signal) = 0;
};

}  // namespace zarn_host
