#pragma once

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace pellion::test {

// The QApplication of the whole test program (offscreen unless a platform is chosen).
QApplication& qtApp();

// Runs Qt's event loop until `done` holds or `timeoutMs` passes; returns done().
bool processEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Answers every modal box that opens while it lives, recording what it showed. A box is
// answered with `answer` when it has that button, otherwise with its default button (OK, Yes,
// or the dialog's default push button).
class ModalWatcher {
  public:
    struct Seen {
        QString caption;
        QString text;  // a message box's text; for other dialogs the texts of their labels
        QString className;
    };

    explicit ModalWatcher(QMessageBox::StandardButton answer = QMessageBox::NoButton);
    ~ModalWatcher();
    ModalWatcher(const ModalWatcher&) = delete;
    ModalWatcher& operator=(const ModalWatcher&) = delete;

    const std::vector<Seen>& seen() const { return seen_; }
    QStringList texts() const;

  private:
    void answerOpenBox();

    QMessageBox::StandardButton answer_;
    QTimer timer_;
    std::vector<Seen> seen_;
};

// Opens `widget`'s context menu at `at` (its own coordinates) and chooses the item at index
// `choose` (from the end when negative), or the one whose text is `choose`; returns the
// menu's texts.
QStringList chooseFromContextMenu(QWidget& widget, const QPoint& at, int choose);
QStringList chooseFromContextMenu(QWidget& widget, const QPoint& at, const QString& choose);

// Reads a whole file as bytes ("" when missing).
std::string fileContent(const QString& path);

}  // namespace pellion::test
