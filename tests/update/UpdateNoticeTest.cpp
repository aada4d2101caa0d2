#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "UpdateTestSupport.h"
#include "update/UpdateNotice.h"

namespace pellion {
namespace {

using namespace std::chrono_literals;
using test::LoopbackHttpServer;

const QString kOwnVersion = QStringLiteral("1.2.0.15");
const QUrl kDownloadPage(QStringLiteral("http://127.0.0.1:9/download.html"));

// The window side as the operator would meet it: a dialog, a scripted answer, a recorded
// browser.
class UpdateNoticeFlow : public ::testing::Test {
  protected:
    void SetUp() override { dialog->show(); }

    UpdateNoticeOptions options(const QUrl& page) {
        UpdateNoticeOptions o;
        o.announcementPage = page;
        o.downloadPage = kDownloadPage;
        o.networkProbe = [] { return true; };
        o.availabilityPause = 1ms;
        o.fetch.useSystemProxy = false;
        o.askQuestion = [this](QWidget* parent, const QString& caption, const QString& text,
                               std::function<void(bool)> answered) {
            ++questionsAsked;
            questionParent = parent;
            questionCaption = caption;
            questionText = text;
            questionOnWindowThread = QThread::currentThread() == qApp->thread();
            if (answerYes) {
                answered(*answerYes);
            }
        };
        o.openUrl = [this](const QUrl& url) { opened.append(url); };
        return o;
    }

    // Starts the notice and lets the window's loop run until the check has decided.
    std::optional<UpdateCheckOutcome> run(UpdateNoticeOptions o, int waitMs = 10000) {
        UpdateNotice* notice = startUpdateNotice(dialog.get(), kOwnVersion, std::move(o));
        std::optional<UpdateCheckOutcome> outcome;
        QObject::connect(notice, &UpdateNotice::checkFinished,
                         [&outcome](UpdateCheckOutcome o) { outcome = o; });
        (void)QTest::qWaitFor([&] { return outcome.has_value(); }, waitMs);
        QCoreApplication::processEvents();
        return outcome;
    }

    test::WithTestApp app;
    std::unique_ptr<QWidget> dialog = std::make_unique<QWidget>();
    LoopbackHttpServer server;
    std::optional<bool> answerYes = false;
    int questionsAsked = 0;
    QWidget* questionParent = nullptr;
    QString questionCaption;
    QString questionText;
    bool questionOnWindowThread = false;
    QList<QUrl> opened;
};

TEST_F(UpdateNoticeFlow, APageNamingTheOwnVersionGivesNoNotice) {
    server.answer(200, "<html>\n<p>Pellion 1.2.0.15 is current.</p>\n</html>\n");
    EXPECT_EQ(run(options(server.url())), UpdateCheckOutcome::VersionNamed);
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(questionsAsked, 0);
}

TEST_F(UpdateNoticeFlow, APageNamingOnlyAnOlderVersionAsksTheOperator) {
    server.answer(200, "<html>\n<p>Pellion 1.2.0.9 is current.</p>\n</html>\n");
    EXPECT_EQ(run(options(server.url())), UpdateCheckOutcome::UpdateAnnounced);
    EXPECT_EQ(questionsAsked, 1);
    EXPECT_EQ(questionText, QStringLiteral("软件有可用更新!\r是否下载最新版本?"));
    EXPECT_EQ(questionCaption, QStringLiteral("test_update"));  // the executable's name
    EXPECT_EQ(questionParent, dialog.get());
    EXPECT_TRUE(questionOnWindowThread);
    const QByteArray head = server.requestHeads().value(0);
    EXPECT_TRUE(head.contains("\r\nUser-Agent: test_update")) << head.constData();
}

TEST_F(UpdateNoticeFlow, TheOwnVersionInsideALongerNumberGivesNoNotice) {
    server.answer(200, "<p>Pellion 1.2.0.150 is current.</p>\n");
    EXPECT_EQ(run(options(server.url())), UpdateCheckOutcome::VersionNamed);
    EXPECT_EQ(questionsAsked, 0);
}

TEST_F(UpdateNoticeFlow, AnEmptyPageGivesNoNotice) {
    server.answer(200, "");
    EXPECT_EQ(run(options(server.url())), UpdateCheckOutcome::EmptyPage);
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(questionsAsked, 0);
}

TEST_F(UpdateNoticeFlow, AMissingPageGivesNoNotice) {
    server.answer(404, "<html><p>No such page</p></html>\n");  // lacks the own version
    EXPECT_EQ(run(options(server.url())), UpdateCheckOutcome::PageUnavailable);
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(questionsAsked, 0);
}

TEST_F(UpdateNoticeFlow, ARefusedConnectionGivesNoNotice) {
    const QUrl page(
        QStringLiteral("http://127.0.0.1:%1/announcement.html").arg(test::refusingPort()));
    EXPECT_EQ(run(options(page)), UpdateCheckOutcome::PageUnavailable);
    EXPECT_EQ(questionsAsked, 0);
}

TEST_F(UpdateNoticeFlow, AServerThatNeverAnswersGivesNoNoticeAndTheCheckEnds) {
    server.neverAnswer();
    // Default fetch settings: the check must give up on its own within a few seconds.
    EXPECT_EQ(run(options(server.url()), 8000), UpdateCheckOutcome::PageUnavailable);
    EXPECT_EQ(server.requestHeads().size(), 1);
    EXPECT_EQ(questionsAsked, 0);
}

TEST_F(UpdateNoticeFlow, WithoutNetworkNoRequestIsMade) {
    server.answer(200, "<p>Pellion 1.2.0.9</p>\n");
    std::atomic<int> probed{0};
    UpdateNoticeOptions o = options(server.url());
    o.networkProbe = [&probed] {
        ++probed;
        return false;
    };
    EXPECT_EQ(run(o), UpdateCheckOutcome::NoNetwork);
    QTest::qWait(100);  // a late request would reach the server meanwhile
    EXPECT_EQ(probed.load(), 2);
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(questionsAsked, 0);
}

TEST_F(UpdateNoticeFlow, YesOpensTheDownloadPageAndNoOpensNothing) {
    server.answer(200, "<p>Pellion 1.2.0.9</p>\n");
    answerYes = true;
    EXPECT_EQ(run(options(server.url())), UpdateCheckOutcome::UpdateAnnounced);
    EXPECT_EQ(opened, QList<QUrl>{kDownloadPage});

    opened.clear();
    answerYes = false;
    EXPECT_EQ(run(options(server.url())), UpdateCheckOutcome::UpdateAnnounced);
    EXPECT_EQ(questionsAsked, 2);
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(UpdateNoticeFlow, TheCheckRunsOffTheWindowThreadAndNeverHoldsItUp) {
    server.answer(200, "<p>Pellion 1.2.0.15</p>\n");
    // The probe waits until the window thread has got control back from the start call.
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    bool waitedForRelease = false;
    std::atomic<bool> probedOffWindowThread{false};
    UpdateNoticeOptions o = options(server.url());
    o.networkProbe = [&] {
        probedOffWindowThread = QThread::currentThread() != qApp->thread();
        std::unique_lock lock(mutex);
        waitedForRelease = changed.wait_for(lock, 5s, [&] { return released; });
        return true;
    };
    UpdateNotice* notice = startUpdateNotice(dialog.get(), kOwnVersion, std::move(o));
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();
    std::optional<UpdateCheckOutcome> outcome;
    QObject::connect(notice, &UpdateNotice::checkFinished,
                     [&outcome](UpdateCheckOutcome o) { outcome = o; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
    EXPECT_EQ(outcome, UpdateCheckOutcome::VersionNamed);
    EXPECT_TRUE(probedOffWindowThread.load());
    EXPECT_TRUE(waitedForRelease) << "the start call waited for the check";
}

TEST_F(UpdateNoticeFlow, ClosingTheWindowStopsARunningCheckWithoutWaiting) {
    server.neverAnswer();
    UpdateNotice* notice = startUpdateNotice(dialog.get(), kOwnVersion, options(server.url()));
    QPointer<UpdateNotice> watch(notice);
    CancelFlag cancelled = notice->cancelFlag();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestHeads().size() == 1; }, 5000));
    ASSERT_EQ(server.openConnections(), 1);

    dialog.reset();
    EXPECT_TRUE(watch.isNull()) << "the notice lives on after its window";
    EXPECT_TRUE(cancelled->load());
    // The check drops its connection well before its own answer time-out would.
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 1500));
    EXPECT_EQ(questionsAsked, 0);
}

// The real question box under the offscreen platform.
class UpdateQuestionBox : public ::testing::Test {
  protected:
    void SetUp() override { dialog.show(); }
    QMessageBox* shownBox() {
        QMessageBox* box = nullptr;
        (void)QTest::qWaitFor([&] { return (box = dialog.findChild<QMessageBox*>()) != nullptr; },
                              8000);
        return box;
    }
    test::WithTestApp app;
    QWidget dialog;
    std::optional<bool> answer;
};

TEST_F(UpdateQuestionBox, AsksWithYesAndNoAndLeavesTheWindowUsable) {
    showUpdateQuestion(&dialog, QStringLiteral("Pellion"), kUpdateQuestionText,
                       [this](bool yes) { answer = yes; });
    QMessageBox* box = shownBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Pellion"));
    // Two lines on screen; the text itself keeps its CR.
    EXPECT_EQ(box->text(), QStringLiteral("软件有可用更新!\n是否下载最新版本?"));
    EXPECT_EQ(kUpdateQuestionText.toUtf8(), QByteArray("软件有可用更新!\r是否下载最新版本?"));
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(answer.has_value());

    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    EXPECT_EQ(answer, true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.findChild<QMessageBox*>() == nullptr; }, 2000))
        << "the answered box stays";
}

TEST_F(UpdateQuestionBox, NoAndEscapeBothDecline) {
    showUpdateQuestion(&dialog, QStringLiteral("Pellion"), kUpdateQuestionText,
                       [this](bool yes) { answer = yes; });
    QMessageBox* box = shownBox();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    EXPECT_EQ(answer, false);

    answer.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.findChild<QMessageBox*>() == nullptr; }, 2000));
    showUpdateQuestion(&dialog, QStringLiteral("Pellion"), kUpdateQuestionText,
                       [this](bool yes) { answer = yes; });
    box = shownBox();
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_EQ(answer, false);
}

TEST_F(UpdateQuestionBox, TheNoticeOpensTheDownloadPageThroughTheRealBox) {
    LoopbackHttpServer server;
    server.answer(200, "<p>Pellion 1.2.0.9</p>\n");
    QList<QUrl> opened;
    UpdateNoticeOptions o;
    o.announcementPage = server.url();
    o.downloadPage = kDownloadPage;
    o.networkProbe = [] { return true; };
    o.fetch.useSystemProxy = false;
    o.openUrl = [&opened](const QUrl& url) { opened.append(url); };
    startUpdateNotice(&dialog, kOwnVersion, o);

    QMessageBox* box = shownBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), QCoreApplication::applicationName());
    EXPECT_TRUE(opened.isEmpty());
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    EXPECT_EQ(opened, QList<QUrl>{kDownloadPage});
}

TEST(UpdateNoticeDefaults, UseTheBuildTimeAddressesAndTheApplicationName) {
    test::updateTestApp();
    const UpdateNoticeOptions defaults = defaultUpdateNoticeOptions();
    EXPECT_EQ(defaults.announcementPage, QUrl(QStringLiteral(PELLION_ANNOUNCEMENT_PAGE)));
    EXPECT_EQ(defaults.downloadPage, QUrl(QStringLiteral(PELLION_DOWNLOAD_PAGE)));
    EXPECT_EQ(defaults.applicationName, QStringLiteral("test_update"));
    EXPECT_EQ(defaults.fetch.userAgent, QStringLiteral("test_update"));
    EXPECT_EQ(defaults.fetch.connectTimeout, 1000ms);
    EXPECT_EQ(defaults.fetch.connectRetries, 2);
    EXPECT_TRUE(defaults.fetch.useSystemProxy);
    EXPECT_TRUE(defaults.networkProbe && defaults.askQuestion && defaults.openUrl);
}

}  // namespace
}  // namespace pellion
