#pragma once

#include <cstdint>
#include <string_view>

namespace pellion {

// The longest write pause the interval combo can set. A minute between frames is far beyond
// what any adapter needs; a mistyped figure must not leave a port waiting for weeks.
inline constexpr std::uint32_t kMaxWritePauseMs = 60000;

// The interval combo's text as milliseconds: leading blanks, then decimal digits up to the
// first other character; no digits give 0. A negative text gives 0 rather than a pause of
// weeks, and anything beyond kMaxWritePauseMs gives kMaxWritePauseMs.
std::uint32_t writePauseOf(std::string_view text);

// Whether the text asks for more than kMaxWritePauseMs, so that writePauseOf cuts it: the
// window then says so and shows the pause it uses.
bool exceedsWritePauseLimit(std::string_view text);

}  // namespace pellion
