#include "app/StationLabels.h"

#include <vector>

namespace pellion {

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == ';' || c == '=')
            out += '\\';
        out += c;
    }
    return out;
}

// Splits at unescaped `separator`s and removes the escapes; only the first `maxParts - 1`
// separators split.
std::vector<std::string> unescapedParts(const std::string& text, char separator,
                                        std::size_t maxParts) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            parts.back() += text[++i];
        } else if (c == separator && parts.size() < maxParts) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

// Splits at unescaped ';' keeping the escapes, for the entries' own split at '='.
std::vector<std::string> entries(const std::string& text) {
    std::vector<std::string> found(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ';') {
            found.emplace_back();
            continue;
        }
        found.back() += text[i];
        if (text[i] == '\\' && i + 1 < text.size())
            found.back() += text[++i];
    }
    return found;
}

}  // namespace

std::string stationLabelsText(const StationLabels& labels) {
    std::string text;
    for (const auto& [key, label] : labels) {
        if (key.empty() || label.empty())
            continue;
        text += (text.empty() ? "" : ";") + escaped(key) + "=" + escaped(label);
    }
    return text;
}

StationLabels parseStationLabels(const std::string& text) {
    StationLabels labels;
    for (const std::string& entry : entries(text)) {
        const auto parts = unescapedParts(entry, '=', 2);
        if (parts.size() == 2 && !parts[0].empty() && !parts[1].empty())
            labels[parts[0]] = parts[1];
    }
    return labels;
}

}  // namespace pellion
