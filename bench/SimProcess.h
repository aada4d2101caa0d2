// A pellion-sim process serving N timed chips, for the benches that keep the chips' CPU time
// out of the host's. Its summaries go to the dump directory (on SIGUSR1 and on exit).
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace pellion::bench {

class SimProcess {
  public:
    SimProcess(const std::string& simPath, int chips, const std::string& dir,
               const std::vector<std::string>& extraArgs)
        : dir_(dir) {
        int out[2];
        if (::pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args = {
            simPath, "--chips", std::to_string(chips), "--code", "1RCB", "--dump-dir", dir};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, simPath.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // One line per chip: "chipK DEVICE".
        FILE* lines = ::fdopen(out[0], "r");
        char line[512];
        while (pid_ > 0 && int(devices_.size()) < chips && std::fgets(line, sizeof line, lines)) {
            std::istringstream fields(line);
            std::string name, device;
            fields >> name >> device;
            if (name.rfind("chip", 0) == 0)
                devices_.push_back(device);
        }
        lines_ = lines;
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() { stop(); }

    // Ends the simulator, which writes every chip's summary to the dump directory.
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGINT);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (lines_)
            std::fclose(lines_);
        lines_ = nullptr;
    }
    // Asks a running simulator for every chip's summary so far.
    void requestSummaries() const {
        if (pid_ > 0)
            ::kill(pid_, SIGUSR1);
    }
    bool ok() const { return pid_ > 0 && !devices_.empty(); }
    const std::vector<std::string>& devices() const { return devices_; }
    std::string summaryPath(std::size_t chip) const {
        return dir_ + "/chip" + std::to_string(chip) + ".json";
    }

  private:
    std::string dir_;
    pid_t pid_ = -1;
    FILE* lines_ = nullptr;
    std::vector<std::string> devices_;
};

}  // namespace pellion::bench
