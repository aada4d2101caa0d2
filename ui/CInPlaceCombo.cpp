#include "ui/CInPlaceCombo.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>

#include "ui/CListCtrlEx.h"
#include "ui/ListExNotify.h"

namespace ListCtrlEx {

namespace {

QPointer<CInPlaceCombo>& instance() {
    static QPointer<CInPlaceCombo> combo;
    return combo;
}

}  // namespace

CInPlaceCombo* CInPlaceCombo::GetInPlaceCombo() {
    QPointer<CInPlaceCombo>& combo = instance();
    if (combo.isNull()) {
        combo = new CInPlaceCombo();
    }
    return combo.data();
}

void CInPlaceCombo::DeleteInPlaceCombo() {
    QPointer<CInPlaceCombo>& combo = instance();
    if (!combo.isNull()) {
        combo->open_ = false;  // no end-of-edit from a dying editor
        delete combo.data();
    }
    combo = nullptr;
}

bool CInPlaceCombo::Exists() {
    return !instance().isNull();
}

CInPlaceCombo::CInPlaceCombo(QWidget* parent) : QComboBox(parent) {
    setObjectName(QStringLiteral("inPlaceCombo"));
    setEditable(false);
    setFocusPolicy(Qt::StrongFocus);
    setMaxVisibleItems(12);
    hide();
}

bool CInPlaceCombo::ShowInPlaceCombo(const QRect& cellRect, CListCtrlEx* list,
                                     const QStringList& items, const QString& text, int row,
                                     int column) {
    if (list == nullptr) {
        return false;
    }
    if (open_) {
        return true;  // still open or closing: it keeps its cell
    }
    list_ = list;
    row_ = row;
    column_ = column;
    slot_ = list->SlotOfRow(row);
    cancelled_ = false;
    committed_ = false;
    items_ = items;
    savedText_ = text;

    if (parentWidget() != list->viewport()) {
        setParent(list->viewport());
    }
    setFont(list->font());
    setGeometry(cellRect.left(), cellRect.top() - 3, cellRect.width(), cellRect.height() + 6);
    clear();
    addItems(items_);
    SelectCellText(text);
    open_ = true;
    show();
    raise();
    setFocus(Qt::OtherFocusReason);
    return true;
}

void CInPlaceCombo::SelectCellText(const QString& text) {
    if (text.isEmpty()) {
        setCurrentIndex(-1);
        return;
    }
    int index = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        index = findText(text, Qt::MatchFixedString);
    }
    if (index < 0) {
        index = findText(text, Qt::MatchStartsWith);
    }
    setCurrentIndex(index);
}

void CInPlaceCombo::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            cancelled_ = true;
            [[fallthrough]];
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Taken here so that the dialog's default button never sees it.
            event->accept();
            EndEdit();
            return;
        default:
            QComboBox::keyPressEvent(event);
    }
}

void CInPlaceCombo::hidePopup() {
    QComboBox::hidePopup();
    if (!open_ || committed_) {
        return;
    }
    // The chosen item becomes current only after the popup has closed: end the edit after.
    QTimer::singleShot(0, this, &CInPlaceCombo::EndEdit);
}

void CInPlaceCombo::EndEdit() {
    if (!open_ || committed_) {
        return;
    }
    if (!list_.isNull()) {
        list_->setFocus(Qt::OtherFocusReason);
    }
    // Without an active window no focus change is delivered; the edit ends all the same.
    if (open_ && !committed_) {
        CommitEdit();
    }
}

void CInPlaceCombo::Discard() {
    if (!open_ || committed_) {
        return;
    }
    committed_ = true;
    if (hasFocus() && !list_.isNull()) {
        list_->setFocus(Qt::OtherFocusReason);
    }
    CloseWindow();
}

void CInPlaceCombo::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    // Its own drop-down list taking the focus (on some platforms by activating a window of
    // its own) does not end the edit; closing that list does.
    if (event->reason() == Qt::PopupFocusReason || view()->isVisible() || !open_ || committed_) {
        return;
    }
    CommitEdit();
}

void CInPlaceCombo::CommitEdit() {
    committed_ = true;
    EndEditInfo info;
    info.row = row_;
    info.column = column_;
    info.text = cancelled_ ? savedText_ : currentText();
    info.cancelled = cancelled_;
    info.editorId = IDC_INPLACE_COMBO;
    info.slot = slot_;
    if (!list_.isNull()) {
        list_->OnEndLabelEdit(info);
    }
    QTimer::singleShot(0, this, &CInPlaceCombo::CloseWindow);
}

void CInPlaceCombo::CloseWindow() {
    if (!open_) {
        return;
    }
    open_ = false;
    hide();
}

}  // namespace ListCtrlEx
