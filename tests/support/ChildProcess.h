#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace pellion::test {

// One of our executables run as a child process, its standard output and error on pipes, killed
// when the object goes if it has not exited by then.
//
//   ChildProcess sim(PELLION_SIM_PATH, {"--chips", "2", "--no-timing"});
//   std::string first = sim.readLine();       // "chip0 /dev/pts/7"
//   sim.signal(SIGTERM);
//   EXPECT_EQ(sim.wait(), 0);
class ChildProcess {
  public:
    ChildProcess(const std::string& executable, const std::vector<std::string>& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of standard output (without its newline), or "" after `timeout`.
    std::string readLine(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    // Everything on standard error so far, once the process has closed it.
    std::string readAllErrors();
    void signal(int number);
    // The exit code, or -1 when it did not exit normally within `timeout`.
    int wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool exited_ = false;
    std::string buffer_;
};

}  // namespace pellion::test
