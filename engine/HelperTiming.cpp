#include "engine/HelperTiming.h"

#include "helper/HelperProtocol.h"

namespace pellion {

namespace {

// As the engine's answer margin: a loaded host reads late, not the chip.
constexpr milliseconds kSlack{1000};
constexpr milliseconds kWorstPageErase{40};
constexpr std::uint32_t kWorstHalfWordMicros = 70;
// The CRC loop on the 8 MHz oscillator, about 25 cycles a byte.
constexpr std::uint32_t kCrcBytesPerMillisecond = 320;

std::uint32_t frameBytes(std::uint32_t payload) {
    return HELPER_HEADER_BYTES + payload + HELPER_CRC_BYTES;
}

}  // namespace

milliseconds HelperWireTime(std::uint32_t bytes, std::uint32_t baud) {
    if (baud == 0)
        baud = 9600;
    const std::uint64_t micros = (std::uint64_t(bytes) * 11 * 1'000'000 + baud - 1) / baud;
    return milliseconds((micros + 999) / 1000);
}

milliseconds HelperReadyTimeout(std::uint32_t baud) {
    return kSlack + HelperWireTime(HELPER_ANSWER_BYTES, baud);
}

milliseconds HelperEraseTimeout(int pages, std::uint32_t baud) {
    return kSlack + kWorstPageErase * pages +
           HelperWireTime(frameBytes(4u * std::uint32_t(pages)) + HELPER_ANSWER_BYTES, baud);
}

milliseconds HelperWriteTimeout(std::uint32_t baud) {
    const std::uint32_t window = HELPER_WRITE_WINDOW;
    const auto programming =
        milliseconds((window * HELPER_MAX_CHUNK_BYTES / 2 * kWorstHalfWordMicros + 999) / 1000);
    return kSlack + programming +
           HelperWireTime(window * (frameBytes(HELPER_MAX_PAYLOAD_BYTES) + HELPER_ANSWER_BYTES),
                          baud);
}

milliseconds HelperCrcTimeout(std::uint32_t length, std::uint32_t baud) {
    return kSlack + milliseconds(length / kCrcBytesPerMillisecond) +
           HelperWireTime(frameBytes(8) + HELPER_ANSWER_BYTES, baud);
}

milliseconds HelperSpeedAnswerTimeout(std::uint32_t baud) {
    return kSlack + HelperWireTime(frameBytes(4) + HELPER_ANSWER_BYTES, baud);
}

milliseconds HelperSpeedPingTimeout(std::uint32_t newBaud) {
    // Two of these fit in the helper's window at the new speed.
    return milliseconds(HELPER_SPEED_WINDOW_MS / 5) +
           HelperWireTime(frameBytes(0) + HELPER_ANSWER_BYTES, newBaud);
}

milliseconds HelperSpeedFallbackDelay() {
    return milliseconds(HELPER_SPEED_WINDOW_MS) + kSlack / 2;
}

}  // namespace pellion
