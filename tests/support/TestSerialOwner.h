#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/OwnerLoop.h"
#include "serial/CSerialPort.h"
#include "serial/SerialOwner.h"

namespace pellion::test {

// A SerialOwner that records what its ports hand over. Construct it on the test thread: that
// thread becomes the owner thread, and the waiting helpers run the owner loop on it.
class TestSerialOwner : public SerialOwner {
  public:
    struct Delivery {
        std::vector<std::uint8_t> buffer;  // the whole receive buffer as it was during the call
        CSerialPort* port = nullptr;
        std::uint32_t comNumber = 0;
        std::int32_t readLengthDuringCall = 0;
        bool onOwnerThread = false;
        SteadyClock::time_point at;

        std::vector<std::uint8_t> first(std::size_t n) const {
            return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n)};
        }
    };
    struct ShownError {
        std::string caption;
        std::string text;
    };

    OwnerLoop& ownerLoop() override { return loop_; }
    void OnSerialData(CSerialPort& port, const std::uint8_t* rxBuffer) override;
    void OnPortLost(CSerialPort& port) override;
    void ShowSerialError(const std::string& caption, const OperatorText& text) override;

    // Runs the owner loop until the condition holds or the time-out passes.
    bool waitFor(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool waitForDeliveries(std::size_t count,
                           std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Runs the owner loop for `duration`, so late deliveries would show up.
    void serveFor(std::chrono::milliseconds duration);

    std::vector<ShownError> errors() const;

    std::vector<Delivery> deliveries;  // owner thread only
    std::vector<CSerialPort*> lostPorts;
    // Optional reaction to a delivery, after it has been recorded (owner thread).
    std::function<void(CSerialPort&, const std::uint8_t*)> onData;

  private:
    OwnerLoop loop_;
    mutable std::mutex errorsMutex_;
    std::vector<ShownError> errors_;
};

}  // namespace pellion::test
