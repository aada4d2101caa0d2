#pragma once

#include <QString>
#include <optional>

#include "engine/BootSequence.h"
#include "engine/OperatorLanguage.h"

class QWidget;

namespace pellion {

// A station's boot entry and exit as the operator types them.
struct BootSequenceTexts {
    QString entry;
    QString exit;
};

// What is wrong with the texts, in the operator's words naming the field and the character;
// empty when both are valid.
QString bootSequenceProblem(const BootSequenceTexts& texts, OperatorLanguage language);
// The texts parsed; none and Go for a text that is not valid.
BootSequences parseBootSequenceTexts(const BootSequenceTexts& texts);

// A modal dialog with both fields, their presets and what a custom sequence may hold. It stays
// open, saying what is wrong and where, until the texts are valid or the operator cancels
// (none).
std::optional<BootSequenceTexts> askBootSequences(QWidget* parent, const BootSequenceTexts& current,
                                                  OperatorLanguage language);

}  // namespace pellion
