#include "app/Artwork.h"

// Resources of a static library are registered by hand, once, outside any namespace.
static void registerArtwork() {
    Q_INIT_RESOURCE(pellion);
}

namespace pellion {

namespace {
void ensureRegistered() {
    static const bool registered = (registerArtwork(), true);
    (void)registered;
}
}  // namespace

QIcon programIcon() {
    ensureRegistered();
    return QIcon(QStringLiteral(":/pellion/icon.png"));
}

QPixmap bannerPixmap() {
    ensureRegistered();
    return QPixmap(QStringLiteral(":/pellion/banner.png"));
}

}  // namespace pellion
