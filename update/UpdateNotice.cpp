#include "update/UpdateNotice.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QThread>
#include <QWidget>

#include "update/UpdateAnnounced.h"

namespace pellion {

namespace {

UpdateCheckOutcome outcomeOf(AnnouncementCheck check) {
    switch (check) {
        case AnnouncementCheck::UpdateAnnounced:
            return UpdateCheckOutcome::UpdateAnnounced;
        case AnnouncementCheck::VersionNamed:
            return UpdateCheckOutcome::VersionNamed;
        case AnnouncementCheck::EmptyPage:
            return UpdateCheckOutcome::EmptyPage;
        case AnnouncementCheck::Cancelled:
            return UpdateCheckOutcome::Cancelled;
        case AnnouncementCheck::PageUnavailable:
            break;
    }
    return UpdateCheckOutcome::PageUnavailable;
}

void openInSystemBrowser(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

UpdateNoticeOptions completed(UpdateNoticeOptions options) {
    const UpdateNoticeOptions defaults = defaultUpdateNoticeOptions();
    if (options.announcementPage.isEmpty()) {
        options.announcementPage = defaults.announcementPage;
    }
    if (options.downloadPage.isEmpty()) {
        options.downloadPage = defaults.downloadPage;
    }
    if (options.applicationName.isEmpty()) {
        options.applicationName = defaults.applicationName;
    }
    if (!options.networkProbe) {
        options.networkProbe = defaults.networkProbe;
    }
    if (!options.askQuestion) {
        options.askQuestion = defaults.askQuestion;
    }
    if (!options.openUrl) {
        options.openUrl = defaults.openUrl;
    }
    if (options.fetch.userAgent.isEmpty()) {
        options.fetch.userAgent = options.applicationName;
    }
    return options;
}

}  // namespace

UpdateNoticeOptions defaultUpdateNoticeOptions() {
    UpdateNoticeOptions options;
    options.announcementPage = QUrl(QStringLiteral(PELLION_ANNOUNCEMENT_PAGE));
    options.downloadPage = QUrl(QStringLiteral(PELLION_DOWNLOAD_PAGE));
    options.applicationName = QCoreApplication::applicationName();
    options.networkProbe = systemReportsLiveNetwork;
    options.askQuestion = showUpdateQuestion;
    options.openUrl = openInSystemBrowser;
    options.fetch.userAgent = options.applicationName;
    return options;
}

UpdateCheckOutcome updateNoticeThread(const UpdateNoticeOptions& options,
                                      const QString& ownFileVersion, const CancelFlag& cancelled) {
    if (!networkAvailable(options.networkProbe, options.availabilityPause)) {
        return UpdateCheckOutcome::NoNetwork;
    }
    return outcomeOf(
        checkAnnouncement(options.announcementPage, ownFileVersion, options.fetch, cancelled));
}

UpdateNotice::UpdateNotice(QObject* parent, QWidget* dialog, UpdateNoticeOptions options)
    : QObject(parent),
      dialog_(dialog),
      options_(std::move(options)),
      cancelled_(std::make_shared<std::atomic<bool>>(false)) {}

UpdateNotice::~UpdateNotice() {
    cancelled_->store(true);
}

void UpdateNotice::onCheckDecided(UpdateCheckOutcome outcome) {
    emit checkFinished(outcome);
    if (outcome != UpdateCheckOutcome::UpdateAnnounced) {
        return;
    }
    QPointer<UpdateNotice> self(this);
    options_.askQuestion(dialog_, options_.applicationName, updateQuestionText(),
                         [self, opener = options_.openUrl, page = options_.downloadPage](bool yes) {
                             if (yes) {
                                 opener(page);
                             }
                             if (self) {
                                 emit self->questionAnswered(yes);
                             }
                         });
}

UpdateNotice* startUpdateNotice(QWidget* dialog, const QString& ownFileVersion) {
    return startUpdateNotice(dialog, ownFileVersion, {});
}

UpdateNotice* startUpdateNotice(QWidget* dialog, const QString& ownFileVersion,
                                UpdateNoticeOptions options) {
    QObject* owner = dialog ? static_cast<QObject*>(dialog) : QCoreApplication::instance();
    auto* notice = new UpdateNotice(owner, dialog, completed(std::move(options)));
    QPointer<UpdateNotice> target(notice);

    // The thread keeps its own copy of what it needs and reports through an object that lives
    // as long as the thread, so it never touches the window or the notice directly.
    auto* reporter = new QObject;
    QThread* thread = QThread::create([reporter, target, options = notice->options(),
                                       ownFileVersion, cancelled = notice->cancelFlag()] {
        const UpdateCheckOutcome outcome = updateNoticeThread(options, ownFileVersion, cancelled);
        QMetaObject::invokeMethod(
            reporter,
            [target, outcome] {
                if (target) {
                    target->onCheckDecided(outcome);
                }
            },
            Qt::QueuedConnection);
    });
    reporter->setParent(thread);
    thread->setObjectName(QStringLiteral("update notice"));
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start(QThread::LowPriority);
    return notice;
}

}  // namespace pellion
