#pragma once

#include <QValidator>

namespace pellion {

// Refuses typed or pasted text holding a line break: the boxes it guards are saved one value
// a line in the settings file.
class SingleLineValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*position*/) const override {
        return input.contains(QLatin1Char('\n')) || input.contains(QLatin1Char('\r')) ? Invalid
                                                                                      : Acceptable;
    }
};

}  // namespace pellion
