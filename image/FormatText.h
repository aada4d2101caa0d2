#pragma once

#include <cstdio>
#include <string>

namespace pellion {

// printf-style formatting into a string of whatever length the text needs.
template <class... Args>
std::string formatText(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}

}  // namespace pellion
