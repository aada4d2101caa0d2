#include "update/VersionSearch.h"

namespace pellion {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A digit right beside the match, or a dot followed by a digit, continues the number.
bool continuesBefore(const QByteArray& text, qsizetype start) {
    if (start == 0) {
        return false;
    }
    const char before = text.at(start - 1);
    if (isDigit(before)) {
        return true;
    }
    return before == '.' && start >= 2 && isDigit(text.at(start - 2));
}

bool continuesAfter(const QByteArray& text, qsizetype end) {
    if (end >= text.size()) {
        return false;
    }
    const char after = text.at(end);
    if (isDigit(after)) {
        return true;
    }
    return after == '.' && end + 1 < text.size() && isDigit(text.at(end + 1));
}

}  // namespace

QByteArray pageTextFromBody(const QByteArray& body) {
    QByteArray text;
    if (body.isEmpty()) {
        return text;
    }
    text.reserve(body.size() + body.count('\n') + 2);
    qsizetype lineStart = 0;
    while (lineStart < body.size()) {
        qsizetype lineEnd = body.indexOf('\n', lineStart);
        const qsizetype next = lineEnd < 0 ? body.size() : lineEnd + 1;
        if (lineEnd < 0) {
            lineEnd = body.size();
        }
        qsizetype contentEnd = lineEnd;
        if (contentEnd > lineStart && body.at(contentEnd - 1) == '\r') {
            --contentEnd;
        }
        text.append(body.constData() + lineStart, contentEnd - lineStart);
        text.append("\r\n");
        lineStart = next;
    }
    return text;
}

bool pageNamesVersion(const QByteArray& pageText, const QByteArray& version) {
    if (version.isEmpty()) {
        return false;
    }
    for (qsizetype at = pageText.indexOf(version); at >= 0;
         at = pageText.indexOf(version, at + 1)) {
        if (!continuesBefore(pageText, at) && !continuesAfter(pageText, at + version.size())) {
            return true;
        }
    }
    return false;
}

}  // namespace pellion
