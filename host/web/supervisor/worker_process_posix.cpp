#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "web/supervisor/worker_process.h"

namespace zarn_host {
namespace {

class PosixWorker : public WorkerProcess {
public:
    PosixWorker(pid_t pid, int in, int out, int err) : pid_(pid), in_(in), out_{out, err} {}
    ~PosixWorker() override {
        closeInput();
        int status = 0;
        int sig = 0;
        if (!ended_ && !wait(std::chrono::milliseconds(0), status, sig)) {
            kill();
            wait(std::chrono::seconds(5), status, sig);
        }
        for (int fd : out_) close(fd);
    }

    bool readLine(bool fromError, std::string& line) override {
        std::string& pending = pending_[fromError ? 1 : 0];
        int fd = out_[fromError ? 1 : 0];
        for (;;) {
            std::size_t end = pending.find('\n');
            if (end != std::string::npos) {
                line = pending.substr(0, end);
                pending.erase(0, end + 1);
                return true;
            }
            char buffer[4096];
            ssize_t n = read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (pending.empty()) return false;
                line.swap(pending);
                pending.clear();
                return true;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
        }
    }

    void closeInput() override {
        if (in_ >= 0) close(in_);
        in_ = -1;
    }
    void interrupt() override {
        if (!ended_) ::kill(pid_, SIGABRT);
    }
    void kill() override {
        if (!ended_) ::kill(pid_, SIGKILL);
    }

    bool wait(std::chrono::milliseconds wait, int& exitStatus, int& signal) override {
        auto until = std::chrono::steady_clock::now() + wait;
        for (;;) {
            if (!ended_) {
                int status = 0;
                pid_t done = waitpid(pid_, &status, WNOHANG);
                if (done == pid_) {
                    ended_ = true;
                    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                    signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
                }
            }
            if (ended_) {
                exitStatus = exitStatus_;
                signal = signal_;
                return true;
            }
            if (std::chrono::steady_clock::now() >= until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

private:
    pid_t pid_;
    int in_;
    int out_[2];
    std::string pending_[2];
    bool ended_ = false;
    int exitStatus_ = 0;
    int signal_ = 0;
};

}  // namespace

std::unique_ptr<WorkerProcess> WorkerProcess::start(const std::string& program,
                                                    const std::vector<std::string>& arguments, std::string& error) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        error = std::string("cannot make pipes for the worker: ") + std::strerror(errno);
        return nullptr;
    }
    std::vector<std::string> all = {program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        error = std::string("cannot start the worker: ") + std::strerror(errno);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        return nullptr;
    }
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        // The terminal's Ctrl-C is the supervisor's; the worker ends when its
        // standard input closes.
        setpgid(0, 0);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    return std::make_unique<PosixWorker>(pid, in[1], out[0], err[0]);
}

std::string WorkerProcess::signalText(int signal) {
    return "signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
}

bool WorkerProcess::setInheritedVariable(const char* name, const std::string& value) {
    return ::setenv(name, value.c_str(), 1) == 0;
}

void WorkerProcess::ignoreBrokenPipes() {
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace zarn_host
