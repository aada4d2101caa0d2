#pragma once

namespace ListCtrlEx {

// What a column's cells show and how a left click on them behaves.
enum class CellKind : int {
    Text = 0,
    CheckBox = 1,
    Radio = 2,
    Combo = 3,
    Edit = 4,
    Progress = 5,
};

// Horizontal placement of a column's heading and texts.
enum class ColumnFormat : int {
    Left = 0,
    Right = 1,
    Center = 2,
};

}  // namespace ListCtrlEx
