#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/win32_text.h"
#include "web/page_server/worker_link.h"
#include "web/supervisor/worker_process.h"

namespace zarn_host {
namespace {

// The job every worker of this supervisor runs in: closed with the
// supervisor's last handle, however it ends, so it ends its workers too.
HANDLE workerJob() {
    static HANDLE job = [] {
        HANDLE made = CreateJobObjectW(nullptr, nullptr);
        if (!made) return made;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(made);
            return HANDLE(nullptr);
        }
        return made;
    }();
    return job;
}

void closeHandle(HANDLE& handle) {
    if (handle) CloseHandle(handle);
    handle = nullptr;
}

class WindowsWorker : public WorkerProcess {
public:
    WindowsWorker(HANDLE process, HANDLE in, HANDLE out, HANDLE err) : process_(process), in_(in), out_{out, err} {}
    ~WindowsWorker() override {
        closeInput();
        int status = 0;
        int code = 0;
        if (!wait(std::chrono::milliseconds(0), status, code)) {
            kill();
            wait(std::chrono::seconds(5), status, code);
        }
        for (HANDLE& h : out_) closeHandle(h);
        closeHandle(process_);
    }

    bool readLine(bool fromError, std::string& line) override {
        std::string& pending = pending_[fromError ? 1 : 0];
        HANDLE pipe = out_[fromError ? 1 : 0];
        for (;;) {
            std::size_t end = pending.find('\n');
            if (end != std::string::npos) {
                line = pending.substr(0, end);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                pending.erase(0, end + 1);
                return true;
            }
            char buffer[4096];
            DWORD n = 0;
            // Fails with ERROR_BROKEN_PIPE once the worker is gone.
            if (!ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) || n == 0) {
                if (pending.empty()) return false;
                line.swap(pending);
                pending.clear();
                return true;
            }
            pending.append(buffer, n);
        }
    }

    void closeInput() override {
        std::lock_guard<std::mutex> lock(inMutex_);
        closeHandle(in_);
    }
    void interrupt() override {
        std::lock_guard<std::mutex> lock(inMutex_);
        if (!in_) return;
        const std::string line = std::string(workerInterruptLine) + "\n";
        DWORD written = 0;
        WriteFile(in_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    void kill() override {
        if (!ended_) TerminateProcess(process_, 1);
    }

    bool wait(std::chrono::milliseconds wait, int& exitStatus, int& signal) override {
        if (!ended_) {
            if (WaitForSingleObject(process_, static_cast<DWORD>(wait.count())) != WAIT_OBJECT_0) return false;
            DWORD code = 0;
            GetExitCodeProcess(process_, &code);
            ended_ = true;
            // An exception no handler took ends the process with its code
            // (0xC0000005...): that is its "signal".
            if (code >= 0xC0000000u) {
                exitStatus_ = -1;
                signal_ = static_cast<int>(code);
            } else {
                exitStatus_ = static_cast<int>(code);
            }
        }
        exitStatus = exitStatus_;
        signal = signal_;
        return true;
    }

private:
    HANDLE process_;
    std::mutex inMutex_;  // closeInput and interrupt come from the worker loop and a stop
    HANDLE in_;
    HANDLE out_[2];
    std::string pending_[2];
    bool ended_ = false;
    int exitStatus_ = 0;
    int signal_ = 0;
};

std::string systemError(const char* what) {
    return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

std::unique_ptr<WorkerProcess> WorkerProcess::start(const std::string& program,
                                                    const std::vector<std::string>& arguments, std::string& error) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr, errRead = nullptr,
           errWrite = nullptr;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0) || !CreatePipe(&outRead, &outWrite, &inherit, 0) ||
        !CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        error = systemError("cannot make pipes for the worker");
        for (HANDLE* h : {&inRead, &inWrite, &outRead, &outWrite, &errRead, &errWrite}) closeHandle(*h);
        return nullptr;
    }
    // The supervisor's ends stay out of the worker.
    for (HANDLE h : {inWrite, outRead, errRead}) SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);

    std::vector<std::string> all = {program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::wstring line = commandLine(all);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = inRead;
    startup.StartupInfo.hStdOutput = outWrite;
    startup.StartupInfo.hStdError = errWrite;
    // The worker inherits its three pipe ends and nothing else: no
    // connection the supervisor holds open (accepted sockets are
    // inheritable) stays open in it after the supervisor closes it.
    HANDLE inherited[] = {inRead, outWrite, errWrite};
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<char> listMemory(listSize);
    auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listMemory.data());
    BOOL listed = listSize > 0 && InitializeProcThreadAttributeList(list, 1, 0, &listSize);
    if (listed && !UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                             nullptr, nullptr)) {
        DeleteProcThreadAttributeList(list);
        listed = FALSE;
    }
    BOOL started = FALSE;
    PROCESS_INFORMATION process{};
    if (!listed) {
        error = systemError("cannot name the handles the worker inherits");
    } else {
        startup.lpAttributeList = list;
        // Suspended until it is in the job, so nothing it starts escapes it.
        // A process group of its own: the console's Ctrl-C is the
        // supervisor's, and the worker ends when its standard input closes.
        const DWORD flags = CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT;
        started = CreateProcessW(wideText(program).c_str(), &line[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                 &startup.StartupInfo, &process);
        if (!started) error = systemError(("cannot start the worker " + program).c_str());
        DeleteProcThreadAttributeList(list);
    }
    for (HANDLE* h : {&inRead, &outWrite, &errWrite}) closeHandle(*h);
    if (!started) {
        for (HANDLE* h : {&inWrite, &outRead, &errRead}) closeHandle(*h);
        return nullptr;
    }
    HANDLE job = workerJob();
    if (!job || !AssignProcessToJobObject(job, process.hProcess)) {
        // A worker that could outlive the supervisor is not started.
        error = systemError("cannot put the worker in the supervisor's job");
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        for (HANDLE* h : {&inWrite, &outRead, &errRead}) closeHandle(*h);
        return nullptr;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return std::make_unique<WindowsWorker>(process.hProcess, inWrite, outRead, errRead);
}

std::string WorkerProcess::signalText(int signal) {
    const auto code = static_cast<unsigned long>(static_cast<DWORD>(signal));
    const char* name = "unhandled exception";
    switch (code) {
        case 0xC0000005ul:
            name = "access violation";
            break;
        case 0xC00000FDul:
            name = "stack overflow";
            break;
        case 0xC0000094ul:
            name = "integer division by zero";
            break;
        case 0xC000001Dul:
            name = "illegal instruction";
            break;
        case 0xC0000374ul:
            name = "heap corruption";
            break;
        case 0xC0000409ul:
            name = "fast fail";
            break;
        default:
            break;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", code);
    return std::string("exception ") + hex + " (" + name + ")";
}

bool WorkerProcess::setInheritedVariable(const char* name, const std::string& value) {
    // CreateProcess passes the process's environment on, which SetEnvironmentVariableA changes.
    return SetEnvironmentVariableA(name, value.c_str()) != 0;
}

void WorkerProcess::ignoreBrokenPipes() {
    // Windows has no SIGPIPE: a write to a closed connection fails.
}

}  // namespace zarn_host
