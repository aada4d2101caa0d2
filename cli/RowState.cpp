#include "cli/RowState.h"

namespace pellion::cli {

namespace {

struct StateTexts {
    const char* chinese;
    const char* english;
};

// In RowState's order.
constexpr StateTexts kStateTexts[] = {
    {"未打开", "closed"}, {"正在识别", "identifying"}, {"未选型号", "no model"},
    {"就绪", "ready"},    {"正在下载", "programming"}, {"正在校验", "verifying"},
    {"完成", "done"},     {"失败", "failed"},          {"已停止", "stopped"},
};

// Terminal columns of one code point: East Asian wide and full-width forms take two.
std::size_t columnsOf(char32_t c) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6);
    return wide ? 2 : 1;
}

std::size_t columnsOf(const std::string& text) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        columns += columnsOf(c);
        i += length;
    }
    return columns;
}

}  // namespace

const char* RowStateText(RowState state, OperatorLanguage language) {
    const StateTexts& texts = kStateTexts[static_cast<int>(state)];
    return language == OperatorLanguage::English ? texts.english : texts.chinese;
}

std::string PaddedToColumns(const std::string& text, std::size_t columns) {
    const std::size_t used = columnsOf(text);
    return used >= columns ? text : text + std::string(columns - used, ' ');
}

}  // namespace pellion::cli
