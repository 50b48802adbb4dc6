#pragma once

#include <QWidget>

#include <functional>

#include "app/WorkerContext.h"
#include "ui/ResultModel.h"
#include "ui/WindowListControl.h"

class QPushButton;
class QTableView;

namespace qv {

class ProgressDialog;
class ProgressWindow;
class SortHeader;
class WindowPrompts;

// The "Deleted files" page: the list of the last scan's deleted files, Undelete, Select all and
// Clear all. It owns the WorkerContext that the scan and recover threads work on, starts both,
// and waits in a fresh progress window while each runs.
class UndeletePage final : public QWidget {
    Q_OBJECT
public:
    UndeletePage(WindowPrompts& prompts, QWidget* parent);
    ~UndeletePage() override;

    // Scans the drive behind letter; returns when the scan has ended and its window has closed.
    int StartScan(char16_t driveLetter, int advanced);
    // The Undelete button: asks for the destination, then recovers the checked rows.
    void OnUndelete();
    // A click on heading column (and the sort after every scan).
    void SortByColumn(int column);
    void SelectAll() { model_.SetAllChecked(true); }
    void ClearAll() { model_.SetAllChecked(false); }

    QTableView* List() const { return list_; }
    SortHeader* Header() const { return header_; }
    ResultModel& Model() { return model_; }
    WorkerContext& Context() { return context_; }
    QPushButton* UndeleteButton() const { return undelete_; }
    QPushButton* SelectAllButton() const { return selectAll_; }
    QPushButton* ClearAllButton() const { return clearAll_; }
    int SortColumn() const { return sortColumn_; }
    char16_t SortDirection() const { return sortDirection_; }

    // Called with each new progress window before its worker starts (tests press Stop here).
    std::function<void(ProgressWindow&, ProgressDialog&)> beforeWorker;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int RunWorker(unsigned (*body)(WorkerContext*));

    WindowPrompts& prompts_;
    ResultModel model_;
    WindowListControl listControl_{model_};
    QTableView* list_;
    SortHeader* header_;
    QPushButton* undelete_;
    QPushButton* selectAll_;
    QPushButton* clearAll_;
    char16_t sortDirection_ = u'\u25B2';  // ▲ ascending, ▼ descending
    int sortColumn_ = -1;
    WorkerContext context_;
};

}  // namespace qv
