#pragma once

#include <QKeyEvent>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "ui/CListCtrlEx.h"
#include "ui/ListExNotify.h"

namespace ListCtrlEx {

// What every editor placed over a list cell shares. One `Editor` object serves every list of
// the process; its window is open from OpenOnCell until the edit has ended and the queued
// close has run, so that the end-of-edit notice is handled before the window goes. Enter and
// Escape end the edit (Escape writes the old text back) and never reach the dialog around it.
template <class Editor, class Widget>
class InPlaceEditor : public Widget {
  public:
    // The process-wide object, created on first use without a window.
    static Editor* Instance() {
        QPointer<Editor>& editor = instanceSlot();
        if (editor.isNull()) {
            editor = new Editor();
        }
        return editor.data();
    }
    // Deletes the process-wide object, if any; the next Instance creates a new one.
    static void DeleteInstance() {
        QPointer<Editor>& editor = instanceSlot();
        if (!editor.isNull()) {
            editor->open_ = false;  // no end-of-edit from a dying editor
            delete editor.data();
        }
        editor = nullptr;
    }
    static bool Exists() { return !instanceSlot().isNull(); }

    bool IsOpen() const { return open_; }
    // The list the editor was last opened on.
    CListCtrlEx* List() const { return list_.data(); }
    int Row() const { return row_; }
    int Column() const { return column_; }
    // The cell's text when the edit began: what Escape writes back.
    const QString& SavedText() const { return savedText_; }

    // Ends an open edit now, as Enter does (commits unless Escape was pressed).
    void EndEdit() {
        if (!Editing()) {
            return;
        }
        if (!list_.isNull()) {
            list_->setFocus(Qt::OtherFocusReason);
        }
        // Without an active window no focus change is delivered; the edit ends all the same.
        if (Editing()) {
            CommitEdit();
        }
    }

    // Closes an open edit without writing anything (its row is gone).
    void Discard() {
        if (!Editing()) {
            return;
        }
        committed_ = true;
        if (this->hasFocus() && !list_.isNull()) {
            list_->setFocus(Qt::OtherFocusReason);
        }
        CloseWindow();
    }

  protected:
    InPlaceEditor(int editorId, QWidget* parent) : Widget(parent), editorId_(editorId) {}

    // The text a commit writes into the cell.
    virtual QString EditedText() const = 0;

    // Opens the window over a cell of `list`; `fill` places and loads it. While a window is
    // still open or closing nothing is moved or reloaded. Returns true when a window is open.
    template <class Fill>
    bool OpenOnCell(CListCtrlEx* list, int row, int column, const QString& text, Fill fill) {
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
        savedText_ = text;
        cancelled_ = false;
        committed_ = false;

        if (this->parentWidget() != list->viewport()) {
            this->setParent(list->viewport());
        }
        this->setFont(list->font());
        fill();
        open_ = true;
        this->show();
        this->raise();
        this->setFocus(Qt::OtherFocusReason);
        return true;
    }

    // Enter and Escape end the edit; true when `event` was one of them and is taken.
    bool TakeEndKey(QKeyEvent* event) {
        switch (event->key()) {
            case Qt::Key_Escape:
                cancelled_ = true;
                [[fallthrough]];
            case Qt::Key_Return:
            case Qt::Key_Enter:
                // Taken here so that the dialog's default button never sees it.
                event->accept();
                EndEdit();
                return true;
            default:
                return false;
        }
    }

    // An edit is open and has not yet been written or discarded.
    bool Editing() const { return open_ && !committed_; }

    void CommitEdit() {
        committed_ = true;
        EndEditInfo info;
        info.row = row_;
        info.column = column_;
        info.text = cancelled_ ? savedText_ : EditedText();
        info.cancelled = cancelled_;
        info.editorId = editorId_;
        info.slot = slot_;
        if (!list_.isNull()) {
            list_->OnEndLabelEdit(info);
        }
        QTimer::singleShot(0, this, [this] { CloseWindow(); });
    }

  private:
    static QPointer<Editor>& instanceSlot() {
        static QPointer<Editor> editor;
        return editor;
    }

    void CloseWindow() {
        if (!open_) {
            return;
        }
        open_ = false;
        this->hide();
    }

    const int editorId_;
    QPointer<CListCtrlEx> list_;
    int row_ = -1;
    int column_ = -1;
    int slot_ = -1;  // the row's stable key: a sort while editing does not misdirect the text
    QString savedText_;
    bool cancelled_ = false;
    bool open_ = false;
    bool committed_ = false;
};

}  // namespace ListCtrlEx
