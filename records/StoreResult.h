#pragma once

#include <optional>
#include <string>
#include <utility>

namespace pellion::records {

// Why a store operation did not happen. Unreachable means the database could not be reached
// (or the connection broke): the same operation may succeed later. Failed means the database
// answered with a refusal: repeating it will not help.
enum class StoreErrorKind { Unreachable, Failed };

struct StoreError {
    StoreErrorKind kind = StoreErrorKind::Failed;
    std::string message;  // in the operator's words, with the database's own text appended
};

struct Done {};

// A value, or the error that says why there is none.
template <class T = Done>
class StoreResult {
  public:
    StoreResult(T value) : value_(std::move(value)) {}  // NOLINT: implicit on purpose
    StoreResult(StoreError error) : error_(std::move(error)) {}

    static StoreResult failure(std::string message) {
        return StoreError{StoreErrorKind::Failed, std::move(message)};
    }
    static StoreResult unreachable(std::string message) {
        return StoreError{StoreErrorKind::Unreachable, std::move(message)};
    }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const { return *value_; }
    T& value() { return *value_; }
    const StoreError& error() const { return error_; }
    bool isUnreachable() const { return !ok() && error_.kind == StoreErrorKind::Unreachable; }

  private:
    std::optional<T> value_;
    StoreError error_;
};

}  // namespace pellion::records
