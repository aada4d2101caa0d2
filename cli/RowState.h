#pragma once

#include <string>

#include "engine/OperatorLanguage.h"

namespace pellion::cli {

// What a port's row is doing, in a word of the operator's language.
enum class RowState {
    Closed,
    Identifying,
    NoModel,
    Ready,
    Programming,
    Verifying,
    Done,
    Failed,
    Stopped
};

const char* RowStateText(RowState state, OperatorLanguage language);

// `text` followed by blanks up to `columns` terminal columns (Chinese characters take two); a
// longer text is left whole.
std::string PaddedToColumns(const std::string& text, std::size_t columns);

}  // namespace pellion::cli
