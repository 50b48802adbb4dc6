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

TEST_F(LogPageTest, LinesFromBothThreadsCarryTheTimeStampAndClearEmptiesThePane) {
    ASSERT_NE(Log::Global().Pane(), nullptr);
    QTest::mouseClick(page_->ClearButton(), Qt::LeftButton);  // on an empty pane
    Log::Global().Write(u"Scan finished\n");
    // A worker writes through the window thread and waits: the line is there when it returns.
    std::atomic<bool> done{false};
    QString seen;
    std::thread worker([&] {
        Log::Global().Write(u"Recover %s to %s success\n", u"\u65e5\u8a18.txt",
                            u"/out/\u65e5\u8a18.txt");
        seen = CallOnUiThread(page_, [&] { return Text(); });
        done = true;
    });
    WaitProcessingEvents([&] { return done.load(); });
    worker.join();
    EXPECT_EQ(seen, QString::fromUtf8("2008-03-05 14:03:07  Scan finished\n"
                                      "2008-03-05 14:03:07  Recover 日記.txt to /out/日記.txt "
                                      "success\n"));
    EXPECT_EQ(page_->Pane()->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_TRUE(page_->Pane()->isReadOnly());
    // Clear empties it; the next line starts at the top. Every line is kept.
    QTest::mouseClick(page_->ClearButton(), Qt::LeftButton);
    EXPECT_TRUE(Text().isEmpty());
    for (int i = 0; i < 20000; ++i)
        Log::Global().Write(u"line %d\n", i);
    EXPECT_EQ(page_->Pane()->document()->blockCount(), 20001);  // and the empty last line
    EXPECT_TRUE(Text().startsWith(QStringLiteral("2008-03-05 14:03:07  line 0\n")));
    EXPECT_TRUE(Text().endsWith(QStringLiteral("line 19999\n")));
    EXPECT_EQ(page_->ClearButton()->text(), QStringLiteral("Clear &Log"));
    EXPECT_EQ(page_->SaveButton()->text(), QStringLiteral("Sa&ve Log"));
}

TEST_F(LogPageTest, SaveWritesUtf8WithTheExtensionAddedOrSaysWhyNot) {
    QTemporaryDir temp;
    const struct {
        const char16_t* line;  // nothing: an empty log
        const char* name;      // nothing: the dialog is cancelled
        const char* saved;     // the file written
        std::string content;
        std::string said;  // the message box, when one comes
    } cases[] = {
        {u"Recovering \u0416.txt ... \n", "report", "report.log",
         "2008-03-05 14:03:07  Recovering \xD0\x96.txt ... \n", ""},
        {nullptr, "empty.log", "empty.log", "", ""},
        {u"Scan finished\n", nullptr, nullptr, "", ""},
        // A folder that does not exist: even root cannot create a file in it.
        {u"Scan finished\n", "gone/saved.log", nullptr, "",
         "Error|Save log to " + temp.filePath(QStringLiteral("gone/saved.log")).toStdString() +
             " failed: No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "cancelled");
        Log::Global().Clear();
        if (c.line) Log::Global().Write(c.line);
        ModalScript script;
        std::string said;
        script.Then<QFileDialog>([&](QFileDialog* d) {
            if (c.name)
                test::TypeAndAccept(d, temp.filePath(QString::fromLatin1(c.name)));
            else
                d->reject();
        });
        if (!c.said.empty())
            script.Then<QMessageBox>([&](QMessageBox* box) {
                said = box->windowTitle().toStdString() + "|" + box->text().toStdString();
                box->button(QMessageBox::Ok)->click();
            });
        page_->SaveButton()->click();
        EXPECT_TRUE(script.Done());
        EXPECT_TRUE(script.Problems().empty()) << script.Problems().front();
        EXPECT_EQ(said, c.said);
        if (c.saved) {
            const auto bytes =
                test::ReadWholeFile(temp.filePath(QString::fromLatin1(c.saved)).toStdString());
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.content);
        }
    }
    // Nothing else was written: the cancelled dialog and the failed save left no file.
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("empty.log"), QStringLiteral("report.log")}));
}

}  // namespace
}  // namespace qv
