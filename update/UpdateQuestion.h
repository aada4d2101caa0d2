#pragma once

#include <QCoreApplication>
#include <QString>
#include <functional>

class QWidget;

namespace pellion {

inline constexpr const char* kUpdateQuestionSource =
    QT_TRANSLATE_NOOP("pellion::UpdateQuestion", "软件有可用更新!\r是否下载最新版本?");
inline const QString kUpdateQuestionText = QString::fromUtf8(kUpdateQuestionSource);
// The question in the window's language.
inline QString updateQuestionText() {
    return QCoreApplication::translate("pellion::UpdateQuestion", kUpdateQuestionSource);
}

// Puts the question to the operator and reports the answer once (true for Yes). It must not
// hold up the window: the answer may come long after the call returns.
using UpdateQuestion = std::function<void(QWidget* parent, const QString& caption,
                                          const QString& text, std::function<void(bool)> answered)>;

// A question box with Yes and No over the parent that leaves the window usable meanwhile; the
// text's CRs show as line breaks. Closing it without choosing answers No. Window thread only.
void showUpdateQuestion(QWidget* parent, const QString& caption, const QString& text,
                        std::function<void(bool)> answered);

}  // namespace pellion
