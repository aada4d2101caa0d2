#include "engine/OperatorText.h"

namespace pellion {

OperatorText& OperatorText::with(std::string name, std::string value) {
    arguments_.push_back({std::move(name), std::move(value), nullptr});
    return *this;
}

OperatorText& OperatorText::with(std::string name, OperatorText text) {
    arguments_.push_back(
        {std::move(name), {}, std::make_shared<const OperatorText>(std::move(text))});
    return *this;
}

std::string OperatorText::argument(std::string_view name) const {
    for (const Argument& a : arguments_) {
        if (a.name == name && !a.text)
            return a.value;
    }
    return {};
}

std::string OperatorText::words(OperatorLanguage language) const {
    if (empty())
        return {};
    std::vector<TextArg> args;
    args.reserve(arguments_.size());
    for (const Argument& a : arguments_)
        args.push_back({a.name, a.text ? a.text->words(language) : a.value});
    return Text(id_, args, language);
}

OperatorText Lines(const std::vector<OperatorText>& lines) {
    if (lines.empty())
        return {};
    OperatorText text = lines.back();
    for (auto line = lines.rbegin() + 1; line != lines.rend(); ++line)
        text = OperatorText(TextId::Lines).with("first", *line).with("then", std::move(text));
    return text;
}

}  // namespace pellion
