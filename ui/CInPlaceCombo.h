#pragma once

#include <QComboBox>
#include <QPointer>
#include <QStringList>

namespace ListCtrlEx {

class CListCtrlEx;

// The drop-down list placed over a Combo cell. One object serves every list of the process;
// its window is open from ShowInPlaceCombo until the edit has ended and the queued close has
// run. Choosing an item, Enter, or the focus leaving commits; Escape writes the old text back.
// Enter and Escape never reach the dialog around the list.
class CInPlaceCombo : public QComboBox {
    Q_OBJECT

  public:
    // The process-wide object, created on first use without a window.
    static CInPlaceCombo* GetInPlaceCombo();
    // Deletes the process-wide object, if any; the next GetInPlaceCombo creates a new one.
    static void DeleteInPlaceCombo();
    static bool Exists();

    // Opens the editor over `cellRect` (viewport coordinates of `list`), 3 pixels taller above
    // and below, with `items` in order and the item matching `text` selected. While a window is
    // still open or closing nothing is moved or reloaded. Returns true when a window is open.
    bool ShowInPlaceCombo(const QRect& cellRect, CListCtrlEx* list, const QStringList& items,
                          const QString& text, int row, int column);
    // Selects the item for a cell text: an exact match, else a case-insensitive one, else the
    // first item beginning with the text (ignoring case); none for an empty or unknown text.
    void SelectCellText(const QString& text);

    bool IsOpen() const { return open_; }
    // The list the editor was last opened on.
    CListCtrlEx* List() const { return list_.data(); }
    // Ends an open edit now, as Enter does (commits unless Escape was pressed).
    void EndEdit();
    // Closes an open edit without writing anything (its row is gone).
    void Discard();
    int Row() const { return row_; }
    int Column() const { return column_; }
    const QString& SavedText() const { return savedText_; }

    void hidePopup() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    explicit CInPlaceCombo(QWidget* parent = nullptr);
    void CommitEdit();
    void CloseWindow();

    QPointer<CListCtrlEx> list_;
    int row_ = -1;
    int column_ = -1;
    int slot_ = -1;  // the row's stable key: a sort while editing does not misdirect the text
    QString savedText_;
    QStringList items_;
    bool cancelled_ = false;
    bool open_ = false;
    bool committed_ = false;
};

}  // namespace ListCtrlEx
