#pragma once

#include <QWidget>

#include <functional>

#include "app/DriveList.h"
#include "app/WorkerContext.h"
#include "ui/ResultFeed.h"
#include "ui/ResultModel.h"

class QLabel;
class QPushButton;
class QTableView;

namespace qv {

class FilterBar;
class ListPreview;
class ProgressDialog;
class ProgressWindow;
class SortHeader;
class SummaryBar;
class WindowPrompts;

// The counts line: "12 files, 3 ticked", or "5 of 12 shown, 3 ticked".
QString CountsText(int shown, int total, int ticked);

// The "Deleted files" page: the list of the last scan's deleted files, Undelete, Select all and
// Clear all, and how many files there are and are ticked. It owns the WorkerContext that the
// scan and recover threads work on, starts both, and waits in a fresh progress window while each
// runs.
class UndeletePage final : public QWidget {
    Q_OBJECT
public:
    UndeletePage(WindowPrompts& prompts, QWidget* parent);
    ~UndeletePage() override;

    // Scans a drive; returns when the scan has ended and its window has closed. The list is then
    // sorted by name, ascending.
    void StartScan(const Drive& drive, bool advanced);
    // The Undelete button: asks for the destination, then recovers the ticked files in the order
    // the list shows them, and says above the list how that ended.
    void OnUndelete();
    // A click on heading column: ascending, or the other way round when it is sorted by it
    // already.
    void SortByColumn(int column);
    // Select all and Clear all act on the rows shown; rows a filter hides keep their ticks.
    void SelectAll() { sorted_.SetShownChecked(true); }
    void ClearAll() { sorted_.SetShownChecked(false); }

    QTableView* List() const { return list_; }
    ListPreview* Preview() const { return preview_; }
    SortHeader* Header() const { return header_; }
    ResultModel& Model() { return model_; }
    // The rows as the list shows them.
    SortedResults& Sorted() { return sorted_; }
    WorkerContext& Context() { return context_; }
    QPushButton* UndeleteButton() const { return undelete_; }
    QPushButton* SelectAllButton() const { return selectAll_; }
    QPushButton* ClearAllButton() const { return clearAll_; }
    // "N files, K ticked", or "N of M shown, K ticked" while a filter hides some.
    QLabel* Counts() const { return counts_; }
    FilterBar* Filters() const { return filters_; }
    SummaryBar* Summary() const { return summary_; }

    // Called with each new progress window before its worker starts (tests press Stop here).
    std::function<void(ProgressWindow&, ProgressDialog&)> beforeWorker;

signals:
    // The summary's button: the Log page is wanted.
    void LogWanted();

private:
    void ApplyFilter();
    void ShowCounts();
    int RunWorker(unsigned (*body)(WorkerContext*));

    WindowPrompts& prompts_;
    ResultModel model_;
    SortedResults sorted_{model_};
    ResultFeed feed_{model_};
    QTableView* list_;
    ListPreview* preview_;  // holds list_ and the preview below it
    SortHeader* header_;
    QPushButton* undelete_;
    QPushButton* selectAll_;
    QPushButton* clearAll_;
    QLabel* counts_;
    FilterBar* filters_;
    SummaryBar* summary_;
    WorkerContext context_;
};

}  // namespace qv
