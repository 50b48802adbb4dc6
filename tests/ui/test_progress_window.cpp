// The progress window: what the worker's calls show, status texts that never make it wait, Stop,
// the keys and close box that must not end it, and a close request before the modal loop.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

#include "UiTestSupport.h"
#include "app/ProgressDialog.h"
#include "base/Prompts.h"
#include "platform/Text.h"
#include "ui/ProgressWindow.h"
#include "ui/UiThread.h"

namespace qv {
namespace {

struct CountingTask : StopListener {
    void OnStop() override { ++stops; }
    int stops = 0;
};

TEST(ProgressWindow, CountsAndTimeLeftOnlyOnceTheyCanBeEstimated) {
    // Counts (stage, stages, done, total; files done, files total; unit), time spent, the text.
    const std::tuple<ProgressCounts, qint64, const char*> cases[] = {
        {{0, 1, 0, 0, 0, 5000}, 0, "0 of 5,000 files"},
        {{0, 1, 0, 0, 1200, 5000}, 2900, "1,200 of 5,000 files"},  // too early
        {{0, 1, 0, 0, 200, 5000}, 60000, "200 of 5,000 files"},    // too little done
        {{0, 1, 0, 0, 1000, 5000}, 4000, "1,000 of 5,000 files, about 16 s left"},
        {{0, 1, 0, 0, 2500, 5000}, 150000, "2,500 of 5,000 files, about 3 min left"},
        {{0, 1, 0, 0, 5000, 5000}, 150000, "5,000 of 5,000 files"},
        {{2, 5, 450, 1000}, 1000, "Stage 2 of 5: 45 %"},
        {{1, 2, 500, 1000}, 10000, "Stage 1 of 2: 50 %, this stage about 10 s left"},
        {{}, 10000, ""},
        {{1, 2, 120000, 200000, 0, 0, StepUnit::kRecords},
         1000,
         "Stage 1 of 2: 120,000 of 200,000 records"},
        {{2, 2, 500, 2000, 0, 0, StepUnit::kFiles},
         6000,
         "Stage 2 of 2: 500 of 2,000 files, this stage about 18 s left"},
    };
    for (const auto& [counts, elapsedMs, text] : cases)
        EXPECT_EQ(ProgressCountsText(counts, elapsedMs).toStdString(), text);
}

// The hook runs on the worker's thread before its close request is queued, and a request that
// arrives before the modal loop has started is kept.
TEST(ProgressWindow, AWorkerCloseBeforeTheLoopStartsIsKeptAndItsHookRunsFirstOnTheWorker) {
    ProgressWindow window(nullptr);
    ProgressDialog progress(&window);
    std::thread::id hookThread, workerThread;
    bool closedBeforeHook = true;
    window.SetBeforeClose([&] {
        hookThread = std::this_thread::get_id();
        closedBeforeHook = window.CloseReceived();
    });
    std::thread worker([&] {
        workerThread = std::this_thread::get_id();
        progress.Close(kIdCancel);
    });
    worker.join();
    // The close request is queued: nothing has run it yet.
    EXPECT_FALSE(window.CloseReceived());
    EXPECT_EQ(window.RunModal(), kIdCancel);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(hookThread, workerThread);
    EXPECT_FALSE(closedBeforeHook);
}

TEST(ProgressWindow, StartsAsDesignedShowsTheWorkersStatusAndBarAndEndsWithItsResult) {
    QWidget owner;
    ProgressWindow window(&owner);
    EXPECT_EQ(window.StatusText(), QStringLiteral("Searching deleted files, please wait..."));
    EXPECT_EQ(window.BarValue(), 0);
    EXPECT_EQ(window.StopButton()->text(), QStringLiteral("&Stop"));
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);  // no title bar
    EXPECT_TRUE(window.CountsText().isEmpty());
    EXPECT_TRUE(window.isModal());
    ProgressDialog progress(&window);
    window.Attach(&progress);
    QString statusSeen, titleSeen;
    std::vector<int> bar;
    QStringList counts;
    bool visibleWhileRunning = false;
    const auto work = [&] {
        progress.SetStatus(u"Recovering notes.txt", u"Please wait", nullptr);
        // What the worker set has taken effect on the window when its call returns.
        CallOnUiThread(&window, [&] {
            statusSeen = window.StatusText();
            titleSeen = window.windowTitle();
            visibleWhileRunning = window.isVisible();
        });
        progress.SetSteps(1000);
        for (int i = 0; i < 11; ++i) {
            progress.Step(101);  // more than a tenth: one advance each
            bar.push_back(CallOnUiThread(&window, [&] { return window.BarValue(); }));
        }
        counts.push_back(CallOnUiThread(&window, [&] { return window.CountsText(); }));
        progress.SetFiles(3, 1200);
        counts.push_back(CallOnUiThread(&window, [&] { return window.CountsText(); }));
        progress.Close(kIdOk);
    };
    test::OnWorker(work, [&] { EXPECT_EQ(window.RunModal(), kIdOk); });
    EXPECT_EQ(statusSeen, QStringLiteral("Recovering notes.txt"));
    EXPECT_EQ(titleSeen, QStringLiteral("Please wait"));
    EXPECT_TRUE(visibleWhileRunning);
    // Ten steps fill the bar; the eleventh starts it again.
    EXPECT_EQ(bar, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 10}));
    // 11 x 101 passes the stage's 1000: it is done.
    EXPECT_EQ(counts, (QStringList{QStringLiteral("Stage 1 of 1: 100 %"),
                                   QStringLiteral("3 of 1,200 files")}));
}

// Counts the queued calls that reach a window.
struct QueuedCalls : QObject {
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MetaCall) ++count;
        return false;
    }
    int count = 0;
};

TEST(ProgressWindow, StatusTextsDoNotWaitForTheWindowAndTheLatestIsShown) {
    constexpr int kTexts = 60000;  // a recovery of as many small files sets one each
    ProgressWindow window(nullptr);
    ProgressDialog progress(&window);
    QueuedCalls calls;
    window.installEventFilter(&calls);
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        for (int i = 1; i <= kTexts; ++i)
            progress.SetStatusText(u"Recovering file" + FromUtf8(std::to_string(i)));
        finished = true;
    });
    // The window thread looks at no event meanwhile: a worker that waited for it on any text
    // would not get through.
    const auto start = std::chrono::steady_clock::now();
    while (!finished && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool finishedAlone = finished.load();
    WaitProcessingEvents([&] { return finished.load(); });
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(finishedAlone);
    EXPECT_EQ(calls.count, 1);  // one update for all of them
    EXPECT_EQ(window.StatusText(), QStringLiteral("Recovering file60000"));
    // Later texts queue a new update; one set on the window thread shows at once.
    std::thread([&] { progress.SetStatusText(u"Recovering last.txt"); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.StatusText(), QStringLiteral("Recovering last.txt"));
    progress.SetStatusText(u"Searching deleted files, please wait...");
    EXPECT_EQ(window.StatusText(), QStringLiteral("Searching deleted files, please wait..."));
}

TEST(ProgressWindow, StopTellsTheTaskAndNeitherKeysNorTheCloseBoxEndIt) {
    ProgressWindow window(nullptr);
    ProgressDialog progress(&window);
    window.Attach(&progress);
    CountingTask task;
    bool sawCancel = false, openAfterAll = false;
    const auto work = [&] {
        progress.SetStatus(u"Searching deleted files, please wait...", u"Please wait", &task);
        CallOnUiThread(&window, [&] {
            QTest::mouseClick(window.StopButton(), Qt::LeftButton);
            QTest::mouseClick(window.StopButton(), Qt::LeftButton);
            // Only the worker ends the window: it holds a pointer to it until it has finished.
            for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
                QTest::keyClick(&window, key);
            window.close();  // what the window manager's close does
            QCloseEvent event;
            QApplication::sendEvent(&window, &event);
        });
        sawCancel = progress.IsCancelled();
        QTest::qSleep(50);
        openAfterAll = CallOnUiThread(&window, [&] { return window.isVisible(); });
        progress.Close(kIdOk);
    };
    test::OnWorker(work, [&] { EXPECT_EQ(window.RunModal(), kIdOk); });
    EXPECT_TRUE(sawCancel);
    EXPECT_TRUE(openAfterAll);
    EXPECT_EQ(task.stops, 2);
}

}  // namespace
}  // namespace qv
