#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Runs pellion-cli with `args` as an operator would, capturing both output streams.
inline CliRun runCli(const std::vector<std::string>& args) {
    char outPath[] = "/tmp/pellion-cli-out-XXXXXX";
    char errPath[] = "/tmp/pellion-cli-err-XXXXXX";
    int outFd = mkstemp(outPath);
    int errFd = mkstemp(errPath);
    CliRun run;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
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
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    }
    close(outFd);
    close(errFd);
    auto slurp = [](const char* path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    run.out = slurp(outPath);
    run.err = slurp(errPath);
    std::remove(outPath);
    std::remove(errPath);
    return run;
}

}  // namespace pellion::test
