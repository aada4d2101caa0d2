#pragma once

#include <optional>
#include <string>

namespace pellion {

// A private-profile text file: "[Section]" lines followed by "key=value" lines. Section and key
// names match without regard to ASCII case; other sections, keys and comments are preserved when
// a value is written.
class IniFile {
  public:
    // The value of `key` in `section`, or none when the file, the section or the key is missing.
    // Blanks around the value are dropped, and one pair of enclosing quotes.
    static std::optional<std::string> readValue(const std::string& path, const std::string& section,
                                                const std::string& key);

    // Replaces the key's earlier value, appends the key to its section, or appends the section,
    // creating the file if needed. False when the file cannot be written, and for a section,
    // key or value holding a line break, which would start a line of its own; the file is
    // then left as it was.
    static bool writeValue(const std::string& path, const std::string& section,
                           const std::string& key, const std::string& value);
};

}  // namespace pellion
