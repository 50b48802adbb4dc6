// How the main window reflows: every control whole at the start size, the minimum and
// maximised; the list takes the room the window gains, its last column reaching its edge.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "ui/DialogUnits.h"
#include "ui/LogPage.h"
#include "ui/MainDialog.h"
#include "ui/ResultModel.h"
#include "ui/ResultSheet.h"
#include "ui/UndeletePage.h"

namespace qv {
namespace {

// Where a widget lies in the window's coordinates.
QRect InWindow(const QWidget* widget) {
    return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

struct Geometry {
    QRect list;
    int lastColumnEnd;
};

Geometry Measure(MainDialog& dialog, QSize size) {
    dialog.resize(size);
    QTest::qWait(20);
    UndeletePage& page = *dialog.Sheet()->Undelete();
    for (QWidget* widget : std::vector<QWidget*>{
             dialog.DriveChooser(), dialog.ScanButton(), dialog.AdvancedScan(), dialog.HelpButton(),
             dialog.QuitButton(), page.List(), page.UndeleteButton(), page.SelectAllButton(),
             page.ClearAllButton()}) {
        SCOPED_TRACE(widget->metaObject()->className() + std::string(" ") +
                     widget->objectName().toStdString());
        const QRect at = InWindow(widget);
        EXPECT_TRUE(dialog.rect().contains(at))
            << at.x() << "," << at.y() << " " << at.width() << "x" << at.height();
        EXPECT_GE(at.width(), widget->minimumSizeHint().width());
    }
    QHeaderView* header = page.List()->horizontalHeader();
    const int last = ResultModel::kColumns - 1;
    return {InWindow(page.List()),
            header->sectionViewportPosition(last) + header->sectionSize(last)};
}

TEST(Layout, ReflowsAtEverySizeOnEveryPage) {
    MainDialog dialog({});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.size(), QSize(800, 600));
    // The minimum shows every control whole; asking for less gives the minimum.
    const QSize minimum = dialog.minimumSize();
    EXPECT_GE(minimum.width(), MainDialog::kMinimumWidth);
    EXPECT_GE(minimum.height(), MainDialog::kMinimumHeight);
    EXPECT_LT(minimum.width(), 800);
    EXPECT_LT(minimum.height(), 600);

    const Geometry start = Measure(dialog, QSize(800, 600));
    const Geometry small = Measure(dialog, QSize(300, 200));
    EXPECT_EQ(dialog.size(), minimum);
    const Geometry large = Measure(dialog, QSize(1600, 1100));

    // The list grows by what the window grows; its last column reaches its right edge.
    EXPECT_EQ(large.list.width() - start.list.width(), 800);
    EXPECT_EQ(large.list.height() - start.list.height(), 500);
    EXPECT_LT(small.list.width(), start.list.width());
    EXPECT_EQ(large.lastColumnEnd, dialog.Sheet()->Undelete()->List()->viewport()->width());
    // Quit stays at the right edge, Help above it.
    EXPECT_GT(InWindow(dialog.QuitButton()).right(), 1500);
    EXPECT_LT(InWindow(dialog.HelpButton()).bottom(), InWindow(dialog.QuitButton()).top());
    EXPECT_LT(InWindow(dialog.QuitButton()).bottom(), large.list.top());

    // The Log page fills its tab, and the list its own after a resize while it was hidden.
    dialog.Sheet()->SetActivePage(1);
    dialog.resize(1200, 900);  // while the Deleted files page is hidden
    QTest::qWait(20);
    LogPage& log = *dialog.Sheet()->Log();
    const QRect pane = InWindow(log.Pane());
    EXPECT_GT(pane.width(), 1100);
    EXPECT_GT(pane.height(), 600);
    EXPECT_GT(InWindow(log.ClearButton()).top(), pane.bottom());
    EXPECT_TRUE(dialog.rect().contains(InWindow(log.SaveButton())));
    dialog.Sheet()->SetActivePage(0);
    EXPECT_GT(InWindow(dialog.Sheet()->Undelete()->List()).width(), 1100);
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
}

}  // namespace
}  // namespace qv
