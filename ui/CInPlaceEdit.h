#pragma once

#include <QLineEdit>
#include <QPointer>

namespace ListCtrlEx {

class CListCtrlEx;

// The single-line field placed over an Edit cell. One object serves every list of the
// process. It opens with the cell's text selected; Enter or the focus leaving commits, Escape
// writes the old text back. With a non-empty set of allowed characters, a typed character
// outside the set beeps and is dropped, and a paste containing one is refused silently.
class CInPlaceEdit : public QLineEdit {
    Q_OBJECT

  public:
    static CInPlaceEdit* GetInPlaceEdit();
    static void DeleteInPlaceEdit();
    static bool Exists();

    // Opens the editor over `cellRect` (viewport coordinates of `list`). While a window is still
    // open or closing nothing changes. Returns true when a window is open.
    bool ShowInPlaceEdit(int row, int column, const QString& allowedChars, const QString& text,
                         const QRect& cellRect, CListCtrlEx* list);

    bool IsOpen() const { return open_; }
    // The list the editor was last opened on.
    CListCtrlEx* List() const { return list_.data(); }
    // Ends an open edit now, as Enter does (commits unless Escape was pressed).
    void EndEdit();
    // Closes an open edit without writing anything (its row is gone).
    void Discard();
    int Row() const { return row_; }
    int Column() const { return column_; }
    const QString& AllowedChars() const { return allowed_; }

    // True when every character of `text` may be entered (always with an empty allowed set).
    bool AcceptsText(const QString& text) const;

  public slots:
    // Pastes the clipboard's text when the filter accepts all of it; drops it otherwise.
    void PasteFiltered();

  signals:
    // A typed character was refused (the beep sounded).
    void beeped();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    explicit CInPlaceEdit(QWidget* parent = nullptr);
    bool KeyPassesFilter(const QKeyEvent* event) const;
    void Refuse();
    void CommitEdit();
    void CloseWindow();

    QPointer<CListCtrlEx> list_;
    int row_ = -1;
    int column_ = -1;
    int slot_ = -1;  // the row's stable key: a sort while editing does not misdirect the text
    QString allowed_;
    QString initialText_;
    bool cancelled_ = false;
    bool open_ = false;
    bool committed_ = false;
};

}  // namespace ListCtrlEx
