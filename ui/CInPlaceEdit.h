#pragma once

#include <QLineEdit>

#include "ui/InPlaceEditor.h"

namespace ListCtrlEx {

// The single-line field placed over an Edit cell. One object serves every list of the
// process. It opens with the cell's text selected; Enter or the focus leaving commits, Escape
// writes the old text back. With a non-empty set of allowed characters, a typed character
// outside the set beeps and is dropped, and a paste containing one is refused silently.
class CInPlaceEdit : public InPlaceEditor<CInPlaceEdit, QLineEdit> {
    Q_OBJECT

  public:
    static CInPlaceEdit* GetInPlaceEdit() { return Instance(); }
    static void DeleteInPlaceEdit() { DeleteInstance(); }

    // Opens the editor over `cellRect` (viewport coordinates of `list`). While a window is still
    // open or closing nothing changes. Returns true when a window is open.
    bool ShowInPlaceEdit(int row, int column, const QString& allowedChars, const QString& text,
                         const QRect& cellRect, CListCtrlEx* list);

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
    QString EditedText() const override { return text(); }

  private:
    friend InPlaceEditor;
    explicit CInPlaceEdit(QWidget* parent = nullptr);
    bool KeyPassesFilter(const QKeyEvent* event) const;
    void Refuse();

    QString allowed_;
};

}  // namespace ListCtrlEx
