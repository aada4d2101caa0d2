#include "ui/TextCompare.h"

#include <QByteArray>
#include <algorithm>
#include <climits>
#include <cstring>

namespace ListCtrlEx {

namespace {

int sign(long long v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

}  // namespace

int compareCodes(const QString& a, const QString& b) {
    const QByteArray ua = a.toUtf8();
    const QByteArray ub = b.toUtf8();
    const int n = std::memcmp(ua.constData(), ub.constData(),
                              static_cast<size_t>(std::min(ua.size(), ub.size())));
    if (n != 0) {
        return n < 0 ? -1 : 1;
    }
    return sign(static_cast<long long>(ua.size()) - ub.size());
}

bool isNumericText(const QString& text) {
    bool seenStop = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c >= u'0' && c <= u'9') {
            continue;
        }
        if (c == u'-' && i == 0) {
            continue;
        }
        if (c == u'.' && !seenStop) {
            seenStop = true;
            continue;
        }
        return false;
    }
    return true;
}

long long integerPart(const QString& text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && text.at(i) == u'-') {
        negative = true;
        ++i;
    }
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9') {
            break;
        }
        const int digit = c - u'0';
        if (value > (LLONG_MAX - digit) / 10) {
            return negative ? LLONG_MIN : LLONG_MAX;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

int compareNumericAware(const QString& a, const QString& b) {
    if (isNumericText(a) && isNumericText(b)) {
        const long long x = integerPart(a);
        const long long y = integerPart(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return compareCodes(a, b);
}

int compareForSort(SortKind kind, const QString& a, const QString& b) {
    return kind == SortKind::Numeric ? compareNumericAware(a, b) : compareCodes(a, b);
}

}  // namespace ListCtrlEx
