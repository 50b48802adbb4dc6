#include <gtest/gtest.h>

#include <thread>

#include "app/ProgressDialog.h"

namespace qv {
namespace {

struct CountingView final : ProgressView {
    void SetStatusText(const std::u16string& t) override { status = t; }
    void SetTitle(const std::u16string& t) override { title = t; }
    void StepBar() override { ++steps; }
    void Close(int r) override { closed = r; }
    std::u16string status, title;
    int steps = 0;
    int closed = -1;
};

struct StopCounter final : StopListener {
    void OnStop() override { ++stops; }
    int stops = 0;
};

TEST(ProgressDialog, StepBeforeAnyStageIsIgnored) {
    CountingView view;
    ProgressDialog p(&view);
    p.Step(1'000'000);
    EXPECT_EQ(view.steps, 0);
    p.SetSteps(0);
    p.Step(5);
    EXPECT_EQ(view.steps, 0);
}

TEST(ProgressDialog, AdvancesWhenMoreThanATenthHasAccumulated) {
    CountingView view;
    ProgressDialog p(&view);
    p.SetSteps(1000);
    p.Step(50);
    p.Step(50);
    EXPECT_EQ(view.steps, 0);  // 100 is not more than 100
    p.Step(50);
    EXPECT_EQ(view.steps, 1);
    EXPECT_EQ(p.Accumulated(), 0u);
}

TEST(ProgressDialog, StagesSpreadOneFillingOverTheWholeOperation) {
    ProgressDialog p;
    p.SetStageCount(3);
    p.SetSteps(300);
    EXPECT_EQ(p.Threshold(), 900);
    p.Step(90);
    EXPECT_EQ(p.BarAdvances(), 0);
    p.Step(1);
    EXPECT_EQ(p.BarAdvances(), 1);
    // A new stage keeps the bar where it is.
    p.SetSteps(10);
    EXPECT_EQ(p.BarPosition(), 10);
}

TEST(ProgressDialog, OneHugeStepAdvancesOnce) {
    ProgressDialog p;
    p.SetSteps(100);
    p.Step(100'000);
    EXPECT_EQ(p.BarAdvances(), 1);
}

TEST(ProgressDialog, TheEleventhAdvanceStartsTheBarAgain) {
    ProgressDialog p;
    p.SetSteps(10);
    for (int i = 0; i < 10; ++i)
        p.Step(2);
    EXPECT_EQ(p.BarPosition(), 100);
    p.Step(2);
    EXPECT_EQ(p.BarPosition(), 10);
}

TEST(ProgressDialog, StopTellsTheTaskAndSetsTheFlagForGood) {
    CountingView view;
    StopCounter task;
    ProgressDialog p(&view);
    p.SetStatus(u"Searching deleted files, please wait...", u"Please wait", &task);
    EXPECT_EQ(view.status, u"Searching deleted files, please wait...");
    EXPECT_EQ(view.title, u"Please wait");
    EXPECT_FALSE(p.IsCancelled());
    p.Stop();
    p.Stop();
    EXPECT_TRUE(p.IsCancelled());
    EXPECT_EQ(task.stops, 2);
    EXPECT_EQ(view.closed, -1);  // Stop never closes the window
}

TEST(ProgressDialog, CloseRequestWaitsForWhoeverWaitsLater) {
    ProgressDialog p;
    std::thread worker([&] { p.Close(1); });
    worker.join();  // the worker is done before anyone waits
    EXPECT_TRUE(p.IsCloseRequested());
    EXPECT_EQ(p.WaitForClose(), 1);

    ProgressDialog q;
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        q.Close(2);
    });
    EXPECT_EQ(q.WaitForClose(), 2);
    late.join();
}

}  // namespace
}  // namespace qv
