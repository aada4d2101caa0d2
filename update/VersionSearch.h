#pragma once

#include <QByteArray>

namespace pellion {

// The page text as the announcement is compared: every line of the body, without its line
// break, followed by "\r\n". An empty body gives an empty text.
QByteArray pageTextFromBody(const QByteArray& body);

// True when the version's text stands anywhere in the page, also inside a longer number.
// An empty version is named by no page.
bool pageNamesVersion(const QByteArray& pageText, const QByteArray& version);

}  // namespace pellion
