#pragma once

#include <QList>
#include <QPixmap>
#include <QTableWidget>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "ui/CellInfo.h"
#include "ui/CellKind.h"
#include "ui/ListExNotify.h"
#include "ui/SortInfo.h"

namespace ListCtrlEx {

class CListCtrlExSortHead;

// The port list: a table whose cells each carry a CellInfo record and whose columns each have a
// CellKind. It paints check boxes, radio buttons, combo buttons and progress bars itself, turns
// clicks into check changes or in-place editors, sorts on a header click and reports to its
// owner through the listEx* signals.
//
// Rows are addressed in two ways. A row index is the row's current position and changes when
// the list is sorted. A slot is the stable key a row gets when it is inserted (by default the
// number of rows inserted before it since the list was last emptied); it travels with the row
// through every sort. Code that speaks about ports uses the slot operations, so a sort never
// shows one port's progress on another port's row.
class CListCtrlEx : public QTableWidget {
    Q_OBJECT

  public:
    // Bits of `options`.
    static constexpr uint32_t OptProgressPercent = 0x1;  // progress cells show "%.2f%%"
    static constexpr uint32_t OptSortOnClick = 0x2;      // a header click sorts the rows

    explicit CListCtrlEx(QWidget* parent = nullptr);
    ~CListCtrlEx() override;

    // Set by the owner; read at every paint and header click.
    uint32_t options = 0;

    // ---- Columns
    // Records the column's kind and sort kind under `column` (even when the column cannot be
    // inserted) and inserts it. Returns the index the column got, -1 when `column` < 0.
    int InsertColumn(int column, const QString& heading, int width, CellKind kind = CellKind::Text,
                     ColumnFormat format = ColumnFormat::Left, SortKind sortKind = SortKind::Text,
                     int subItem = -1);
    // The column's kind; a column never declared is recorded as Text.
    CellKind GetColumnType(int column);
    ColumnFormat GetColumnFormat(int column) const;
    int GetColumnCount() const { return columnCount(); }
    // The sort entry of a column ({Text, ascending} when it has none yet).
    SortInfo GetSortInfo(int column) const;

    // ---- Rows by current position
    // Inserts a row (clamped to 0..count) with `text` in column 0 and gives it `slot` as key;
    // slot -1 takes the number of rows inserted since the list was last emptied. Returns the
    // row index, -1 on failure.
    int InsertItem(int row, const QString& text, int slot = -1);
    bool SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    int GetItemCount() const { return rowCount(); }
    // Free per-row value of the owner; travels with the row through sorting.
    bool SetItemData(int row, qintptr data);
    qintptr GetItemData(int row) const;
    // Removes every row; the records go with them, column kinds and sort entries stay.
    bool DeleteAllItems();

    // The record of a cell, created with defaults when missing. Indices are not checked. The
    // reference stays valid until the next sort or DeleteAllItems.
    CellInfo& GetCell(int row, int column);
    // Check-box column: sets the state. Radio column: checks the cell and clears every other
    // checked cell of its group in all radio columns. Other kinds: nothing.
    void SetCheck(int row, int column, bool checked);
    void SetProgressPos(int row, int column, uint32_t position);
    void SetProgressMax(int row, int column, uint32_t maximum);

    // Cell rectangle in viewport coordinates; false when the cell does not exist.
    bool GetCellRect(int row, int column, QRect& rect) const;
    // The cell under a viewport point, -1/-1 when none.
    CellPos HitTestCell(const QPoint& viewportPoint) const;

    // ---- Rows by slot (stable through sorting)
    int RowOfSlot(int slot) const;  // -1 when no row has this slot
    int SlotOfRow(int row) const;   // -1 when the row does not exist
    bool SetSlotText(int slot, int column, const QString& text);
    QString GetSlotText(int slot, int column) const;
    bool SetSlotCheck(int slot, int column, bool checked);
    bool SetSlotProgressPos(int slot, int column, uint32_t position);
    bool SetSlotProgressMax(int slot, int column, uint32_t maximum);
    // The colour of the bar's filled part; an invalid colour restores the usual fill.
    bool SetSlotProgressFill(int slot, int column, const QColor& fill);
    // The text shown when the pointer rests on the cell; empty for none.
    bool SetSlotToolTip(int slot, int column, const QString& text);
    // The record of the slot's cell; nullptr when no row has this slot.
    CellInfo* GetSlotCell(int slot, int column);

    // Images drawn in Text, Edit and Progress cells whose `image` is >= 0.
    void SetImageList(const QList<QPixmap>& images);
    const QList<QPixmap>& ImageList() const { return images_; }

    CListCtrlExSortHead* SortHead() const { return header_; }

    // Sorts the rows by `column` as a header click does (when OptSortOnClick is set); an open
    // in-place editor of this list commits first.
    void OnColumnClick(int column);
    // Writes an in-place editor's outcome into its cell and reports listExEndEdit.
    void OnEndLabelEdit(const EndEditInfo& info);

  signals:
    void listExClick(ListCtrlEx::CListCtrlEx* list, ListCtrlEx::CellPos pos);                // 9025
    void listExDblClk(ListCtrlEx::CListCtrlEx* list, ListCtrlEx::CellPos pos);               // 9026
    void listExRClick(ListCtrlEx::CListCtrlEx* list, ListCtrlEx::CellPos pos);               // 9027
    void listExCheckChanged(ListCtrlEx::CListCtrlEx* list, ListCtrlEx::CellCheckInfo info);  // 9028
    void listExCheckClick(ListCtrlEx::CListCtrlEx* list, ListCtrlEx::CellCheckInfo info);    // 9030
    void listExEndEdit(ListCtrlEx::CListCtrlEx* list, ListCtrlEx::EndEditInfo info);         // 9032
    void listExBeginEdit(ListCtrlEx::CListCtrlEx* list, ListCtrlEx::CellPos pos);            // 9033

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    using CellKey = std::pair<int, int>;  // (row, column)

    bool IsSecondPressOfDoubleClick(const QMouseEvent* event);
    void OnLeftButtonDown(const QPoint& point, Qt::KeyboardModifiers modifiers, QMouseEvent* event);
    void ClickCheckCell(const CellPos& hit, const QPoint& point);
    void OpenCellEditor(CellKind kind, int row, int column);
    bool IsValidHit(const CellPos& hit) const;
    // Paints the cell now: a change must be visible before the next event is handled.
    void RepaintCell(int row, int column);
    QTableWidgetItem* EnsureItem(int row, int column);
    SortInfo& SortEntry(int column);
    void EndOpenEdits();
    void MoveRows(const std::vector<int>& newOrder);

    friend class CellDelegate;
    const CellInfo* FindCell(int row, int column) const;

    std::map<CellKey, CellInfo> cells_;
    std::map<int, CellKind> kinds_;
    std::map<int, SortInfo> sortInfo_;
    QList<QPixmap> images_;
    CListCtrlExSortHead* header_ = nullptr;
    int nextSlot_ = 0;
    bool forwardingDoubleClick_ = false;
    // The second press of a double click is not a click of its own (a check box toggles once).
    bool hasLastPress_ = false;
    ulong lastPressTime_ = 0;
    QPoint lastPressPos_;
};

}  // namespace ListCtrlEx
