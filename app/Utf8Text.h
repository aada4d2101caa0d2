#pragma once

#include <QString>
#include <string>

namespace pellion {

// The core speaks UTF-8 in std::string; the window in QString.
inline QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string toUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace pellion
