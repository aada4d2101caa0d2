#pragma once

#include <QString>
#include <QUrl>

#include "update/AnnouncementFetch.h"

namespace pellion {

enum class AnnouncementCheck {
    UpdateAnnounced,  // the page was read, is not empty and does not name the own version
    VersionNamed,
    EmptyPage,
    PageUnavailable,  // any failure to read the page
    Cancelled,
};

AnnouncementCheck checkAnnouncement(const QUrl& page, const QString& ownFileVersion,
                                    const FetchSettings& settings,
                                    const CancelFlag& cancelled = {});

// Blocks the calling thread for the fetch: never call it on the window thread.
bool updateAnnounced(const QUrl& page, const QString& ownFileVersion,
                     const FetchSettings& settings);

}  // namespace pellion
