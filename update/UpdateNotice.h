#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>

#include "update/AnnouncementFetch.h"
#include "update/NetworkAvailable.h"
#include "update/UpdateQuestion.h"

class QWidget;

namespace pellion {

enum class UpdateCheckOutcome {
    NoNetwork,
    UpdateAnnounced,
    VersionNamed,
    EmptyPage,
    PageUnavailable,
    Cancelled,
};

using UrlOpener = std::function<void(const QUrl&)>;

// Everything the notice depends on; empty members take the defaults below.
struct UpdateNoticeOptions {
    QUrl announcementPage;
    QUrl downloadPage;
    QString applicationName;  // caption of the question and user agent of the request
    NetworkProbe networkProbe;
    std::chrono::milliseconds availabilityPause{100};
    UpdateQuestion askQuestion;
    UrlOpener openUrl;
    FetchSettings fetch;
};

// The build-time addresses, the system's network state, the question box, the system browser.
UpdateNoticeOptions defaultUpdateNoticeOptions();

// The background part: decides whether to offer the update. Blocks the calling thread.
UpdateCheckOutcome updateNoticeThread(const UpdateNoticeOptions& options,
                                      const QString& ownFileVersion,
                                      const CancelFlag& cancelled = {});

// Lives on the window thread as a child of the dialog. Receives the decision of the background
// check, asks the operator and opens the download page. Destroying it (with the dialog) tells
// a running check to stop, without waiting for it.
class UpdateNotice : public QObject {
    Q_OBJECT
  public:
    UpdateNotice(QObject* parent, QWidget* dialog, UpdateNoticeOptions options);
    ~UpdateNotice() override;

    CancelFlag cancelFlag() const { return cancelled_; }
    const UpdateNoticeOptions& options() const { return options_; }

    void onCheckDecided(UpdateCheckOutcome outcome);

  signals:
    void checkFinished(pellion::UpdateCheckOutcome outcome);
    void questionAnswered(bool yes);

  private:
    QPointer<QWidget> dialog_;
    UpdateNoticeOptions options_;
    CancelFlag cancelled_;
};

// Called once by the dialog at its initialisation. Returns at once; the check runs on a thread
// of its own that nothing waits for, and every failure ends it quietly.
UpdateNotice* startUpdateNotice(QWidget* dialog, const QString& ownFileVersion);
UpdateNotice* startUpdateNotice(QWidget* dialog, const QString& ownFileVersion,
                                UpdateNoticeOptions options);

}  // namespace pellion
