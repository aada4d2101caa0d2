#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "UpdateTestSupport.h"
#include "update/AnnouncementFetch.h"

namespace pellion {
namespace {

using namespace std::chrono_literals;
using test::LoopbackHttpServer;

class AnnouncementFetch : public ::testing::Test {
  protected:
    void SetUp() override {
        settings.userAgent = QStringLiteral("PellionUnderTest");
        settings.useSystemProxy = false;
    }
    test::WithTestApp app;
    FetchSettings settings;
    LoopbackHttpServer server;
};

TEST_F(AnnouncementFetch, GetsThePageWithTheApplicationAsUserAgent) {
    server.answer(200, "<html>\nNewest 1.2.0.16\n</html>");
    const FetchResult result = fetchAnnouncementPage(server.url("/news/page.html"), settings);

    EXPECT_EQ(result.status, FetchStatus::Read);
    EXPECT_EQ(result.body, QByteArray("<html>\nNewest 1.2.0.16\n</html>"));
    EXPECT_EQ(result.connectionAttempts, 1);
    ASSERT_EQ(server.requestHeads().size(), 1);
    const QByteArray head = server.requestHeads().front();
    EXPECT_TRUE(head.startsWith("GET /news/page.html HTTP/1.1\r\n")) << head.constData();
    EXPECT_TRUE(head.contains("\r\nUser-Agent: PellionUnderTest")) << head.constData();
}

TEST_F(AnnouncementFetch, AnErrorStatusIsNoPageEvenWithABody) {
    server.answer(404, "<html>Not here</html>");
    EXPECT_EQ(fetchAnnouncementPage(server.url(), settings).status, FetchStatus::Failed);
    server.answer(500, "oops");
    EXPECT_EQ(fetchAnnouncementPage(server.url(), settings).status, FetchStatus::Failed);
    EXPECT_EQ(server.connections(), 2);  // a server's answer is final: no second try
}

TEST_F(AnnouncementFetch, ARefusedConnectionIsTriedTwiceMore) {
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/a.html").arg(test::refusingPort()));
    const FetchResult result = fetchAnnouncementPage(url, settings);
    EXPECT_EQ(result.status, FetchStatus::Unreachable);
    EXPECT_EQ(result.connectionAttempts, 3);
}

TEST_F(AnnouncementFetch, AConnectionThatIsNeverCompletedTimesOutAndIsRetried) {
    test::StalledListener stalled;
    settings.connectTimeout = 200ms;
    const FetchResult result = fetchAnnouncementPage(stalled.url(), settings);
    EXPECT_EQ(result.status, FetchStatus::Unreachable);
    EXPECT_EQ(result.connectionAttempts, 3);
}

TEST_F(AnnouncementFetch, AServerThatNeverAnswersIsGivenUp) {
    server.neverAnswer();
    settings.answerTimeout = 300ms;
    const FetchResult result = fetchAnnouncementPage(server.url(), settings);
    EXPECT_EQ(result.status, FetchStatus::Failed);
    EXPECT_EQ(result.connectionAttempts, 1);
    EXPECT_EQ(server.requestHeads().size(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 2000))
        << "the abandoned connection stays open";
}

TEST_F(AnnouncementFetch, AnOversizedPageIsNotAnAnnouncement) {
    settings.maxBodyBytes = 4096;
    server.answer(200, QByteArray(64 * 1024, 'x'));
    EXPECT_EQ(fetchAnnouncementPage(server.url(), settings).status, FetchStatus::TooLarge);
    server.answer(200, QByteArray(4096, 'x'));
    EXPECT_EQ(fetchAnnouncementPage(server.url(), settings).status, FetchStatus::Read);
}

TEST_F(AnnouncementFetch, OnlyWebAddressesAreFetched) {
    EXPECT_EQ(fetchAnnouncementPage(QUrl("file:///etc/hostname"), settings).connectionAttempts, 0);
    EXPECT_NE(fetchAnnouncementPage(QUrl("file:///etc/hostname"), settings).status,
              FetchStatus::Read);
    EXPECT_NE(fetchAnnouncementPage(QUrl("not a url"), settings).status, FetchStatus::Read);
}

TEST_F(AnnouncementFetch, ACancelledFetchEndsWithoutAnAnswer) {
    server.neverAnswer();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    QTimer::singleShot(100, [cancelled] { cancelled->store(true); });
    const FetchResult result = fetchAnnouncementPage(server.url(), settings, cancelled);
    EXPECT_EQ(result.status, FetchStatus::Cancelled);
}

}  // namespace
}  // namespace pellion
