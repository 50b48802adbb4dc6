// The Log page: lines as the log writes them (from the window thread and from a worker), Clear,
// and Save: UTF-8 with "\n", ".log" added, an empty log, a cancelled dialog, and a file that
// cannot be written.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <ctime>
#include <thread>

#include "UiTestSupport.h"
#include "app/Log.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "ui/LogPage.h"
#include "ui/UiThread.h"
#include "ui/WindowPrompts.h"

namespace qv {
namespace {

using test::ModalScript;

// 2008-03-05 14:03:07 in UTC, which the test program runs in.
CTime March5() {
    std::tm t{};
    t.tm_year = 108;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 3;
    t.tm_sec = 7;
    return CTime::FromUnix(timegm(&t));
}

class LogPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<QWidget>();
        prompts_ = std::make_unique<WindowPrompts>(window_.get());
        page_ = new LogPage(*prompts_, window_.get());
        window_->show();
        Log::Global().SetClockForTesting([] { return March5(); });
    }
    void TearDown() override {
        Log::Global().SetClockForTesting(nullptr);
        window_.reset();
    }
    QString Text() const { return page_->Pane()->toPlainText(); }
    std::unique_ptr<QWidget> window_;
    std::unique_ptr<WindowPrompts> prompts_;
    LogPage* page_ = nullptr;
};

TEST_F(LogPageTest, LinesCarryTheTimeStampTwoBlanksAndTheMessage) {
    ASSERT_EQ(Log::Global().Pane() != nullptr, true);
    Log::Global().Write(u"Scan finished\n");
    Log::Global().Write(u"Recover %s to %s success\n", u"\u65e5\u8a18.txt",
                        u"/out/\u65e5\u8a18.txt");
    EXPECT_EQ(Text(), QString::fromUtf8("2008-03-05 14:03:07  Scan finished\n"
                                        "2008-03-05 14:03:07  Recover 日記.txt to /out/日記.txt "
                                        "success\n"));
    EXPECT_EQ(page_->Pane()->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_TRUE(page_->Pane()->isReadOnly());
}

TEST_F(LogPageTest, AWorkerWritesThroughTheWindowThreadAndWaits) {
    std::atomic<bool> done{false};
    QString seen;
    std::thread worker([&] {
        Log::Global().Write(u"Start recover\n");
        seen = CallOnUiThread(page_, [&] { return Text(); });  // already there
        done = true;
    });
    WaitProcessingEvents([&] { return done.load(); });
    worker.join();
    EXPECT_EQ(seen, QStringLiteral("2008-03-05 14:03:07  Start recover\n"));
}

TEST_F(LogPageTest, ClearEmptiesThePaneAndTheNextLineStartsAtTheTop) {
    QTest::mouseClick(page_->ClearButton(), Qt::LeftButton);  // on an empty pane
    EXPECT_TRUE(Text().isEmpty());
    Log::Global().Write(u"one\n");
    QTest::mouseClick(page_->ClearButton(), Qt::LeftButton);
    EXPECT_TRUE(Text().isEmpty());
    Log::Global().Write(u"two\n");
    EXPECT_EQ(Text(), QStringLiteral("2008-03-05 14:03:07  two\n"));
    EXPECT_EQ(page_->ClearButton()->text(), QStringLiteral("Clear &Log"));
    EXPECT_EQ(page_->SaveButton()->text(), QStringLiteral("Sa&ve Log"));
}

TEST_F(LogPageTest, KeepsEveryLine) {
    for (int i = 0; i < 20000; ++i)
        Log::Global().Write(u"line %d\n", i);
    EXPECT_EQ(page_->Pane()->document()->blockCount(), 20001);  // and the empty last line
    EXPECT_TRUE(Text().startsWith(QStringLiteral("2008-03-05 14:03:07  line 0\n")));
    EXPECT_TRUE(Text().endsWith(QStringLiteral("line 19999\n")));
}

TEST_F(LogPageTest, SaveWritesUtf8WithTheExtensionAdded) {
    QTemporaryDir temp;
    Log::Global().Write(u"Recovering %s ... \n", u"\u0416.txt");
    ModalScript script;
    script.Then<QFileDialog>(
        [&](QFileDialog* d) { test::TypeAndAccept(d, temp.filePath(QStringLiteral("report"))); });
    page_->SaveButton()->click();
    EXPECT_TRUE(script.Done());
    const auto bytes =
        test::ReadWholeFile(temp.filePath(QStringLiteral("report.log")).toStdString());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "2008-03-05 14:03:07  Recovering \xD0\x96.txt ... \n");
}

TEST_F(LogPageTest, SavingAnEmptyLogMakesAnEmptyFileAndCancelMakesNone) {
    QTemporaryDir temp;
    {
        ModalScript script;
        script.Then<QFileDialog>([&](QFileDialog* d) { d->reject(); });
        page_->SaveButton()->click();
        EXPECT_TRUE(script.Done());
    }
    EXPECT_TRUE(QDir(temp.path()).isEmpty());
    {
        ModalScript script;
        script.Then<QFileDialog>([&](QFileDialog* d) {
            test::TypeAndAccept(d, temp.filePath(QStringLiteral("empty.log")));
        });
        page_->SaveButton()->click();
        EXPECT_TRUE(script.Done());
    }
    QFileInfo saved(temp.filePath(QStringLiteral("empty.log")));
    EXPECT_TRUE(saved.isFile());
    EXPECT_EQ(saved.size(), 0);
}

TEST_F(LogPageTest, ALogThatCannotBeWrittenIsReportedWithItsReason) {
    Log::Global().Write(u"Scan finished\n");
    QTemporaryDir temp;
    // A folder that does not exist: even root cannot create a file in it.
    const QString path = temp.filePath(QStringLiteral("gone/saved.log"));
    ModalScript script;
    std::string said;
    script.Then<QFileDialog>([&](QFileDialog* d) { test::TypeAndAccept(d, path); })
        .Then<QMessageBox>([&](QMessageBox* box) {
            said = box->windowTitle().toStdString() + "|" + box->text().toStdString();
            box->button(QMessageBox::Ok)->click();
        });
    page_->SaveButton()->click();
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(script.Problems().empty()) << script.Problems().front();
    EXPECT_EQ(said,
              "Error|Save log to " + path.toStdString() + " failed: No such file or directory");
}

}  // namespace
}  // namespace qv
