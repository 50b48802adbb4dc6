// Where the sheet, its pages, the list and the buttons sit after the window is resized: the
// resize rules in pixels, checked at 800 x 600, at the minimum size, and after a resize made
// while another page was shown.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "ui/DialogUnits.h"
#include "ui/ListPreview.h"
#include "ui/LogPage.h"
#include "ui/MainDialog.h"
#include "ui/ResultSheet.h"
#include "ui/UndeletePage.h"

namespace qv {
namespace {

// The rules, written out once more: the sheet below the controls reaching the right and bottom
// edges; the tab control 12 pixels short of the sheet's; each page 14 short; on the Deleted
// files page the list keeps its corner, the buttons sit 2 pixels above the bottom, Select all
// centred; on the Log page the pane fills the top and the two buttons sit 10 pixels apart.
void ExpectLayout(MainDialog& dialog, int width, int height) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    ASSERT_EQ(dialog.size(), QSize(width, height));
    ResultSheet* sheet = dialog.Sheet();
    EXPECT_EQ(sheet->geometry(), QRect(12, 80, width - 12, height - 80));
    const int sx = sheet->width(), sy = sheet->height();
    EXPECT_EQ(sheet->Tabs()->geometry(), QRect(0, 0, sx - 12, sy - 12));

    const QPoint origin = sheet->Tabs()->PageOrigin();
    UndeletePage* page = sheet->Undelete();
    EXPECT_EQ(page->pos(), origin);
    EXPECT_EQ(page->size(), QSize(sx - origin.x() - 14, sy - origin.y() - 14));

    const DialogUnits pageUnits(PageFont());
    const int cx = page->width(), cy = page->height();
    const int w = pageUnits.X(45), h = pageUnits.Y(12);
    const QPoint corner(pageUnits.X(7), pageUnits.Y(7));
    EXPECT_EQ(page->Preview()->geometry(),
              QRect(corner, QSize(cx - corner.x() - 12, cy - corner.y() - h - 12)));
    EXPECT_EQ(page->SelectAllButton()->geometry(), QRect(cx / 2 - w / 2, cy - h - 2, w, h));
    EXPECT_EQ(page->UndeleteButton()->geometry(), QRect(cx / 2 - w / 2 - 10 - w, cy - h - 2, w, h));
    EXPECT_EQ(page->ClearAllButton()->geometry(), QRect(cx / 2 + w / 2 + 10, cy - h - 2, w, h));
    // The buttons never overlap and the list ends 10 pixels above them.
    EXPECT_EQ(page->Preview()->geometry().bottom() + 1 + 10, page->SelectAllButton()->y());

    // A hidden page is laid out when it is shown.
    sheet->SetActivePage(1);
    LogPage* log = sheet->Log();
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->pos(), origin);
    EXPECT_EQ(log->size(), page->size());
    const int lw = pageUnits.X(45), lh = pageUnits.Y(12);  // Clear's size; Save takes it
    EXPECT_EQ(log->Pane()->geometry(), QRect(0, 0, cx, cy - lh - 12));
    EXPECT_EQ(log->ClearButton()->geometry(), QRect(cx / 2 - lw - 5, cy - lh - 2, lw, lh));
    EXPECT_EQ(log->SaveButton()->geometry(), QRect(cx / 2 + 5, cy - lh - 2, lw, lh));
    sheet->SetActivePage(0);
}

TEST(Layout, FollowsTheResizeRulesAtTheStartSizeAndAtTheMinimum) {
    MainDialog dialog({});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ExpectLayout(dialog, 800, 600);

    // Smaller than 550 x 400 is refused at that size.
    dialog.resize(300, 200);
    QTest::qWait(20);
    ExpectLayout(dialog, 550, 400);

    dialog.resize(1000, 700);
    QTest::qWait(20);
    ExpectLayout(dialog, 1000, 700);
}

TEST(Layout, APageResizedWhileHiddenIsRightWhenShown) {
    MainDialog dialog({});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.Sheet()->SetActivePage(1);
    dialog.resize(900, 650);
    QTest::qWait(20);
    dialog.Sheet()->SetActivePage(0);
    ExpectLayout(dialog, 900, 650);
}

TEST(Layout, ControlsAboveTheSheetKeepTheirPlaces) {
    MainDialog dialog({});
    dialog.show();
    const QRect scan = dialog.ScanButton()->geometry();
    const QRect help = dialog.HelpButton()->geometry();
    dialog.resize(1200, 800);
    QTest::qWait(20);
    EXPECT_EQ(dialog.ScanButton()->geometry(), scan);
    EXPECT_EQ(dialog.HelpButton()->geometry(), help);
    // And they sit where the design puts them, in the dialog font's units.
    const DialogUnits du(DialogFont());
    EXPECT_EQ(scan, du.Rect(142, 18, 34, 14));
    EXPECT_EQ(help, du.Rect(294, 11, 45, 12));
    EXPECT_EQ(dialog.QuitButton()->geometry(), du.Rect(294, 25, 45, 12));
    // Everything above the sheet ends above its top.
    EXPECT_LT(dialog.QuitButton()->geometry().bottom(), MainDialog::kSheetTop);
}

TEST(DialogUnitsTest, AQuarterOfTheAverageWidthAndAnEighthOfTheHeight) {
    const DialogUnits du(DialogFont());
    ASSERT_GT(du.BaseX(), 0);
    ASSERT_GT(du.BaseY(), 0);
    EXPECT_EQ(du.X(4), du.BaseX());
    EXPECT_EQ(du.Y(8), du.BaseY());
    EXPECT_EQ(du.X(400), 100 * du.BaseX());
    EXPECT_EQ(du.Y(0), 0);
    // Rounded to the nearest pixel: 1 unit of a base of 6 is 1.5 pixels, shown as 2.
    EXPECT_EQ(du.X(2), (2 * du.BaseX() + 2) / 4);
    EXPECT_EQ(du.Size(179, 57), QSize(du.X(179), du.Y(57)));
}

}  // namespace
}  // namespace qv
