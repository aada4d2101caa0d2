#include "ui/CInPlaceEdit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <algorithm>

#include "ui/CListCtrlEx.h"
#include "ui/ListExNotify.h"

namespace ListCtrlEx {

namespace {

QPointer<CInPlaceEdit>& instance() {
    static QPointer<CInPlaceEdit> edit;
    return edit;
}

}  // namespace

CInPlaceEdit* CInPlaceEdit::GetInPlaceEdit() {
    QPointer<CInPlaceEdit>& edit = instance();
    if (edit.isNull()) {
        edit = new CInPlaceEdit();
    }
    return edit.data();
}

void CInPlaceEdit::DeleteInPlaceEdit() {
    QPointer<CInPlaceEdit>& edit = instance();
    if (!edit.isNull()) {
        edit->open_ = false;  // no end-of-edit from a dying editor
        delete edit.data();
    }
    edit = nullptr;
}

bool CInPlaceEdit::Exists() {
    return !instance().isNull();
}

CInPlaceEdit::CInPlaceEdit(QWidget* parent) : QLineEdit(parent) {
    setObjectName(QStringLiteral("inPlaceEdit"));
    setFrame(false);
    setAcceptDrops(false);  // dropped text would pass around the filter
    hide();
}

bool CInPlaceEdit::ShowInPlaceEdit(int row, int column, const QString& allowedChars,
                                   const QString& text, const QRect& cellRect, CListCtrlEx* list) {
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
    allowed_ = allowedChars;
    initialText_ = text;
    cancelled_ = false;
    committed_ = false;

    if (parentWidget() != list->viewport()) {
        setParent(list->viewport());
    }
    setFont(list->font());
    setGeometry(cellRect);
    setText(initialText_);
    selectAll();
    open_ = true;
    show();
    raise();
    setFocus(Qt::OtherFocusReason);
    return true;
}

bool CInPlaceEdit::AcceptsText(const QString& text) const {
    if (allowed_.isEmpty()) {
        return true;
    }
    const QList<uint> allowed = allowed_.toUcs4();
    const QList<uint> chars = text.toUcs4();
    return std::all_of(chars.begin(), chars.end(), [&](uint c) { return allowed.contains(c); });
}

bool CInPlaceEdit::KeyPassesFilter(const QKeyEvent* event) const {
    if (allowed_.isEmpty()) {
        return true;
    }
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete ||
        event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut)) {
        return true;
    }
    // Keys without a character (arrows, Home, End) move the caret and are never filtered.
    return event->text().isEmpty() || AcceptsText(event->text());
}

void CInPlaceEdit::Refuse() {
    QApplication::beep();
    emit beeped();
}

void CInPlaceEdit::keyPressEvent(QKeyEvent* event) {
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
            break;
    }
    if (event->matches(QKeySequence::Paste)) {
        event->accept();
        PasteFiltered();
        return;
    }
    if (!KeyPassesFilter(event)) {
        event->accept();
        Refuse();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CInPlaceEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (!AcceptsText(event->commitString())) {
        event->accept();
        Refuse();
        return;
    }
    QLineEdit::inputMethodEvent(event);
}

void CInPlaceEdit::PasteFiltered() {
    if (allowed_.isEmpty()) {
        paste();
        return;
    }
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasText()) {
        return;
    }
    if (AcceptsText(data->text())) {
        paste();
    }
}

void CInPlaceEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, &CInPlaceEdit::PasteFiltered);
        }
    }
    menu->exec(event->globalPos());
    delete menu;
}

void CInPlaceEdit::mouseReleaseEvent(QMouseEvent* event) {
    // The middle button pastes the selection clipboard: same filter as any paste.
    if (event->button() == Qt::MiddleButton && !allowed_.isEmpty()) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (clipboard->supportsSelection() &&
            !AcceptsText(clipboard->text(QClipboard::Selection))) {
            event->accept();
            return;
        }
    }
    QLineEdit::mouseReleaseEvent(event);
}

void CInPlaceEdit::EndEdit() {
    if (!open_ || committed_) {
        return;
    }
    if (!list_.isNull()) {
        list_->setFocus(Qt::OtherFocusReason);
    }
    if (open_ && !committed_) {
        CommitEdit();
    }
}

void CInPlaceEdit::Discard() {
    if (!open_ || committed_) {
        return;
    }
    committed_ = true;
    if (hasFocus() && !list_.isNull()) {
        list_->setFocus(Qt::OtherFocusReason);
    }
    CloseWindow();
}

void CInPlaceEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Its own context menu taking the focus does not end the edit.
    if (event->reason() == Qt::PopupFocusReason || QApplication::activePopupWidget() != nullptr ||
        !open_ || committed_) {
        return;
    }
    CommitEdit();
}

void CInPlaceEdit::CommitEdit() {
    committed_ = true;
    EndEditInfo info;
    info.row = row_;
    info.column = column_;
    info.text = cancelled_ ? initialText_ : text();
    info.cancelled = cancelled_;
    info.editorId = IDC_INPLACE_EDIT;
    info.slot = slot_;
    if (!list_.isNull()) {
        list_->OnEndLabelEdit(info);
    }
    QTimer::singleShot(0, this, &CInPlaceEdit::CloseWindow);
}

void CInPlaceEdit::CloseWindow() {
    if (!open_) {
        return;
    }
    open_ = false;
    hide();
}

}  // namespace ListCtrlEx
