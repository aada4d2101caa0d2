#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/TextTable.h"

namespace pellion {

// An operator text before it is put into words: its identifier and its arguments, each a value
// that reads the same in every language (a path, a number, an address, the system's words) or
// another such text. The core hands these out; the window and the command line word them in
// the operator's language.
class OperatorText {
  public:
    OperatorText() = default;  // no text
    explicit OperatorText(TextId id) : id_(id) {}

    OperatorText& with(std::string name, std::string value);
    OperatorText& with(std::string name, OperatorText text);

    bool empty() const { return id_ == TextId::Count; }
    TextId id() const { return id_; }
    // The value of an argument given as a value; empty when there is none such.
    std::string argument(std::string_view name) const;

    std::string words(OperatorLanguage language = OperatorLanguage::Chinese) const;

  private:
    struct Argument {
        std::string name;
        std::string value;
        std::shared_ptr<const OperatorText> text;  // set: worded in the same language
    };
    TextId id_ = TextId::Count;
    std::vector<Argument> arguments_;
};

// The texts one after another, a line each (none: no text).
OperatorText Lines(const std::vector<OperatorText>& lines);

}  // namespace pellion
