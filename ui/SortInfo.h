#pragma once

namespace ListCtrlEx {

// How a header click orders the rows by a column.
enum class SortKind : int {
    Text = 0,     // character codes in order, case-sensitive
    Numeric = 1,  // integer values when both texts are numeric, otherwise as Text
};

struct SortInfo {
    SortKind sortKind = SortKind::Text;
    bool ascending = true;  // the first click sorts descending: it flips this before sorting
};

}  // namespace ListCtrlEx
