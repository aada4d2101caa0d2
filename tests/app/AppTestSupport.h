#pragma once

#include <QApplication>
#include <QDir>
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
// answered with its default button (OK, Yes, or the dialog's default push button).
class ModalWatcher {
  public:
    struct Seen {
        QString caption;
        QString text;  // a message box's text; for other dialogs the texts of their labels
        QString className;
    };

    ModalWatcher();
    ~ModalWatcher();
    ModalWatcher(const ModalWatcher&) = delete;
    ModalWatcher& operator=(const ModalWatcher&) = delete;

    const std::vector<Seen>& seen() const { return seen_; }
    QStringList texts() const;

  private:
    void answerOpenBox();

    QTimer timer_;
    std::vector<Seen> seen_;
};

// Reads a whole file as bytes ("" when missing).
std::string fileContent(const QString& path);

}  // namespace pellion::test
