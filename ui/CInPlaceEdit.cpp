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
#include <algorithm>

namespace ListCtrlEx {

CInPlaceEdit::CInPlaceEdit(QWidget* parent) : InPlaceEditor(IDC_INPLACE_EDIT, parent) {
    setObjectName(QStringLiteral("inPlaceEdit"));
    setFrame(false);
    setAcceptDrops(false);  // dropped text would pass around the filter
    hide();
}

bool CInPlaceEdit::ShowInPlaceEdit(int row, int column, const QString& allowedChars,
                                   const QString& text, const QRect& cellRect, CListCtrlEx* list) {
    return OpenOnCell(list, row, column, text, [&] {
        allowed_ = allowedChars;
        setGeometry(cellRect);
        setText(text);
        selectAll();
    });
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
    if (TakeEndKey(event)) {
        return;
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

void CInPlaceEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Its own context menu taking the focus does not end the edit.
    if (event->reason() == Qt::PopupFocusReason || QApplication::activePopupWidget() != nullptr ||
        !Editing()) {
        return;
    }
    CommitEdit();
}

}  // namespace ListCtrlEx
