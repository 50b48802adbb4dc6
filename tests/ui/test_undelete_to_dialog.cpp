// "Undelete To": its controls and how many files it names, the empty-path message, what passes
// OK (the path, the boxes, what to do with a file that exists), Browse, and Cancel.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "platform/Text.h"
#include "recovery/TargetNames.h"
#include "ui/QtText.h"
#include "ui/UndeleteToDialog.h"

namespace qv {
namespace {

using test::ModalScript;

TEST(UndeleteTo, StartsEmptyUncheckedAndAskingEveryTime) {
    for (const int files : {1, 5000}) {
        UndeleteToDialog dialog(nullptr, files);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Undelete To"));
        EXPECT_EQ(dialog.Prompt()->text(), files == 1
                                               ? QStringLiteral("Recover 1 ticked file to:")
                                               : QStringLiteral("Recover 5000 ticked files to:"));
        EXPECT_TRUE(dialog.PathEdit()->text().isEmpty());
        EXPECT_FALSE(dialog.PathnamesBox()->isChecked());
        EXPECT_FALSE(dialog.TimestampsBox()->isChecked());
        EXPECT_EQ(dialog.PathnamesBox()->text(), QStringLiteral("Do not recover pathnames"));
        EXPECT_EQ(dialog.TimestampsBox()->text(), QStringLiteral("&Restore timestamps"));
        QStringList answers;
        for (int i = 0; i < dialog.IfExistsBox()->count(); ++i)
            answers.append(dialog.IfExistsBox()->itemText(i));
        EXPECT_EQ(answers, (QStringList{QStringLiteral("Ask"), QStringLiteral("Overwrite"),
                                        QStringLiteral("Skip"), QStringLiteral("Keep both")}));
        EXPECT_EQ(dialog.IfExistsBox()->currentIndex(), 0);
        EXPECT_EQ(dialog.BrowseButton()->text(), QStringLiteral("&Browse"));
        EXPECT_TRUE(dialog.OkButton()->isDefault());
        dialog.PathEdit()->setText(QStringLiteral("/somewhere"));
        dialog.PathnamesBox()->setChecked(true);
        dialog.TimestampsBox()->setChecked(true);
        dialog.IfExistsBox()->setCurrentIndex(2);
    }
}

TEST(UndeleteTo, AnEmptyOrBlankPathIsRefusedWithAMessageAndTheDialogStays) {
    UndeleteToDialog dialog(nullptr, 2);
    ModalScript script;
    std::vector<std::string> said;
    bool openDuringMessage = false;
    const auto answer = [&](QMessageBox* box) {
        said.push_back(box->windowTitle().toStdString() + "|" + box->text().toStdString());
        openDuringMessage = dialog.isVisible();
        box->button(QMessageBox::Ok)->click();
    };
    script.Then<UndeleteToDialog>([&](UndeleteToDialog* d) { d->OkButton()->click(); })
        .Then<QMessageBox>(answer)
        .Then<UndeleteToDialog>([&](UndeleteToDialog* d) {
            // Blanks name no folder: taken as they stand they would put the files at "/".
            d->PathEdit()->setText(QStringLiteral(" \t "));
            QTest::keyClick(d->PathEdit(), Qt::Key_Return);  // Enter is OK
        })
        .Then<QMessageBox>(answer)
        .Then<UndeleteToDialog>([&](UndeleteToDialog* d) {
            d->PathEdit()->setText(QStringLiteral("~/restored"));
            d->OkButton()->click();
        });
    EXPECT_TRUE(script.Run([&] { EXPECT_EQ(dialog.exec(), QDialog::Accepted); }));
    const std::string message = "No path|Please enter the path that undeleted files will be saved.";
    EXPECT_EQ(said, (std::vector<std::string>{message, message}));
    EXPECT_TRUE(openDuringMessage);
    // "~" is the home folder, never a folder named "~" in the current one.
    EXPECT_EQ(ToUtf8(TidyDestination(FromQString(dialog.Path()))),
              QDir::homePath().toStdString() + "/restored/");
}

TEST(UndeleteTo, OkHandsOverThePathAsTypedTheBoxesAndWhatToDoWithAFileThatExists) {
    // The entries mean what the terminal's --if-exists ask, overwrite, skip and rename mean.
    const ExistingFile answers[] = {ExistingFile::kAsk, ExistingFile::kOverwrite,
                                    ExistingFile::kSkip, ExistingFile::kRename};
    for (int i = 0; i < 4; ++i) {
        UndeleteToDialog dialog(nullptr, 3);
        const auto fill = [&](UndeleteToDialog* d) {
            d->PathEdit()->setText(QStringLiteral("/mnt/out  "));
            if (i % 2) d->PathnamesBox()->click();
            if (i / 2) d->TimestampsBox()->click();
            d->IfExistsBox()->setCurrentIndex(i);
            d->OkButton()->click();
        };
        EXPECT_TRUE(ModalScript().Then<UndeleteToDialog>(fill).Run(
            [&] { EXPECT_EQ(dialog.exec(), QDialog::Accepted); }));
        EXPECT_EQ(dialog.Path(), QStringLiteral("/mnt/out  "));
        EXPECT_EQ(dialog.DoNotRecoverPathnames(), i % 2 == 1);
        EXPECT_EQ(dialog.RestoreTimestamps(), i / 2 == 1);
        EXPECT_EQ(dialog.IfExists(), answers[i]);
        EXPECT_EQ(TidyDestination(FromQString(dialog.Path())), u"/mnt/out/");
    }
}

// The Cancel button is pressed in MainWindow.StopDuringAScanAndUndeleteCancelled...
TEST(UndeleteTo, BrowseReplacesThePathAndEscapeCancels) {
    QTemporaryDir temp;
    UndeleteToDialog dialog(nullptr, 2);
    ModalScript script;
    QString browserTitle;
    script
        .Then<UndeleteToDialog>([&](UndeleteToDialog* d) {
            d->PathEdit()->setText(QStringLiteral("typed"));
            d->BrowseButton()->click();
        })
        .Then<QFileDialog>([&](QFileDialog* browser) {
            browserTitle = browser->windowTitle();
            EXPECT_EQ(browser->fileMode(), QFileDialog::Directory);
            browser->reject();
        })
        .Then<UndeleteToDialog>([&](UndeleteToDialog* d) {
            EXPECT_EQ(d->PathEdit()->text(), QStringLiteral("typed"));
            d->BrowseButton()->click();
        })
        .Then<QFileDialog>([&](QFileDialog* browser) { test::TypeAndAccept(browser, temp.path()); })
        .Then<UndeleteToDialog>([&](UndeleteToDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
    EXPECT_TRUE(script.Run([&] { EXPECT_EQ(dialog.exec(), QDialog::Rejected); }));
    EXPECT_EQ(browserTitle, QStringLiteral("Save to"));
    EXPECT_EQ(QDir(dialog.PathEdit()->text()).canonicalPath(), QDir(temp.path()).canonicalPath());
}

}  // namespace
}  // namespace qv
