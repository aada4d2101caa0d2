#include "support/ChildProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace pellion::test {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

ChildProcess::ChildProcess(const std::string& executable,
                           const std::vector<std::string>& arguments) {
    int out[2];
    int err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]);
        ::close(err[0]);
        std::vector<char*> argv{const_cast<char*>(executable.c_str())};
        for (const auto& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(executable.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
    ::close(err_);
}

std::string ChildProcess::readLine(milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    while (true) {
        if (auto nl = buffer_.find('\n'); nl != std::string::npos) {
            std::string line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<milliseconds>(deadline - SteadyClock::now()).count();
        pollfd p{out_, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
            return "";
        char chunk[1024];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n <= 0)
            return "";
        buffer_.append(chunk, std::size_t(n));
    }
}

std::string ChildProcess::readAllErrors() {
    std::string all;
    char chunk[1024];
    ssize_t n;
    while ((n = ::read(err_, chunk, sizeof chunk)) > 0)
        all.append(chunk, std::size_t(n));
    return all;
}

void ChildProcess::signal(int number) {
    ::kill(pid_, number);
}

int ChildProcess::wait(milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    int status = 0;
    while (SteadyClock::now() < deadline) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    return -1;
}

}  // namespace pellion::test
