#pragma once

#include <optional>
#include <string>
#include <utility>

namespace pellion {

// A value, or the message that tells the operator why there is none.
template <class T>
class ImageResult {
  public:
    static ImageResult success(T value) {
        ImageResult r;
        r.value_.emplace(std::move(value));
        return r;
    }
    static ImageResult failure(std::string message) {
        ImageResult r;
        r.error_ = std::move(message);
        return r;
    }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const { return *value_; }
    T& value() { return *value_; }
    const std::string& error() const { return error_; }

  private:
    ImageResult() = default;
    std::optional<T> value_;
    std::string error_;
};

}  // namespace pellion
