// The deleted-files list: the model's sort by each column and its order for equal keys, the
// rows' own copies of their texts, check boxes, and the workers' side of it (rows in batches,
// reads from a worker thread, a 100,000-row scan that stays linear).
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "UiTestSupport.h"
#include "platform/Text.h"
#include "scan/DeletedFileEntry.h"
#include "ui/ResultModel.h"
#include "ui/UiThread.h"
#include "ui/WindowListControl.h"

namespace qv {
namespace {

std::unique_ptr<DeletedFileEntry> Entry(const std::u16string& name, uint64_t size,
                                        int64_t created = 0, int64_t deleted = 0,
                                        const std::u16string& path = u"C:\\") {
    auto e = std::make_unique<DeletedFileEntry>();
    e->name = name;
    e->size = size;
    e->created = CTime::FromUnix(created);
    e->deleted = CTime::FromUnix(deleted);
    e->path = path;
    e->type = TypeOf(name);
    return e;
}

// Inserts the entries as a scan does: each at the top, with its six texts.
void Fill(WindowListControl& list, const std::vector<std::unique_ptr<DeletedFileEntry>>& entries) {
    for (const auto& e : entries)
        InsertRow(list, *e);
    list.Flush();
}

std::vector<std::u16string> Column(const ResultModel& model, int column) {
    std::vector<std::u16string> texts;
    for (int r = 0; r < model.Count(); ++r)
        texts.push_back(FromQString(model.At(r).texts[static_cast<size_t>(column)]));
    return texts;
}

TEST(ResultList, RowsInsertedAtTheTopEndNewestFirst) {
    ResultModel model;
    WindowListControl list(model);
    std::vector<std::unique_ptr<DeletedFileEntry>> entries;
    entries.push_back(Entry(u"a.txt", 1));
    entries.push_back(Entry(u"b.txt", 2000));
    entries.push_back(Entry(u"c", 0));
    Fill(list, entries);
    EXPECT_EQ(Column(model, 0), (std::vector<std::u16string>{u"c", u"b.txt", u"a.txt"}));
    EXPECT_EQ(Column(model, 1), (std::vector<std::u16string>{u"", u"txt", u"txt"}));
    EXPECT_EQ(Column(model, 2), (std::vector<std::u16string>{u"0 KB", u"2 KB", u"1 KB"}));
    EXPECT_EQ(model.data(model.index(1, 2), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                  Qt::AlignRight,
              Qt::AlignRight);
    EXPECT_EQ(model.data(model.index(0, 0), Qt::CheckStateRole).value<Qt::CheckState>(),
              Qt::Unchecked);
}

TEST(ResultList, NamesSortByCodeUnitSizesAsNumbersTimesAsTimes) {
    ResultModel model;
    WindowListControl list(model);
    std::vector<std::unique_ptr<DeletedFileEntry>> entries;
    entries.push_back(Entry(u"alpha", 10, 300, 50, u"C:\\b\\"));
    entries.push_back(Entry(u"Beta", 9, 100, 70, u"C:\\a\\"));
    entries.push_back(Entry(u"\u00e9t\u00e9", 1024 * 1024 * 5, 200, 60, u"C:\\"));
    Fill(list, entries);

    model.Sort(0, false);  // upper-case B before lower-case a, é (U+00E9) last
    EXPECT_EQ(Column(model, 0), (std::vector<std::u16string>{u"Beta", u"alpha", u"\u00e9t\u00e9"}));
    model.Sort(0, true);
    EXPECT_EQ(Column(model, 0), (std::vector<std::u16string>{u"\u00e9t\u00e9", u"alpha", u"Beta"}));
    model.Sort(2, false);  // 9 before 10 (as text, "10" would come first)
    EXPECT_EQ(Column(model, 0), (std::vector<std::u16string>{u"Beta", u"alpha", u"\u00e9t\u00e9"}));
    model.Sort(3, false);  // created 100, 200, 300
    EXPECT_EQ(Column(model, 0), (std::vector<std::u16string>{u"Beta", u"\u00e9t\u00e9", u"alpha"}));
    model.Sort(4, true);  // deleted 70, 60, 50
    EXPECT_EQ(Column(model, 0), (std::vector<std::u16string>{u"Beta", u"\u00e9t\u00e9", u"alpha"}));
    model.Sort(5, false);
    EXPECT_EQ(Column(model, 5), (std::vector<std::u16string>{u"C:\\", u"C:\\a\\", u"C:\\b\\"}));
}

TEST(ResultList, SortKeepsSelectionAndChecksWithTheirRows) {
    ResultModel model;
    WindowListControl list(model);
    std::vector<std::unique_ptr<DeletedFileEntry>> entries;
    for (const char16_t* name : {u"d", u"b", u"a", u"c"})
        entries.push_back(Entry(name, 1));
    Fill(list, entries);  // c a b d
    QTableView view;
    view.setModel(&model);
    view.selectionModel()->select(model.index(1, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    model.SetChecked(3, true);  // "d"
    model.Sort(0, false);
    EXPECT_EQ(Column(model, 0), (std::vector<std::u16string>{u"a", u"b", u"c", u"d"}));
    EXPECT_TRUE(model.At(3).checked);
    EXPECT_FALSE(model.At(0).checked);
    const auto selected = view.selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.front().row(), 0);  // "a" was selected
}

TEST(ResultList, RowsKeepTheirTextsWhenTheEntriesAreGone) {
    ResultModel model;
    WindowListControl list(model);
    auto entries = std::make_unique<std::vector<std::unique_ptr<DeletedFileEntry>>>();
    entries->push_back(Entry(u"kept.doc", 4096, 0, 0, u"C:\\docs\\"));
    Fill(list, *entries);
    entries.reset();  // as ClearResults does before the list is emptied
    // A repaint now reads only the row's own copy (AddressSanitizer would catch anything else).
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(),
              QStringLiteral("kept.doc"));
    EXPECT_EQ(model.data(model.index(0, 5), Qt::DisplayRole).toString(),
              QStringLiteral("C:\\docs\\"));
    list.DeleteAllItems();
    EXPECT_EQ(model.Count(), 0);
}

TEST(ResultList, SelectAllAndClearAllSetEveryCheckAndDoNothingOnAnEmptyList) {
    ResultModel model;
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.SetAllChecked(true);
    EXPECT_EQ(changed.count(), 0);
    WindowListControl list(model);
    std::vector<std::unique_ptr<DeletedFileEntry>> entries;
    for (int i = 0; i < 5; ++i)
        entries.push_back(Entry(u"f", 1));
    Fill(list, entries);
    model.SetAllChecked(true);
    list.BeginRun();
    int checked = 0;
    for (int item = list.GetNextItem(-1); item != -1; item = list.GetNextItem(item))
        checked += list.GetCheck(item) ? 1 : 0;
    EXPECT_EQ(checked, 5);
    model.SetAllChecked(false);
    list.BeginRun();  // a new run reads the list afresh
    EXPECT_FALSE(list.GetCheck(0));
    // A click on a check box goes through the model's data.
    EXPECT_TRUE(model.setData(model.index(2, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(model.setData(model.index(2, 1), Qt::Checked, Qt::CheckStateRole));
    list.BeginRun();
    EXPECT_TRUE(list.GetCheck(2));
    EXPECT_EQ(list.GetItemData(2), model.At(2).entry);
    EXPECT_EQ(list.GetItemData(5), nullptr);
    EXPECT_FALSE(list.GetCheck(-1));
}

TEST(ResultList, AWorkerSeesItsOwnRowsBeforeAndAfterTheyReachTheWindow) {
    ResultModel model;
    WindowListControl list(model);
    auto a = Entry(u"a", 1);
    auto b = Entry(u"b", 2);
    std::atomic<bool> done{false};
    std::u16string staged, flushed, middle;
    int nextAfterLast = 0;
    std::thread worker([&] {
        InsertRow(list, *a);
        InsertRow(list, *b);
        staged = list.GetItemText(0, 0);    // "b", still gathered on the worker's side
        list.InsertItem(1, u"m", nullptr);  // not at the top: straight into the model
        list.SetItemText(1, 5, u"X:\\m\\");
        middle = list.GetItemText(1, 5);
        list.Flush();
        flushed = list.GetItemText(2, 0);
        list.BeginRun();
        nextAfterLast = list.GetNextItem(2);
        done = true;
    });
    qv::WaitProcessingEvents([&] { return done.load(); });
    worker.join();
    EXPECT_EQ(staged, u"b");
    EXPECT_EQ(middle, u"X:\\m\\");
    EXPECT_EQ(flushed, u"a");
    EXPECT_EQ(nextAfterLast, -1);
    EXPECT_EQ(Column(model, 0), (std::vector<std::u16string>{u"b", u"m", u"a"}));
}

TEST(ResultList, AHundredThousandRowsFromAWorkerArriveInBatchesInLinearTime) {
    constexpr int kRows = 100000;
    ResultModel model;
    QTableView view;  // a visible view, as in the window
    view.setModel(&model);
    view.resize(600, 400);
    view.show();
    WindowListControl list(model);
    std::vector<std::unique_ptr<DeletedFileEntry>> entries;
    entries.reserve(kRows);
    for (int i = 0; i < kRows; ++i)
        entries.push_back(Entry(u"file" + FromUtf8(std::to_string(i)), static_cast<uint64_t>(i)));
    QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
    std::atomic<bool> done{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread worker([&] {
        for (auto& e : entries)
            InsertRow(list, *e);
        list.Flush();
        done = true;
    });
    qv::WaitProcessingEvents([&] { return done.load(); });
    worker.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(model.Count(), kRows);
    EXPECT_EQ(model.At(0).texts[0], QStringLiteral("file99999"));
    EXPECT_EQ(model.At(kRows - 1).texts[0], QStringLiteral("file0"));
    EXPECT_EQ(model.At(kRows - 1).texts[2], QStringLiteral("0 KB"));
    // One round trip per batch, not per row; a list that moved every row on each insert at the
    // top would need minutes here.
    EXPECT_LT(inserts.count(), 1000);
    EXPECT_LT(seconds, 30.0);
    // Sorting them all stays quick too.
    const auto sortStart = std::chrono::steady_clock::now();
    model.Sort(0, false);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - sortStart).count(),
              10.0);
    EXPECT_EQ(model.At(0).texts[0], QStringLiteral("file0"));
    EXPECT_EQ(model.At(1).texts[0], QStringLiteral("file1"));
    EXPECT_EQ(model.At(2).texts[0], QStringLiteral("file10"));
}

TEST(ResultList, EqualKeysGoByRecordNumberAndRowsWithoutEntriesGoLast) {
    ResultModel model;
    WindowListControl list(model);
    auto x = Entry(u"same", 1);
    auto y = Entry(u"same", 1);
    list.InsertItem(0, u"no entry", nullptr);
    InsertRow(list, *x);
    InsertRow(list, *y);
    list.Flush();
    // Without records both are record 0: their order before the sort is kept.
    const DeletedFileEntry* top = model.At(0).entry;
    model.Sort(0, false);
    EXPECT_EQ(model.At(0).entry, top);
    EXPECT_EQ(model.At(2).entry, nullptr);
    model.Sort(0, true);
    EXPECT_EQ(model.At(2).entry, nullptr);
}

}  // namespace
}  // namespace qv
