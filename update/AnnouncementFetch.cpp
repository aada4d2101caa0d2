#include "update/AnnouncementFetch.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace pellion {

namespace {

constexpr auto kCancelPoll = std::chrono::milliseconds(20);

class SystemProxyFactory : public QNetworkProxyFactory {
  public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        return systemProxyForQuery(query);
    }
};

bool isCancelled(const CancelFlag& cancelled) {
    return cancelled && cancelled->load();
}

enum class AttemptEnd { Finished, ConnectTimeout, AnswerTimeout, TooLarge, Cancelled };

struct Attempt {
    AttemptEnd end = AttemptEnd::Finished;
    bool requestSent = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int httpStatus = 0;
    QByteArray body;
};

QNetworkRequest announcementRequest(const QUrl& page, const FetchSettings& settings) {
    QNetworkRequest request(page);
    request.setHeader(QNetworkRequest::UserAgentHeader, settings.userAgent);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

Attempt runAttempt(QNetworkAccessManager& manager, const QUrl& page, const FetchSettings& settings,
                   const CancelFlag& cancelled) {
    Attempt attempt;
    QNetworkReply* reply = manager.get(announcementRequest(page, settings));
    QEventLoop loop;
    QTimer phaseTimer;
    phaseTimer.setSingleShot(true);
    QTimer attemptTimer;
    attemptTimer.setSingleShot(true);
    QTimer cancelPoll;

    auto endWith = [&](AttemptEnd end) {
        if (attempt.end == AttemptEnd::Finished) {
            attempt.end = end;
        }
        reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::requestSent, &loop, [&] {
        attempt.requestSent = true;
        phaseTimer.start(settings.answerTimeout);
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (attempt.body.size() + reply->bytesAvailable() > settings.maxBodyBytes) {
            endWith(AttemptEnd::TooLarge);
            return;
        }
        attempt.body += reply->readAll();
        phaseTimer.start(settings.answerTimeout);
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&phaseTimer, &QTimer::timeout, &loop, [&] {
        endWith(attempt.requestSent ? AttemptEnd::AnswerTimeout : AttemptEnd::ConnectTimeout);
    });
    QObject::connect(&attemptTimer, &QTimer::timeout, &loop,
                     [&] { endWith(AttemptEnd::AnswerTimeout); });
    QObject::connect(&cancelPoll, &QTimer::timeout, &loop, [&] {
        if (isCancelled(cancelled)) {
            endWith(AttemptEnd::Cancelled);
        }
    });

    phaseTimer.start(settings.connectTimeout);
    attemptTimer.start(settings.attemptLimit);
    if (cancelled) {
        cancelPoll.start(kCancelPoll);
    }
    if (!reply->isFinished()) {
        loop.exec();
    }
    if (attempt.end == AttemptEnd::Finished) {
        attempt.body += reply->readAll();
    }
    attempt.error = reply->error();
    attempt.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    delete reply;
    return attempt;
}

bool isSuccessStatus(int status) {
    return status >= 200 && status < 300;
}

}  // namespace

FetchResult fetchAnnouncementPage(const QUrl& page, const FetchSettings& settings,
                                  const CancelFlag& cancelled) {
    FetchResult result;
    const QString scheme = page.scheme();
    if (!page.isValid() || (scheme != "http" && scheme != "https")) {
        return result;
    }
    QNetworkAccessManager manager;
    if (settings.useSystemProxy) {
        manager.setProxyFactory(new SystemProxyFactory);
    } else {
        manager.setProxy(QNetworkProxy::NoProxy);
    }

    for (int attemptNo = 0; attemptNo <= settings.connectRetries; ++attemptNo) {
        if (isCancelled(cancelled)) {
            result.status = FetchStatus::Cancelled;
            return result;
        }
        ++result.connectionAttempts;
        Attempt attempt = runAttempt(manager, page, settings, cancelled);
        switch (attempt.end) {
            case AttemptEnd::Cancelled:
                result.status = FetchStatus::Cancelled;
                return result;
            case AttemptEnd::TooLarge:
                result.status = FetchStatus::TooLarge;
                return result;
            case AttemptEnd::AnswerTimeout:
                result.status = FetchStatus::Failed;
                return result;
            case AttemptEnd::ConnectTimeout:
                result.status = FetchStatus::Unreachable;
                continue;
            case AttemptEnd::Finished:
                break;
        }
        if (!attempt.requestSent) {
            // Refused, unknown host or a connection lost before the request left.
            result.status = FetchStatus::Unreachable;
            continue;
        }
        if (attempt.error != QNetworkReply::NoError || !isSuccessStatus(attempt.httpStatus)) {
            result.status = FetchStatus::Failed;
            return result;
        }
        result.status = FetchStatus::Read;
        result.body = std::move(attempt.body);
        return result;
    }
    return result;
}

}  // namespace pellion
