#pragma once

#include <QComboBox>
#include <QStringList>

#include "ui/InPlaceEditor.h"

namespace ListCtrlEx {

// The drop-down list placed over a Combo cell. One object serves every list of the process;
// its window is open from ShowInPlaceCombo until the edit has ended and the queued close has
// run. Choosing an item, Enter, or the focus leaving commits; Escape writes the old text back.
// Enter and Escape never reach the dialog around the list.
class CInPlaceCombo : public InPlaceEditor<CInPlaceCombo, QComboBox> {
    Q_OBJECT

  public:
    // The process-wide object, created on first use without a window.
    static CInPlaceCombo* GetInPlaceCombo() { return Instance(); }
    // Deletes the process-wide object, if any; the next GetInPlaceCombo creates a new one.
    static void DeleteInPlaceCombo() { DeleteInstance(); }

    // Opens the editor over `cellRect` (viewport coordinates of `list`), 3 pixels taller above
    // and below, with `items` in order and the item matching `text` selected. While a window is
    // still open or closing nothing is moved or reloaded. Returns true when a window is open.
    bool ShowInPlaceCombo(const QRect& cellRect, CListCtrlEx* list, const QStringList& items,
                          const QString& text, int row, int column);
    // Selects the item for a cell text: an exact match, else a case-insensitive one, else the
    // first item beginning with the text (ignoring case); none for an empty or unknown text.
    void SelectCellText(const QString& text);

    void hidePopup() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    QString EditedText() const override { return currentText(); }

  private:
    friend InPlaceEditor;
    explicit CInPlaceCombo(QWidget* parent = nullptr);

    QStringList items_;
};

}  // namespace ListCtrlEx
