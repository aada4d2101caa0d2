#include <gtest/gtest.h>

#include "serial/CSerialPort.h"

using pellion::CommTimeouts;
using pellion::readDeadlines;
using pellion::writeTimeoutMs;

TEST(CommTimeouts, FiveMillisecondsHoldAtTheUsualRates) {
    const auto d = readDeadlines(CommTimeouts::uniform(5), 57600, 7);
    EXPECT_FALSE(d.returnAtOnce);
    EXPECT_FALSE(d.returnOnFirstByte);
    EXPECT_EQ(d.totalMs, 5u * 7 + 5);
    EXPECT_EQ(d.intervalMs, 5u);
    EXPECT_EQ(writeTimeoutMs(CommTimeouts::uniform(5), 57600, 200), 5u * 200 + 5);
}

// At 1200 baud a character takes 9.2 ms: interval and per-byte time-outs grow to two of them
// (19 ms), the constant part stays.
TEST(CommTimeouts, NeverShorterThanTwoCharactersAtLowRates) {
    EXPECT_EQ(pellion::minimumByteTimeoutMs(1200), 19u);
    EXPECT_EQ(pellion::minimumByteTimeoutMs(2400), 10u);
    EXPECT_EQ(pellion::minimumByteTimeoutMs(4800), 5u);
    EXPECT_EQ(pellion::minimumByteTimeoutMs(115200), 1u);
    const auto d = readDeadlines(CommTimeouts::uniform(5), 1200, 7);
    EXPECT_EQ(d.intervalMs, 19u);
    EXPECT_EQ(d.totalMs, 19u * 7 + 5);
    EXPECT_EQ(writeTimeoutMs(CommTimeouts::uniform(5), 1200, 2), 19u * 2 + 5);
    // Longer settings are left as they are.
    EXPECT_EQ(readDeadlines(CommTimeouts::uniform(1000), 1200, 1).intervalMs, 1000u);
}

TEST(CommTimeouts, ZeroFieldsAreNotUsedAndTheSpecialCombinationsHold) {
    CommTimeouts none{0, 0, 0, 0, 0};
    const auto forever = readDeadlines(none, 1200, 7);
    EXPECT_FALSE(forever.totalMs.has_value());
    EXPECT_FALSE(forever.intervalMs.has_value());
    EXPECT_FALSE(writeTimeoutMs(none, 1200, 7).has_value());

    CommTimeouts intervalOnly{20, 0, 0, 0, 0};
    EXPECT_FALSE(readDeadlines(intervalOnly, 57600, 7).totalMs.has_value());
    EXPECT_EQ(readDeadlines(intervalOnly, 57600, 7).intervalMs, 20u);

    const auto max = CommTimeouts::kMaxTimeout;
    EXPECT_TRUE(readDeadlines({max, 0, 0, 0, 0}, 57600, 7).returnAtOnce);
    const auto firstByte = readDeadlines({max, max, 50, 0, 0}, 57600, 7);
    EXPECT_TRUE(firstByte.returnOnFirstByte);
    EXPECT_EQ(firstByte.totalMs, 50u);
}

TEST(SerialErrorText, NamesTheStepTheSystemTextAndThePort) {
    EXPECT_EQ(pellion::serialErrorText("write()", "Input/output error", 12, "/dev/ttyUSB12"),
              "WARNING:  write() Failed with the following error: \nInput/output error\n"
              "Port: 12 (/dev/ttyUSB12)\n");
    // A system text of any length is carried whole.
    const std::string longText(600, 'x');
    const auto text = pellion::serialErrorText("read()", longText, 3, "chip3");
    EXPECT_NE(text.find(longText + "\nPort: 3 (chip3)\n"), std::string::npos);
    // The owner words it in its language.
    EXPECT_EQ(pellion::serialErrorText("read()", "Input/output error", 3, "chip3",
                                       pellion::OperatorLanguage::English),
              "WARNING:  read() failed with the following error:\nInput/output error\n"
              "Port: 3 (chip3)\n");
}
