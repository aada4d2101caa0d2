#pragma once

#include <QValidator>

namespace pellion {

// Turns typed and pasted letters into capitals as they arrive; accepts everything else.
class UpperCaseValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override {
        (void)position;
        input = input.toUpper();
        return Acceptable;
    }
};

}  // namespace pellion
