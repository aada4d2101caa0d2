#pragma once

#include <QString>

#include "ui/SortInfo.h"

namespace ListCtrlEx {

// Character-code order of the UTF-8 bytes, case-sensitive: <0, 0 or >0.
int compareCodes(const QString& a, const QString& b);

// A text is numeric when it holds only decimal digits and at most one full stop, with an
// optional leading minus sign. The empty text and a lone minus sign are numeric (value 0).
bool isNumericText(const QString& text);

// The integer part of a numeric text, saturated to the range of long long.
long long integerPart(const QString& text);

// Integer parts when both texts are numeric (2.9 equals 2.1), character codes otherwise.
int compareNumericAware(const QString& a, const QString& b);

int compareForSort(SortKind kind, const QString& a, const QString& b);

}  // namespace ListCtrlEx
