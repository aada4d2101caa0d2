#include "update/VersionSearch.h"

namespace pellion {

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
    // A plain substring search, as the announcement pages are written for: the version named
    // inside a longer number (1.0.0 in 11.0.0.5) counts as named.
    return !version.isEmpty() && pageText.contains(version);
}

}  // namespace pellion
