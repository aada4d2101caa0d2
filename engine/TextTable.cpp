#include "engine/TextTable.h"

#include <cstdio>

#include "engine/TextTableEn.h"
#include "engine/TextTableZh.h"

namespace pellion {

std::string_view TextPattern(TextId id, OperatorLanguage language) {
    const auto& table = language == OperatorLanguage::English ? kEnTexts : kZhTexts;
    const auto index = std::size_t(id);
    return index < table.size() ? table[index] : std::string_view{};
}

namespace {

std::string fill(std::string_view pattern, const TextArg* args, std::size_t count) {
    std::string text;
    text.reserve(pattern.size() + 16);
    std::size_t at = 0;
    while (at < pattern.size()) {
        const std::size_t open = pattern.find('{', at);
        if (open == std::string_view::npos) {
            text.append(pattern.substr(at));
            break;
        }
        text.append(pattern.substr(at, open - at));
        const std::size_t close = pattern.find('}', open);
        if (close == std::string_view::npos) {
            text.append(pattern.substr(open));
            break;
        }
        const std::string_view name = pattern.substr(open + 1, close - open - 1);
        for (std::size_t i = 0; i < count; ++i) {
            if (args[i].name == name) {
                text += args[i].value;
                break;
            }
        }
        at = close + 1;
    }
    return text;
}

}  // namespace

std::string Text(TextId id, std::initializer_list<TextArg> args, OperatorLanguage language) {
    return fill(TextPattern(id, language), args.begin(), args.size());
}

std::string Text(TextId id, const std::vector<TextArg>& args, OperatorLanguage language) {
    return fill(TextPattern(id, language), args.data(), args.size());
}

std::string HexAddress(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", address);
    return text;
}

}  // namespace pellion
