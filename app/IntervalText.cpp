#include "app/IntervalText.h"

#include <algorithm>

namespace pellion {

namespace {

// The text's milliseconds, stopping one past the limit (so that any overflow is beyond it).
std::uint64_t requestedPauseOf(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            return 0;
        ++i;
    }
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (value > kMaxWritePauseMs)
            return std::uint64_t{kMaxWritePauseMs} + 1;
    }
    return value;
}

}  // namespace

std::uint32_t writePauseOf(std::string_view text) {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(requestedPauseOf(text), kMaxWritePauseMs));
}

bool exceedsWritePauseLimit(std::string_view text) {
    return requestedPauseOf(text) > kMaxWritePauseMs;
}

}  // namespace pellion
