#pragma once

#include <QByteArray>

namespace pellion {

// The page text as the announcement is compared: every line of the body, without its line
// break, followed by "\r\n". An empty body gives an empty text.
QByteArray pageTextFromBody(const QByteArray& body);

// True when the page names the version as a whole number: "1.0.0" is not named by a page that
// holds it only inside "11.0.0.5" or "1.0.0.7", because that is another version. An empty
// version is named by no page.
bool pageNamesVersion(const QByteArray& pageText, const QByteArray& version);

}  // namespace pellion
