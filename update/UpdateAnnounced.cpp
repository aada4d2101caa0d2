#include "update/UpdateAnnounced.h"

#include "update/VersionSearch.h"

namespace pellion {

AnnouncementCheck checkAnnouncement(const QUrl& page, const QString& ownFileVersion,
                                    const FetchSettings& settings, const CancelFlag& cancelled) {
    const FetchResult fetched = fetchAnnouncementPage(page, settings, cancelled);
    if (fetched.status == FetchStatus::Cancelled) {
        return AnnouncementCheck::Cancelled;
    }
    if (fetched.status != FetchStatus::Read) {
        return AnnouncementCheck::PageUnavailable;
    }
    const QByteArray pageText = pageTextFromBody(fetched.body);
    if (pageText.isEmpty()) {
        return AnnouncementCheck::EmptyPage;
    }
    if (pageNamesVersion(pageText, ownFileVersion.toUtf8())) {
        return AnnouncementCheck::VersionNamed;
    }
    return AnnouncementCheck::UpdateAnnounced;
}

bool updateAnnounced(const QUrl& page, const QString& ownFileVersion,
                     const FetchSettings& settings) {
    return checkAnnouncement(page, ownFileVersion, settings) == AnnouncementCheck::UpdateAnnounced;
}

}  // namespace pellion
