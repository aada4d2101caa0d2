#include "ui/CInPlaceCombo.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>

namespace ListCtrlEx {

CInPlaceCombo::CInPlaceCombo(QWidget* parent) : InPlaceEditor(IDC_INPLACE_COMBO, parent) {
    setObjectName(QStringLiteral("inPlaceCombo"));
    setEditable(false);
    setFocusPolicy(Qt::StrongFocus);
    setMaxVisibleItems(12);
    hide();
}

bool CInPlaceCombo::ShowInPlaceCombo(const QRect& cellRect, CListCtrlEx* list,
                                     const QStringList& items, const QString& text, int row,
                                     int column) {
    return OpenOnCell(list, row, column, text, [&] {
        items_ = items;
        setGeometry(cellRect.left(), cellRect.top() - 3, cellRect.width(), cellRect.height() + 6);
        clear();
        addItems(items_);
        SelectCellText(text);
    });
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
    if (!TakeEndKey(event)) {
        QComboBox::keyPressEvent(event);
    }
}

void CInPlaceCombo::hidePopup() {
    QComboBox::hidePopup();
    if (!Editing()) {
        return;
    }
    // The chosen item becomes current only after the popup has closed: end the edit after.
    QTimer::singleShot(0, this, &CInPlaceCombo::EndEdit);
}

void CInPlaceCombo::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    // Its own drop-down list taking the focus (on some platforms by activating a window of
    // its own) does not end the edit; closing that list does.
    if (event->reason() == Qt::PopupFocusReason || view()->isVisible() || !Editing()) {
        return;
    }
    CommitEdit();
}

}  // namespace ListCtrlEx
