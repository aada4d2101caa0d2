#include "engine/EngineTiming.h"

#include <algorithm>

namespace pellion {

std::chrono::milliseconds AnswerTimeout(const EngineTiming& timing, std::uint32_t baud,
                                        std::uint32_t writePauseMs, int frameBytes, int answerBytes,
                                        std::chrono::milliseconds chipWork) {
    // 11 bits a byte; twice the line time leaves room for adapters and busy hosts.
    const std::uint64_t bits =
        std::uint64_t(std::max(frameBytes, 0) + std::max(answerBytes, 0)) * 11;
    const std::uint64_t lineMs =
        (bits * 1000 * 2 + std::max<std::uint32_t>(baud, 1) - 1) / std::max<std::uint32_t>(baud, 1);
    return timing.answerMargin + std::chrono::milliseconds(writePauseMs + lineMs) + chipWork;
}

}  // namespace pellion
