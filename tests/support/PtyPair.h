#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace pellion::test {

// A pseudo-terminal pair for tests: the port under test opens slavePath(), the test plays the
// far end through the master. Closing the master simulates an unplugged adapter.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return masterFd_ >= 0; }
    const std::string& error() const { return error_; }
    int masterFd() const { return masterFd_; }
    const std::string& slavePath() const { return slavePath_; }

    // Writes every byte to the master side; false on failure or when the master is closed.
    bool write(const std::vector<std::uint8_t>& bytes);
    bool write(std::initializer_list<std::uint8_t> bytes);

    // Reads from the master side until `count` bytes arrived or `timeout` passed; returns what
    // arrived (possibly fewer). While the slave is not open the wait simply continues.
    std::vector<std::uint8_t> read(std::size_t count, std::chrono::milliseconds timeout);
    // Whatever arrives until the line has been quiet for `quiet` (at most `timeout` overall).
    std::vector<std::uint8_t> readUntilQuiet(std::chrono::milliseconds quiet,
                                             std::chrono::milliseconds timeout);

    // Closes the master: the slave sees a hang-up, as when an adapter is unplugged.
    void closeMaster();

  private:
    int masterFd_ = -1;
    std::string slavePath_;
    std::string error_;
};

}  // namespace pellion::test
