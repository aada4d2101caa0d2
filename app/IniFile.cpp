#include "app/IniFile.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace pellion {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The section name of a "[name]" line, or none for any other line.
std::optional<std::string> sectionOf(const std::string& line) {
    const std::string text = trimmed(line);
    if (text.size() < 2 || text.front() != '[')
        return std::nullopt;
    const auto close = text.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return trimmed(text.substr(1, close - 1));
}

// The key of a "key=value" line, or none.
std::optional<std::string> keyOf(const std::string& line) {
    const auto equals = line.find('=');
    if (equals == std::string::npos)
        return std::nullopt;
    const std::string text = trimmed(line);
    if (text.empty() || text.front() == ';')
        return std::nullopt;
    return trimmed(line.substr(0, equals));
}

std::string unquoted(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool writeLines(const std::string& path, const std::vector<std::string>& lines) {
    std::ostringstream text;
    for (const auto& line : lines)
        text << line << "\r\n";
    const std::string content = text.str();

    // A crash while writing must not leave half a file: write beside it, then replace it.
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out) {
            out << content;
            out.flush();
            if (out && std::rename(temporary.c_str(), path.c_str()) == 0)
                return true;
        }
    }
    ::unlink(temporary.c_str());
    // The directory may refuse new files while the file itself is writable.
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out << content;
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace

std::optional<std::string> IniFile::readValue(const std::string& path, const std::string& section,
                                              const std::string& key) {
    bool inSection = false;
    for (const auto& line : readLines(path)) {
        if (auto name = sectionOf(line)) {
            inSection = sameName(*name, section);
            continue;
        }
        if (!inSection)
            continue;
        auto lineKey = keyOf(line);
        if (lineKey && sameName(*lineKey, key)) {
            return unquoted(trimmed(line.substr(line.find('=') + 1)));
        }
    }
    return std::nullopt;
}

bool IniFile::writeValue(const std::string& path, const std::string& section,
                         const std::string& key, const std::string& value) {
    for (const std::string* text : {&section, &key, &value}) {
        if (text->find_first_of("\r\n") != std::string::npos)
            return false;
    }
    std::vector<std::string> lines = readLines(path);
    const std::string entry = key + "=" + value;

    bool inSection = false;
    std::optional<std::size_t> sectionEnd;  // one past the last non-blank line of the section
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto name = sectionOf(lines[i])) {
            if (inSection)
                break;
            inSection = sameName(*name, section);
            if (inSection)
                sectionEnd = i + 1;
            continue;
        }
        if (!inSection)
            continue;
        auto lineKey = keyOf(lines[i]);
        if (lineKey && sameName(*lineKey, key)) {
            lines[i] = entry;
            return writeLines(path, lines);
        }
        if (!trimmed(lines[i]).empty())
            sectionEnd = i + 1;
    }
    if (sectionEnd) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*sectionEnd), entry);
    } else {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    }
    return writeLines(path, lines);
}

}  // namespace pellion
