#pragma once

#include <optional>
#include <string>
#include <utility>

#include "engine/OperatorText.h"

namespace pellion {

// A value, or the operator text that tells why there is none.
template <class T>
class ImageResult {
  public:
    static ImageResult success(T value) {
        ImageResult r;
        r.value_.emplace(std::move(value));
        return r;
    }
    static ImageResult failure(OperatorText why) {
        ImageResult r;
        r.why_ = std::move(why);
        return r;
    }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const { return *value_; }
    T& value() { return *value_; }
    // Why there is no value, to be worded at the edge; error() words it.
    const OperatorText& why() const { return why_; }
    std::string error(OperatorLanguage language = OperatorLanguage::Chinese) const {
        return why_.words(language);
    }

  private:
    ImageResult() = default;
    std::optional<T> value_;
    OperatorText why_;
};

}  // namespace pellion
