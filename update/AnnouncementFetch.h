#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <memory>

namespace pellion {

struct FetchSettings {
    // Until the request is on its way; a slow or missing connection is tried again.
    std::chrono::milliseconds connectTimeout{1000};
    int connectRetries = 2;
    // Silence allowed once the request was sent, and the limit for one whole attempt, so a
    // server that accepts and never answers, or trickles, cannot hold the check.
    std::chrono::milliseconds answerTimeout{3000};
    std::chrono::milliseconds attemptLimit{10000};
    // An announcement is a short page; anything larger is not one.
    qint64 maxBodyBytes = 1024 * 1024;
    QString userAgent;
    bool useSystemProxy = true;
};

enum class FetchStatus {
    Read,         // a success status and the whole body
    Unreachable,  // no connection in any attempt: refused, timed out, unknown host
    Failed,       // connected, but no usable answer: error status, silence, broken transfer
    TooLarge,
    Cancelled,
};

struct FetchResult {
    FetchStatus status = FetchStatus::Failed;
    QByteArray body;
    int connectionAttempts = 0;
};

using CancelFlag = std::shared_ptr<std::atomic<bool>>;

// HTTP GET of the page, blocking the calling thread (which runs its own event loop meanwhile).
// Never call it on the window thread. A set cancel flag ends the fetch within a few ms.
FetchResult fetchAnnouncementPage(const QUrl& page, const FetchSettings& settings,
                                  const CancelFlag& cancelled = {});

}  // namespace pellion
