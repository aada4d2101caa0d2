#include "AppTestSupport.h"

#include <gtest/gtest.h>

#include "support/QtApp.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

namespace pellion::test {

QApplication& qtApp() {
    return *static_cast<QApplication*>(QCoreApplication::instance());
}

bool processEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

namespace {

// The menu runs its own loop; it is answered from within.
QStringList chooseFromContextMenu(QWidget& widget, const QPoint& at,
                                  const std::function<int(const QStringList&)>& pick) {
    QStringList menuTexts;
    QTimer::singleShot(20, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        const QList<QAction*> actions = menu->actions();
        for (QAction* action : actions)
            menuTexts << action->text();
        const int index = pick(menuTexts);
        if (index >= 0 && index < actions.size())
            actions[index]->trigger();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget.mapToGlobal(at));
    QCoreApplication::sendEvent(&widget, &event);
    return menuTexts;
}

}  // namespace

QStringList chooseFromContextMenu(QWidget& widget, const QPoint& at, int choose) {
    return chooseFromContextMenu(widget, at, [choose](const QStringList& texts) {
        return choose < 0 ? int(texts.size()) + choose : choose;
    });
}

QStringList chooseFromContextMenu(QWidget& widget, const QPoint& at, const QString& choose) {
    return chooseFromContextMenu(
        widget, at, [&choose](const QStringList& texts) { return int(texts.indexOf(choose)); });
}

ModalWatcher::ModalWatcher(QMessageBox::StandardButton answer) : answer_(answer) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { answerOpenBox(); });
    timer_.start(5);
}

ModalWatcher::~ModalWatcher() {
    timer_.stop();
}

QStringList ModalWatcher::texts() const {
    QStringList result;
    for (const auto& seen : seen_)
        result << seen.text;
    return result;
}

void ModalWatcher::answerOpenBox() {
    QWidget* modal = QApplication::activeModalWidget();
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (!dialog || !dialog->isVisible())
        return;
    // The main window under test may itself be modal; only boxes opened over it are answered.
    if (dialog->objectName() == QLatin1String("pellionDialog"))
        return;

    Seen seen{dialog->windowTitle(), {}, QString::fromLatin1(dialog->metaObject()->className())};
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        seen.text = box->text();
        seen_.push_back(seen);
        QAbstractButton* button = box->button(answer_);
        if (!button)
            button = box->defaultButton();
        if (!button)
            button = box->button(QMessageBox::Ok);
        if (!button)
            button = box->button(QMessageBox::Yes);
        if (button) {
            button->click();
        } else {
            box->done(0);
        }
        return;
    }
    QStringList labels;
    for (auto* label : dialog->findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            labels << label->text();
    }
    seen.text = labels.join(QLatin1Char('\n'));
    seen_.push_back(seen);
    for (auto* button : dialog->findChildren<QPushButton*>()) {
        if (button->isDefault()) {
            button->click();
            return;
        }
    }
    dialog->reject();
}

std::string fileContent(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

}  // namespace pellion::test
