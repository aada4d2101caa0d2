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

QPixmap bannerPixmap(OperatorLanguage language) {
    ensureRegistered();
    return QPixmap(language == OperatorLanguage::English ? QStringLiteral(":/pellion/banner_en.png")
                                                         : QStringLiteral(":/pellion/banner.png"));
}

}  // namespace pellion
