#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pellion::test {

// The outcome of one run of the built pellion-cli.
struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// pellion-cli running as an operator runs it, both output streams going to files.
class CliProcess {
  public:
    explicit CliProcess(const std::vector<std::string>& args) {
        outFd_ = mkstemp(outPath_);
        errFd_ = mkstemp(errPath_);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(outFd_, STDOUT_FILENO);
            dup2(errFd_, STDERR_FILENO);
            int devNull = open("/dev/null", O_RDONLY);
            dup2(devNull, STDIN_FILENO);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(PELLION_CLI_PATH));
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(PELLION_CLI_PATH, argv.data());
            _exit(127);
        }
    }
    ~CliProcess() {
        if (pid_ > 0 && !finished_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(outFd_);
        close(errFd_);
        std::remove(outPath_);
        std::remove(errPath_);
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    std::string out() const { return slurp(outPath_); }
    void signal(int number) const { kill(pid_, number); }
    // Until the standard output holds `text`, at most `timeout`.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout) const {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (out().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            usleep(10000);
        }
        return true;
    }
    CliRun finish() {
        CliRun run;
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status))
            run.exitCode = WEXITSTATUS(status);
        finished_ = true;
        run.out = slurp(outPath_);
        run.err = slurp(errPath_);
        return run;
    }

  private:
    static std::string slurp(const char* path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    char outPath_[32] = "/tmp/pellion-cli-out-XXXXXX";
    char errPath_[32] = "/tmp/pellion-cli-err-XXXXXX";
    int outFd_ = -1;
    int errFd_ = -1;
    pid_t pid_ = -1;
    bool finished_ = false;
};

// Runs pellion-cli with `args` as an operator would, capturing both output streams.
inline CliRun runCli(const std::vector<std::string>& args) {
    return CliProcess(args).finish();
}

}  // namespace pellion::test
