#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "support/VirtualChipFixture.h"

namespace pellion::test {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kAck = 0x79;
inline constexpr std::uint8_t kNack = 0x1F;

// Frames written out by hand here: the chip is checked against the protocol, not against the
// host's own frame builders.
inline Bytes command(std::uint8_t code) {
    return {code, std::uint8_t(code ^ 0xFF)};
}

inline Bytes addressFrame(std::uint32_t address) {
    Bytes frame = {std::uint8_t(address >> 24), std::uint8_t(address >> 16),
                   std::uint8_t(address >> 8), std::uint8_t(address)};
    frame.push_back(frame[0] ^ frame[1] ^ frame[2] ^ frame[3]);
    return frame;
}

// (m - 1), the m bytes, and their XOR with (m - 1).
inline Bytes dataFrame(const Bytes& data) {
    Bytes frame = {std::uint8_t(data.size() - 1)};
    std::uint8_t checksum = frame[0];
    for (std::uint8_t b : data) {
        frame.push_back(b);
        checksum ^= b;
    }
    frame.push_back(checksum);
    return frame;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    std::size_t size = 0;
    for (const Bytes& part : parts)
        size += part.size();
    Bytes all(size);
    auto out = all.begin();
    for (const Bytes& part : parts)
        out = std::copy(part.begin(), part.end(), out);
    return all;
}

inline Bytes pattern(std::size_t length, std::uint8_t seed = 1) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = std::uint8_t(seed + i * 7 + (i >> 8));
    return bytes;
}

// One chip on a pty and a raw line to it.
class ChipProtocolTest : public ::testing::Test {
  protected:
    void start(const sim::ChipOptions& options = {}) {
        chips_ = std::make_unique<VirtualChipFixture>(1, options);
        ASSERT_TRUE(chips_->ok()) << chips_->error();
        line_ = std::make_unique<RawChipLine>(chips_->devicePath(0));
        ASSERT_TRUE(line_->ok()) << line_->error();
    }

    sim::VirtualChip& chip() { return chips_->chip(0); }
    RawChipLine& line() { return *line_; }

    // Writes `bytes`, returns the next `answerBytes` bytes of the answer.
    Bytes exchange(const Bytes& bytes, std::size_t answerBytes) {
        EXPECT_TRUE(line_->write(bytes));
        return line_->read(answerBytes);
    }
    // Writes `bytes` and returns whatever comes back within a short quiet period.
    Bytes exchangeAll(const Bytes& bytes) {
        EXPECT_TRUE(line_->write(bytes));
        return line_->readUntilQuiet(std::chrono::milliseconds(150));
    }

    void synchronise() { ASSERT_EQ(exchange({0x7F}, 1), Bytes{kAck}); }

    Bytes readMemory(std::uint32_t address, int count) {
        Bytes answer = exchange(command(0x11), 1);
        if (answer != Bytes{kAck})
            return answer;
        answer = exchange(addressFrame(address), 1);
        if (answer != Bytes{kAck})
            return answer;
        const std::uint8_t n = std::uint8_t(count - 1);
        answer = exchange({n, std::uint8_t(n ^ 0xFF)}, 1);
        if (answer != Bytes{kAck})
            return answer;
        return line_->read(std::size_t(count));
    }

    // The final answer of a Write memory exchange, or the first refusal.
    std::uint8_t writeMemory(std::uint32_t address, const Bytes& data) {
        Bytes answer = exchange(command(0x31), 1);
        if (answer != Bytes{kAck})
            return answer.empty() ? 0 : answer[0];
        answer = exchange(addressFrame(address), 1);
        if (answer != Bytes{kAck})
            return answer.empty() ? 0 : answer[0];
        answer = exchange(dataFrame(data), 1);
        return answer.empty() ? 0 : answer[0];
    }

    std::unique_ptr<VirtualChipFixture> chips_;
    std::unique_ptr<RawChipLine> line_;
};

}  // namespace pellion::test
