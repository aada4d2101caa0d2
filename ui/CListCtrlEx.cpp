#include "ui/CListCtrlEx.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStyleHints>
#include <algorithm>
#include <numeric>
#include <vector>

#include "ui/CInPlaceCombo.h"
#include "ui/CInPlaceEdit.h"
#include "ui/CListCtrlExSortHead.h"
#include "ui/CellDelegate.h"
#include "ui/CellPainter.h"
#include "ui/TextCompare.h"

namespace ListCtrlEx {

namespace {

constexpr int kSlotRole = Qt::UserRole + 1;
constexpr int kItemDataRole = Qt::UserRole + 2;
constexpr int kFormatRole = Qt::UserRole + 3;

Qt::Alignment headingAlignment(ColumnFormat format) {
    switch (format) {
        case ColumnFormat::Right:
            return Qt::AlignRight | Qt::AlignVCenter;
        case ColumnFormat::Center:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        case ColumnFormat::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

QTableWidgetItem* newItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

}  // namespace

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTableWidget(parent) {
    header_ = new CListCtrlExSortHead(this);
    setHorizontalHeader(header_);
    header_->setSectionsClickable(true);
    header_->setHighlightSections(false);
    header_->setStretchLastSection(false);
    connect(header_, &QHeaderView::sectionClicked, this, &CListCtrlEx::OnColumnClick);

    setItemDelegate(new CellDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setShowGrid(true);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
}

CListCtrlEx::~CListCtrlEx() {
    // The editors are shared by the whole process and may sit on this list's viewport; they
    // go first, while the list is still whole, so that no late commit reaches a dying list.
    CInPlaceCombo::DeleteInPlaceCombo();
    CInPlaceEdit::DeleteInPlaceEdit();
}

// ---- Columns

int CListCtrlEx::InsertColumn(int column, const QString& heading, int width, CellKind kind,
                              ColumnFormat format, SortKind sortKind, int /*subItem*/) {
    kinds_[column] = kind;
    SortEntry(column).sortKind = sortKind;
    if (column < 0) {
        return -1;
    }
    const int index = std::min(column, columnCount());
    insertColumn(index);
    QTableWidgetItem* headingItem = new QTableWidgetItem(heading);
    headingItem->setTextAlignment(headingAlignment(format));
    headingItem->setData(kFormatRole, static_cast<int>(format));
    setHorizontalHeaderItem(index, headingItem);
    setColumnWidth(index, width);
    return index;
}

CellKind CListCtrlEx::GetColumnType(int column) {
    return kinds_.try_emplace(column, CellKind::Text).first->second;
}

ColumnFormat CListCtrlEx::GetColumnFormat(int column) const {
    const QTableWidgetItem* headingItem =
        column >= 0 && column < columnCount() ? horizontalHeaderItem(column) : nullptr;
    if (headingItem == nullptr || !headingItem->data(kFormatRole).isValid()) {
        return ColumnFormat::Center;
    }
    return static_cast<ColumnFormat>(headingItem->data(kFormatRole).toInt());
}

SortInfo CListCtrlEx::GetSortInfo(int column) const {
    const auto it = sortInfo_.find(column);
    return it != sortInfo_.end() ? it->second : SortInfo{};
}

SortInfo& CListCtrlEx::SortEntry(int column) {
    return sortInfo_.try_emplace(column).first->second;
}

// ---- Rows

int CListCtrlEx::InsertItem(int row, const QString& text, int slot) {
    if (row < 0) {
        return -1;
    }
    const int count = rowCount();
    const int index = std::min(row, count);
    if (slot < 0) {
        slot = nextSlot_;
    }
    nextSlot_ = std::max(nextSlot_, slot + 1);

    // Records are keyed by position: rows below the new one move down with their records.
    if (index < count && !cells_.empty()) {
        std::map<CellKey, CellInfo> shifted;
        for (auto& [key, info] : cells_) {
            const int r = key.first >= index && key.first < count ? key.first + 1 : key.first;
            shifted.emplace(CellKey{r, key.second}, std::move(info));
        }
        cells_ = std::move(shifted);
    }

    insertRow(index);
    QTableWidgetItem* first = newItem(text);
    first->setData(kSlotRole, slot);
    setItem(index, 0, first);
    return index;
}

QTableWidgetItem* CListCtrlEx::EnsureItem(int row, int column) {
    QTableWidgetItem* existing = item(row, column);
    if (existing != nullptr) {
        return existing;
    }
    QTableWidgetItem* created = newItem(QString());
    setItem(row, column, created);
    return created;
}

bool CListCtrlEx::SetItemText(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) {
        return false;
    }
    EnsureItem(row, column)->setText(text);
    return true;
}

QString CListCtrlEx::GetItemText(int row, int column) const {
    const QTableWidgetItem* found = item(row, column);
    return found != nullptr ? found->text() : QString();
}

bool CListCtrlEx::SetItemData(int row, qintptr data) {
    if (row < 0 || row >= rowCount() || columnCount() == 0) {
        return false;
    }
    EnsureItem(row, 0)->setData(kItemDataRole, QVariant::fromValue<qlonglong>(data));
    return true;
}

qintptr CListCtrlEx::GetItemData(int row) const {
    const QTableWidgetItem* first = item(row, 0);
    return first != nullptr ? static_cast<qintptr>(first->data(kItemDataRole).toLongLong()) : 0;
}

bool CListCtrlEx::DeleteAllItems() {
    // Slots restart with the new rows: an edit still open belongs to none of them.
    if (CInPlaceCombo::Exists() && CInPlaceCombo::GetInPlaceCombo()->List() == this) {
        CInPlaceCombo::GetInPlaceCombo()->Discard();
    }
    if (CInPlaceEdit::Exists() && CInPlaceEdit::GetInPlaceEdit()->List() == this) {
        CInPlaceEdit::GetInPlaceEdit()->Discard();
    }
    setRowCount(0);
    cells_.clear();
    nextSlot_ = 0;
    return true;
}

// ---- Records

CellInfo& CListCtrlEx::GetCell(int row, int column) {
    if (cells_.empty()) {
        for (int r = 0; r < rowCount(); ++r) {
            for (int j = 0; j < columnCount(); ++j) {
                cells_.emplace(CellKey{r, j}, CellInfo::forColumn(j));
            }
        }
    }
    return cells_.try_emplace(CellKey{row, column}, CellInfo::forColumn(column)).first->second;
}

const CellInfo* CListCtrlEx::FindCell(int row, int column) const {
    const auto it = cells_.find(CellKey{row, column});
    return it != cells_.end() ? &it->second : nullptr;
}

void CListCtrlEx::SetCheck(int row, int column, bool checked) {
    const CellKind kind = GetColumnType(column);
    QRect rect;
    if (kind == CellKind::CheckBox) {
        GetCell(row, column).checked = checked;
        if (!GetCellRect(row, column, rect)) {
            return;
        }
        RepaintCell(row, column);
        emit listExCheckChanged(this, CellCheckInfo{row, column, checked ? 1 : 0, SlotOfRow(row)});
        return;
    }
    if (kind != CellKind::Radio) {
        return;
    }
    const int group = GetCell(row, column).group;
    for (auto& [key, info] : cells_) {
        const auto kindIt = kinds_.find(key.second);
        if (kindIt == kinds_.end() || kindIt->second != CellKind::Radio) {
            continue;
        }
        if (info.group == group && info.checked) {
            info.checked = false;
            RepaintCell(key.first, key.second);
        }
    }
    GetCell(row, column).checked = true;
    RepaintCell(row, column);
    emit listExCheckChanged(this, CellCheckInfo{row, column, 1, SlotOfRow(row)});
}

void CListCtrlEx::SetProgressPos(int row, int column, uint32_t position) {
    GetCell(row, column).progressPos = position;
    RepaintCell(row, column);
}

void CListCtrlEx::SetProgressMax(int row, int column, uint32_t maximum) {
    GetCell(row, column).progressMax = maximum;
    RepaintCell(row, column);
}

void CListCtrlEx::RepaintCell(int row, int column) {
    QRect rect;
    if (GetCellRect(row, column, rect)) {
        viewport()->repaint(rect);
    }
}

// ---- Geometry

bool CListCtrlEx::GetCellRect(int row, int column, QRect& rect) const {
    const QModelIndex index = model()->index(row, column);
    if (!index.isValid()) {
        return false;
    }
    rect = visualRect(index);
    return true;
}

CellPos CListCtrlEx::HitTestCell(const QPoint& viewportPoint) const {
    const QModelIndex index = indexAt(viewportPoint);
    if (!index.isValid()) {
        return {};
    }
    QRect rect;
    if (!GetCellRect(index.row(), index.column(), rect) || !rect.contains(viewportPoint)) {
        return {};  // a grid line belongs to no cell
    }
    return CellPos{index.row(), index.column(), SlotOfRow(index.row())};
}

bool CListCtrlEx::IsValidHit(const CellPos& hit) const {
    return hit.row >= 0 && hit.column >= 0 && hit.row < rowCount() && hit.column < columnCount();
}

// ---- Slots

int CListCtrlEx::RowOfSlot(int slot) const {
    if (slot < 0) {
        return -1;
    }
    for (int r = 0; r < rowCount(); ++r) {
        const QTableWidgetItem* first = item(r, 0);
        if (first != nullptr && first->data(kSlotRole).isValid() &&
            first->data(kSlotRole).toInt() == slot) {
            return r;
        }
    }
    return -1;
}

int CListCtrlEx::SlotOfRow(int row) const {
    const QTableWidgetItem* first = row >= 0 && row < rowCount() ? item(row, 0) : nullptr;
    if (first == nullptr || !first->data(kSlotRole).isValid()) {
        return -1;
    }
    return first->data(kSlotRole).toInt();
}

bool CListCtrlEx::SetSlotText(int slot, int column, const QString& text) {
    const int row = RowOfSlot(slot);
    return row >= 0 && SetItemText(row, column, text);
}

QString CListCtrlEx::GetSlotText(int slot, int column) const {
    const int row = RowOfSlot(slot);
    return row >= 0 ? GetItemText(row, column) : QString();
}

bool CListCtrlEx::SetSlotCheck(int slot, int column, bool checked) {
    const int row = RowOfSlot(slot);
    if (row < 0) {
        return false;
    }
    SetCheck(row, column, checked);
    return true;
}

bool CListCtrlEx::SetSlotProgressPos(int slot, int column, uint32_t position) {
    const int row = RowOfSlot(slot);
    if (row < 0) {
        return false;
    }
    SetProgressPos(row, column, position);
    return true;
}

bool CListCtrlEx::SetSlotProgressMax(int slot, int column, uint32_t maximum) {
    const int row = RowOfSlot(slot);
    if (row < 0) {
        return false;
    }
    SetProgressMax(row, column, maximum);
    return true;
}

bool CListCtrlEx::SetSlotProgressFill(int slot, int column, const QColor& fill) {
    const int row = RowOfSlot(slot);
    if (row < 0) {
        return false;
    }
    GetCell(row, column).progressFill = fill;
    RepaintCell(row, column);
    return true;
}

bool CListCtrlEx::SetSlotToolTip(int slot, int column, const QString& text) {
    const int row = RowOfSlot(slot);
    if (row < 0 || column < 0 || column >= columnCount()) {
        return false;
    }
    EnsureItem(row, column)->setToolTip(text);
    return true;
}

CellInfo* CListCtrlEx::GetSlotCell(int slot, int column) {
    const int row = RowOfSlot(slot);
    return row >= 0 ? &GetCell(row, column) : nullptr;
}

void CListCtrlEx::SetImageList(const QList<QPixmap>& images) {
    images_ = images;
    viewport()->update();
}

// ---- Mouse

void CListCtrlEx::mousePressEvent(QMouseEvent* event) {
    if (forwardingDoubleClick_) {
        QTableWidget::mousePressEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (IsSecondPressOfDoubleClick(event)) {
            QTableWidget::mousePressEvent(event);  // the double click follows and is reported
            return;
        }
        OnLeftButtonDown(point, event->modifiers(), event);
        return;
    }
    if (event->button() == Qt::RightButton) {
        emit listExRClick(this, HitTestCell(point));
    }
    QTableWidget::mousePressEvent(event);
}

bool CListCtrlEx::IsSecondPressOfDoubleClick(const QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    const ulong interval =
        static_cast<ulong>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    const int distance = QGuiApplication::styleHints()->mouseDoubleClickDistance();
    const bool second = hasLastPress_ && event->timestamp() - lastPressTime_ < interval &&
                        (point - lastPressPos_).manhattanLength() <= distance;
    // Like the platform's own detection: a third press starts afresh.
    hasLastPress_ = !second;
    lastPressTime_ = event->timestamp();
    lastPressPos_ = point;
    return second;
}

void CListCtrlEx::OnLeftButtonDown(const QPoint& point, Qt::KeyboardModifiers modifiers,
                                   QMouseEvent* event) {
    const CellPos hit = HitTestCell(point);
    // The default handling selects the row and takes the focus, which ends an open editor.
    QTableWidget::mousePressEvent(event);
    if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier)) {
        return;
    }
    if (IsValidHit(hit) && GetCell(hit.row, hit.column).enabled) {
        const CellKind kind = GetColumnType(hit.column);
        if (kind == CellKind::CheckBox || kind == CellKind::Radio) {
            ClickCheckCell(hit, point);
        } else if (kind == CellKind::Combo || kind == CellKind::Edit) {
            OpenCellEditor(kind, hit.row, hit.column);
        }
    }
    emit listExClick(this, hit);
}

void CListCtrlEx::ClickCheckCell(const CellPos& hit, const QPoint& point) {
    QRect rect;
    if (!GetCellRect(hit.row, hit.column, rect) || !checkHotZone(rect).contains(point)) {
        return;
    }
    SetCheck(hit.row, hit.column, !GetCell(hit.row, hit.column).checked);
    // A handler of the change may have emptied the list: read the state afresh.
    const CellInfo* now = FindCell(hit.row, hit.column);
    const bool checked = now != nullptr && now->checked;
    emit listExCheckClick(this, CellCheckInfo{hit.row, hit.column, checked ? 2 : 0, hit.slot});
}

void CListCtrlEx::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QTableWidget::mouseDoubleClickEvent(event);
        return;
    }
    const CellPos hit = HitTestCell(event->position().toPoint());
    if (IsValidHit(hit) && GetCell(hit.row, hit.column).enabled) {
        viewport()->repaint(visualRect(model()->index(hit.row, 0))
                                .united(visualRect(model()->index(hit.row, columnCount() - 1))));
    }
    emit listExDblClk(this, hit);
    // The default handling may replay the click as a press; that press is not a new click.
    forwardingDoubleClick_ = true;
    QTableWidget::mouseDoubleClickEvent(event);
    forwardingDoubleClick_ = false;
}

// ---- Editors

void CListCtrlEx::OpenCellEditor(CellKind kind, int row, int column) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) {
        return;
    }
    scrollTo(model()->index(row, column));
    const QString text = GetItemText(row, column);
    QRect rect;
    if (!GetCellRect(row, column, rect)) {
        return;
    }
    emit listExBeginEdit(this, CellPos{row, column, SlotOfRow(row)});
    // The handler may have changed the list; the row must still be there.
    if (row >= rowCount() || column >= columnCount() || !GetCellRect(row, column, rect)) {
        return;
    }
    const CellInfo& info = GetCell(row, column);
    if (kind == CellKind::Combo) {
        CInPlaceCombo::GetInPlaceCombo()->ShowInPlaceCombo(rect, this, info.items, text, row,
                                                           column);
    } else {
        CInPlaceEdit::GetInPlaceEdit()->ShowInPlaceEdit(row, column, info.allowedChars, text, rect,
                                                        this);
    }
}

void CListCtrlEx::OnEndLabelEdit(const EndEditInfo& info) {
    EndEditInfo delivered = info;
    // The editor names the row it opened on; a sort since then has moved that row.
    if (info.slot >= 0) {
        delivered.row = RowOfSlot(info.slot);
    }
    if (delivered.row < 0) {
        return;  // the row is gone (the list was emptied while the editor was open)
    }
    SetItemText(delivered.row, delivered.column, delivered.text);
    emit listExEndEdit(this, delivered);
}

// ---- Sorting

void CListCtrlEx::EndOpenEdits() {
    // An editor left open would stay over a position that now shows another row.
    if (CInPlaceCombo::Exists() && CInPlaceCombo::GetInPlaceCombo()->List() == this) {
        CInPlaceCombo::GetInPlaceCombo()->EndEdit();
    }
    if (CInPlaceEdit::Exists() && CInPlaceEdit::GetInPlaceEdit()->List() == this) {
        CInPlaceEdit::GetInPlaceEdit()->EndEdit();
    }
}

void CListCtrlEx::OnColumnClick(int column) {
    if ((options & OptSortOnClick) == 0) {
        return;
    }
    EndOpenEdits();
    if (sortInfo_.empty()) {
        for (int j = 0; j < columnCount(); ++j) {
            sortInfo_.try_emplace(j);
        }
    }
    SortInfo& entry = SortEntry(column);
    entry.ascending = !entry.ascending;
    const SortKind kind = entry.sortKind;
    const bool ascending = entry.ascending;

    const int n = rowCount();
    std::vector<QString> keys(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) {
        keys[static_cast<size_t>(r)] = GetItemText(r, column);
    }
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c =
            compareForSort(kind, keys[static_cast<size_t>(a)], keys[static_cast<size_t>(b)]);
        return ascending ? c < 0 : c > 0;
    });
    MoveRows(order);
}

void CListCtrlEx::MoveRows(const std::vector<int>& newOrder) {
    const int n = static_cast<int>(newOrder.size());
    const int columns = columnCount();
    const int currentSlot = SlotOfRow(currentRow());
    const bool currentSelected =
        currentSlot >= 0 && selectionModel()->isRowSelected(currentRow(), QModelIndex());

    std::vector<std::vector<QTableWidgetItem*>> taken(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) {
        auto& rowItems = taken[static_cast<size_t>(r)];
        rowItems.resize(static_cast<size_t>(columns));
        for (int c = 0; c < columns; ++c) {
            rowItems[static_cast<size_t>(c)] = takeItem(r, c);
        }
    }
    std::vector<int> newRowOf(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int old = newOrder[static_cast<size_t>(i)];
        newRowOf[static_cast<size_t>(old)] = i;
        for (int c = 0; c < columns; ++c) {
            QTableWidgetItem* moved = taken[static_cast<size_t>(old)][static_cast<size_t>(c)];
            if (moved != nullptr) {
                setItem(i, c, moved);
            }
        }
    }

    // Every record goes with its row; records of rows that do not exist keep their keys.
    std::map<CellKey, CellInfo> carried;
    for (auto& [key, info] : cells_) {
        const bool inList = key.first >= 0 && key.first < n;
        const int row = inList ? newRowOf[static_cast<size_t>(key.first)] : key.first;
        carried.emplace(CellKey{row, key.second}, std::move(info));
    }
    cells_ = std::move(carried);

    // The selection follows its row as well.
    if (currentSlot >= 0) {
        const QModelIndex current =
            model()->index(RowOfSlot(currentSlot), std::max(currentColumn(), 0));
        selectionModel()->setCurrentIndex(
            current, currentSelected
                         ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                         : QItemSelectionModel::NoUpdate);
    }
    viewport()->update();
}

}  // namespace ListCtrlEx
