#pragma once

#include <QMetaType>
#include <QString>

namespace ListCtrlEx {

// Numbers of the notifications the list sends to its owner; each has a signal of CListCtrlEx.
enum ListExNotification : int {
    WM_LISTEX_CLICK = 9025,
    WM_LISTEX_DBLCLK = 9026,
    WM_LISTEX_RCLICK = 9027,
    WM_LISTEX_CHECKCHANGED = 9028,
    WM_LISTEX_CHECKCLICK = 9030,
    WM_LISTEX_ENDEDIT = 9032,
    WM_LISTEX_BEGINEDIT = 9033,
};

// A cell position; -1, -1 when no cell was hit. `slot` is the stable key of the row (-1 when
// no row was hit), unaffected by sorting.
struct CellPos {
    int row = -1;
    int column = -1;
    int slot = -1;
};

// A check-box or radio cell after a change. `checked` is 0 or 1 for a change made by
// SetCheck, and 2 (now checked) or 0 (now clear) for a click of the operator.
struct CellCheckInfo {
    int row = -1;
    int column = -1;
    int checked = 0;
    int slot = -1;
};

// The outcome of an in-place editor: the text now written into the cell.
struct EndEditInfo {
    int row = -1;
    int column = -1;
    QString text;
    bool cancelled = false;  // Escape: `text` is the text the cell had when the editor opened
    int editorId = 0;        // IDC_INPLACE_COMBO or IDC_INPLACE_EDIT
    int slot = -1;
};

constexpr int IDC_INPLACE_EDIT = 1000001;
constexpr int IDC_INPLACE_COMBO = 1000002;

}  // namespace ListCtrlEx

Q_DECLARE_METATYPE(ListCtrlEx::CellPos)
Q_DECLARE_METATYPE(ListCtrlEx::CellCheckInfo)
Q_DECLARE_METATYPE(ListCtrlEx::EndEditInfo)
