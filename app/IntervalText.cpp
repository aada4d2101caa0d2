#include "app/IntervalText.h"

namespace pellion {

std::uint32_t writePauseOf(std::string_view text) {
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
        if (value >= kMaxWritePauseMs)
            return kMaxWritePauseMs;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace pellion
