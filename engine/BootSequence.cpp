#include "engine/BootSequence.h"

#include <array>
#include <cctype>
#include <cstdint>

namespace pellion {

namespace {

struct Preset {
    const char* name;
    const char* entry;
    const char* exit;
};

// The two common wirings. Entry: BOOT0 up, a reset pulse, its release, then the bootloader's
// start-up before SYNC. Exit: BOOT0 down and a reset pulse, as at power-up.
constexpr std::array<Preset, 2> kPresets{{
    {"dtr-reset", "R1|D1|W20|D0|W50", "R0|D1|W20|D0"},
    {"rts-reset", "D1|R1|W20|R0|W50", "D0|R1|W20|R0"},
}};

// Where a parse stands: the text, the step being read, and the position for errors.
class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    BootSequenceParse parse() {
        BootSequenceParse result;
        while (true) {
            skipSpaces();
            if (atEnd() || peek() == '|')
                return fail(result, BootSequenceError::EmptyStep);
            if (!readStep(result))
                return result;
            skipSpaces();
            if (atEnd())
                return result;
            if (peek() != '|')
                return fail(result, BootSequenceError::UnknownStep);
            ++at_;
        }
    }

  private:
    bool atEnd() const { return at_ >= text_.size(); }
    char peek() const { return text_[at_]; }
    char upper() const { return char(std::toupper(static_cast<unsigned char>(peek()))); }
    void skipSpaces() {
        while (!atEnd() && peek() == ' ')
            ++at_;
    }

    // 1-based, counting characters rather than bytes of their UTF-8 encoding.
    std::size_t position() const {
        std::size_t characters = 0;
        for (std::size_t i = 0; i < at_ && i < text_.size(); ++i) {
            if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80)
                ++characters;
        }
        return characters + 1;
    }

    BootSequenceParse& fail(BootSequenceParse& result, BootSequenceError error) {
        result.steps.clear();
        result.error = error;
        result.errorPosition = position();
        return result;
    }

    std::optional<bool> readLevel() {
        if (atEnd() || (peek() != '0' && peek() != '1'))
            return std::nullopt;
        return text_[at_++] == '1';
    }

    bool readStep(BootSequenceParse& result) {
        const char letter = upper();
        if (letter != 'D' && letter != 'R' && letter != 'B' && letter != 'W') {
            fail(result, BootSequenceError::UnknownStep);
            return false;
        }
        ++at_;
        if (letter == 'W')
            return readWait(result);
        BootStep step;
        const auto first = readLevel();
        if (!first) {
            fail(result, BootSequenceError::BadLevel);
            return false;
        }
        if (letter == 'B') {
            const auto second = readLevel();
            if (!second) {
                fail(result, BootSequenceError::BadLevel);
                return false;
            }
            step.dtr = first;
            step.rts = second;
        } else {
            (letter == 'D' ? step.dtr : step.rts) = first;
        }
        if (!atEnd() && std::isdigit(static_cast<unsigned char>(peek()))) {
            fail(result, BootSequenceError::BadLevel);  // "D10", "B011"
            return false;
        }
        result.steps.push_back(step);
        return true;
    }

    bool readWait(BootSequenceParse& result) {
        const std::size_t start = at_;
        std::uint64_t ms = 0;
        while (!atEnd() && std::isdigit(static_cast<unsigned char>(peek()))) {
            ms = ms * 10 + std::uint64_t(peek() - '0');
            ++at_;
            if (ms > std::uint64_t(kMaxBootWait.count())) {
                at_ = start;
                fail(result, BootSequenceError::WaitTooLong);
                return false;
            }
        }
        if (at_ == start) {
            fail(result, BootSequenceError::BadWait);
            return false;
        }
        result.steps.push_back(BootStep{std::nullopt, std::nullopt, std::chrono::milliseconds(ms)});
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

}  // namespace

BootSequenceParse ParseBootSequence(std::string_view text, BootRole role) {
    const std::string_view name = trimmed(text);
    if (name.empty() || name == (role == BootRole::Entry ? "none" : "go")) {
        BootSequenceParse result;
        result.go = role == BootRole::Exit;
        return result;
    }
    for (const Preset& preset : kPresets) {
        if (name == preset.name)
            return Reader(role == BootRole::Entry ? preset.entry : preset.exit).parse();
    }
    return Reader(text).parse();
}

const char* BootPresetNames(BootRole role) {
    return role == BootRole::Entry ? "none|dtr-reset|rts-reset" : "go|dtr-reset|rts-reset";
}

std::string BootSequenceErrorText(const BootSequenceParse& parse) {
    const std::string at = "第" + std::to_string(parse.errorPosition) + "个字符";
    switch (parse.error) {
        case BootSequenceError::None:
            return "";
        case BootSequenceError::EmptyStep:
            return "启动序列有误," + at + "处缺少步骤";
        case BootSequenceError::UnknownStep:
            return "启动序列有误," + at + "处应为D0/D1/R0/R1/B00..B11/W毫秒数,步骤之间用|分隔";
        case BootSequenceError::BadLevel:
            return "启动序列有误," + at + "处电平只能是0或1";
        case BootSequenceError::BadWait:
            return "启动序列有误," + at + "处W后应为等待的毫秒数";
        case BootSequenceError::WaitTooLong:
            return "启动序列有误," + at + "处等待时间不能超过" +
                   std::to_string(kMaxBootWait.count()) + "毫秒";
    }
    return "";
}

std::string BootSequenceErrorTextEnglish(const BootSequenceParse& parse) {
    const std::string at = "error at character " + std::to_string(parse.errorPosition) + ": ";
    switch (parse.error) {
        case BootSequenceError::None:
            return "";
        case BootSequenceError::EmptyStep:
            return at + "a step is missing";
        case BootSequenceError::UnknownStep:
            return at + "expected D0, D1, R0, R1, B00..B11 or W<ms>, steps separated by '|'";
        case BootSequenceError::BadLevel:
            return at + "a line level is 0 or 1";
        case BootSequenceError::BadWait:
            return at + "W takes a wait in milliseconds";
        case BootSequenceError::WaitTooLong:
            return at + "a wait is at most " + std::to_string(kMaxBootWait.count()) + " ms";
    }
    return "";
}

std::chrono::milliseconds BootSequenceDuration(const BootSequence& steps) {
    std::chrono::milliseconds total{0};
    for (const BootStep& step : steps)
        total += step.wait;
    return total;
}

}  // namespace pellion
