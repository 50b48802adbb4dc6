// The Log page: lines from the window thread and a worker, Clear, and Save (UTF-8, ".log" added,
// an empty log, a cancelled dialog, a file that cannot be written).
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "app/Log.h"
#include "support/Fixtures.h"
#include "ui/LogPage.h"
#include "ui/UiThread.h"
#include "ui/WindowPrompts.h"

namespace qv {
namespace {

using test::ModalScript;

class LogPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.show();
        // 2008-03-05 14:03:07 in UTC, which the test program runs in.
        Log::Global().SetClockForTesting([] { return CTime::FromUnix(1204725787); });
    }
    void TearDown() override { Log::Global().SetClockForTesting(nullptr); }
    QString Text() const { return page_->Pane()->toPlainText(); }
    QWidget window_;
    WindowPrompts prompts_{&window_};
    LogPage* page_ = new LogPage(prompts_, &window_);
};

TEST_F(LogPageTest, LinesFromBothThreadsCarryTheTimeStampAndClearEmptiesThePane) {
    ASSERT_NE(Log::Global().Pane(), nullptr);
    QTest::mouseClick(page_->ClearButton(), Qt::LeftButton);  // on an empty pane
    Log::Global().Write(u"Scan finished\n");
    // A worker writes through the window thread and waits: the line is there when it returns.
    QString seen;
    test::OnWorker([&] {
        Log::Global().Write(u"Recover %s to %s success\n", u"\u65e5\u8a18.txt",
                            u"/out/\u65e5\u8a18.txt");
        seen = CallOnUiThread(page_, [&] { return Text(); });
    });
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
    // The line logged (none: an empty log), the name typed (none: the dialog is cancelled), the
    // file written, what it holds, and the message box, when one comes.
    const std::tuple<const char16_t*, const char*, const char*, std::string, std::string> cases[] =
        {
            {u"Recovering \u0416.txt ... \n", "report", "report.log",
             "2008-03-05 14:03:07  Recovering \xD0\x96.txt ... \n", ""},
            {nullptr, "empty.log", "empty.log", "", ""},
            {u"Scan finished\n", nullptr, nullptr, "", ""},
            // A folder that does not exist: even root cannot create a file in it.
            {u"Scan finished\n", "gone/saved.log", nullptr, "",
             "Error|Save log to " + temp.filePath(QStringLiteral("gone/saved.log")).toStdString() +
                 " failed: No such file or directory"},
        };
    for (const auto& [line, name, saved, content, message] : cases) {
        SCOPED_TRACE(name ? name : "cancelled");
        Log::Global().Clear();
        if (line) Log::Global().Write(line);
        ModalScript script;
        std::string said;
        script.Then<QFileDialog>([&](QFileDialog* d) {
            // A name without extension gets ".log".
            EXPECT_EQ(d->defaultSuffix(), QStringLiteral("log"));
            EXPECT_TRUE(d->nameFilters().join(QLatin1Char(';')).contains(QStringLiteral("*.log")));
            if (name)
                test::TypeAndAccept(d, temp.filePath(QString::fromLatin1(name)));
            else
                d->reject();
        });
        if (!message.empty()) script.ThenMessage(said);
        EXPECT_TRUE(script.Run([&] { page_->SaveButton()->click(); }));
        EXPECT_EQ(said, message);
        if (saved) {
            EXPECT_EQ(test::ReadText(temp.filePath(QString::fromLatin1(saved)).toStdString()),
                      content);
        }
    }
    // Nothing else was written: the cancelled dialog and the failed save left no file.
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("empty.log"), QStringLiteral("report.log")}));
}

}  // namespace
}  // namespace qv
