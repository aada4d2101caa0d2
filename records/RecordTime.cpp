#include "records/RecordTime.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace pellion::records {

std::int64_t NowUtcMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string IsoUtcText(std::int64_t utcMs) {
    const std::int64_t seconds = utcMs >= 0 ? utcMs / 1000 : (utcMs - 999) / 1000;
    const auto millis = int(utcMs - seconds * 1000);
    const std::time_t t = std::time_t(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
    return text;
}

std::optional<std::int64_t> ParseTimeText(std::string_view text) {
    bool utc = false;
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) {
        utc = true;
        text.remove_suffix(1);
    }
    const std::string s(text);
    std::tm tm{};
    int consumed = 0;
    char separator = 0;
    if (std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &consumed) !=
            3 ||
        consumed != 10)
        return std::nullopt;
    if (s.size() > 10) {
        int more = 0;
        const int fields = std::sscanf(s.c_str() + 10, "%c%2d:%2d%n:%2d%n", &separator, &tm.tm_hour,
                                       &tm.tm_min, &more, &tm.tm_sec, &more);
        if (fields < 3 || (separator != 'T' && separator != ' ') ||
            std::size_t(10 + more) != s.size())
            return std::nullopt;
    }
    if (tm.tm_mon < 1 || tm.tm_mon > 12 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 ||
        tm.tm_min > 59 || tm.tm_sec > 60)
        return std::nullopt;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    const std::time_t seconds = utc ? timegm(&tm) : std::mktime(&tm);
    if (seconds == std::time_t(-1))
        return std::nullopt;
    return std::int64_t(seconds) * 1000;
}

}  // namespace pellion::records
