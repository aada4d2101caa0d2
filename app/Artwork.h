#pragma once

#include <QIcon>
#include <QPixmap>

#include "engine/OperatorLanguage.h"

namespace pellion {

// The program's own pictures, compiled into the executable.
QIcon programIcon();
// 770 x 60, its tagline in the window's language.
QPixmap bannerPixmap(OperatorLanguage language = OperatorLanguage::Chinese);

}  // namespace pellion
