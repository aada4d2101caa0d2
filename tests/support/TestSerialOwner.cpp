#include "support/TestSerialOwner.h"

namespace pellion::test {

void TestSerialOwner::OnSerialData(CSerialPort& port, const std::uint8_t* rxBuffer) {
    Delivery d;
    d.buffer.assign(rxBuffer, rxBuffer + CSerialPort::kRxBufferSize);
    d.port = &port;
    d.comNumber = port.ComNumber();
    d.readLengthDuringCall = port.readLength;
    d.onOwnerThread = loop_.isOwnerThread();
    d.at = SteadyClock::now();
    deliveries.push_back(std::move(d));
    if (onData)
        onData(port, rxBuffer);
}

void TestSerialOwner::OnPortLost(CSerialPort& port) {
    lostPorts.push_back(&port);
}

void TestSerialOwner::ShowSerialError(const std::string& caption, const OperatorText& text) {
    std::lock_guard lock(errorsMutex_);
    errors_.push_back({caption, text.words()});
}

std::vector<TestSerialOwner::ShownError> TestSerialOwner::errors() const {
    std::lock_guard lock(errorsMutex_);
    return errors_;
}

bool TestSerialOwner::waitFor(const std::function<bool()>& done,
                              std::chrono::milliseconds timeout) {
    return loop_.runUntil(done, timeout);
}

bool TestSerialOwner::waitForDeliveries(std::size_t count, std::chrono::milliseconds timeout) {
    return waitFor([&] { return deliveries.size() >= count; }, timeout);
}

void TestSerialOwner::serveFor(std::chrono::milliseconds duration) {
    loop_.runUntil([] { return false; }, duration);
}

}  // namespace pellion::test
