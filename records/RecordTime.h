#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellion::records {

// Now, in UTC milliseconds since 1970.
std::int64_t NowUtcMs();
// "2024-05-01T08:30:00.250Z".
std::string IsoUtcText(std::int64_t utcMs);
// "2024-05-01", "2024-05-01T08:30", "2024-05-01 08:30:15" in local time, or any of them with
// a trailing "Z" in UTC; none when the text is none of these.
std::optional<std::int64_t> ParseTimeText(std::string_view text);

}  // namespace pellion::records
