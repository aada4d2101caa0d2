#pragma once

#include <QIcon>
#include <QPixmap>

namespace pellion {

// The program's own pictures, compiled into the executable.
QIcon programIcon();
QPixmap bannerPixmap();  // 770 x 60

}  // namespace pellion
