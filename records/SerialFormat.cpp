#include "records/SerialFormat.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "image/FormatText.h"

namespace pellion::records {
namespace {

constexpr std::string_view kAsciiPrefix = "ascii:";
constexpr int kLongestWidth = 64;

SerialFormatParse refused(std::size_t position, const char* why) {
    SerialFormatParse out;
    out.position = position;
    out.problem = formatText("序列号格式第%zu个字符处有误: %s", position, why);
    return out;
}

// The number field starting at text[at] == '%'; returns the index after it or the refusal.
std::size_t parseField(std::string_view text, std::size_t at, SerialFormat& format,
                       SerialFormatParse& error) {
    std::size_t i = at + 1;
    for (; i < text.size() && (text[i] == '0' || text[i] == '-'); ++i) {
        (text[i] == '0' ? format.zeroPad : format.leftAlign) = true;
    }
    int width = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        width = width * 10 + (text[i] - '0');
        if (width > kLongestWidth) {
            error = refused(i + 1, "数字字段的宽度最多为64");
            return 0;
        }
    }
    format.width = width;
    if (i >= text.size()) {
        error = refused(i + 1, "数字字段不完整,应为%u、%x或%X");
        return 0;
    }
    const char c = text[i];
    if (c != 'u' && c != 'x' && c != 'X') {
        error = refused(i + 1, "只能用无符号整数字段%u、%x或%X");
        return 0;
    }
    format.conversion = c;
    return i + 1;
}

std::string fieldText(const SerialFormat& format, std::uint32_t number) {
    std::string directive = "%";
    if (format.leftAlign)
        directive += '-';
    else if (format.zeroPad)
        directive += '0';
    directive += "*";
    directive += format.conversion;
    return formatText(directive.c_str(), format.width, unsigned(number));
}

}  // namespace

SerialFormatParse ParseSerialFormat(std::string_view text) {
    SerialFormatParse out;
    if (text.empty() || text == "u32le") {
        out.format = SerialFormat{};
        return out;
    }
    if (text == "u32be") {
        out.format = SerialFormat{};
        out.format->kind = SerialFormat::Kind::U32Be;
        return out;
    }
    if (!text.starts_with(kAsciiPrefix))
        return refused(1, "格式应为u32le、u32be或ascii:文本");
    SerialFormat format;
    format.kind = SerialFormat::Kind::Ascii;
    bool haveField = false;
    for (std::size_t i = kAsciiPrefix.size(); i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F)
            return refused(i + 1, "文本中不能有控制字符");
        if (c != '%' || (i + 1 < text.size() && text[i + 1] == '%')) {
            (haveField ? format.suffix : format.prefix) += char(c);
            i += c == '%' ? 2 : 1;
            continue;
        }
        if (haveField)
            return refused(i + 1, "只能有一个数字字段");
        const std::size_t after = parseField(text, i, format, out);
        if (after == 0)
            return out;
        haveField = true;
        i = after;
    }
    if (!haveField)
        return refused(text.size() + 1, "缺少数字字段(例如%06u)");
    out.format = format;
    if (LongestSerialBlock(format) > kMaxSerialBlockBytes)
        return refused(text.size(), "文本太长,序列号最多256字节");
    return out;
}

std::vector<std::uint8_t> SerialBytes(const SerialFormat& format, std::uint32_t number) {
    switch (format.kind) {
        case SerialFormat::Kind::U32Le:
            return {std::uint8_t(number), std::uint8_t(number >> 8), std::uint8_t(number >> 16),
                    std::uint8_t(number >> 24)};
        case SerialFormat::Kind::U32Be:
            return {std::uint8_t(number >> 24), std::uint8_t(number >> 16),
                    std::uint8_t(number >> 8), std::uint8_t(number)};
        case SerialFormat::Kind::Ascii:
            break;
    }
    const std::string text = format.prefix + fieldText(format, number) + format.suffix;
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> SerialBlock(const SerialFormat& format, std::uint32_t number) {
    auto block = SerialBytes(format, number);
    block.resize((block.size() + 3) / 4 * 4, 0xFF);
    return block;
}

std::size_t LongestSerialBlock(const SerialFormat& format) {
    if (format.kind != SerialFormat::Kind::Ascii)
        return 4;
    const std::size_t digits = format.conversion == 'u' ? 10 : 8;  // of 0xFFFFFFFF
    const std::size_t bytes = format.prefix.size() + format.suffix.size() +
                              std::max<std::size_t>(digits, std::size_t(format.width));
    return (bytes + 3) / 4 * 4;
}

}  // namespace pellion::records
