#include "ui/UndeletePage.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include <atomic>
#include <thread>

#include "app/ProgressDialog.h"
#include "recovery/TargetNames.h"
#include "ui/DialogUnits.h"
#include "ui/ListMenu.h"
#include "ui/ListPreview.h"
#include "ui/ProgressWindow.h"
#include "ui/QtText.h"
#include "ui/SortHeader.h"
#include "ui/UiThread.h"
#include "ui/UndeleteToDialog.h"
#include "ui/WindowPrompts.h"

namespace qv {

UndeletePage::UndeletePage(WindowPrompts& prompts, QWidget* parent)
    : QWidget(parent), prompts_(prompts) {
    setFont(PageFont());
    const DialogUnits du(font());
    resize(du.Size(500, 305));

    list_ = new QTableView(this);
    list_->setObjectName(QStringLiteral("deletedFiles"));
    header_ = new SortHeader(list_);
    list_->setHorizontalHeader(header_);
    list_->setModel(&sorted_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->setSortingEnabled(false);  // the page sorts on heading clicks itself (SortByColumn)
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    header_->setStretchLastSection(false);
    for (int c = 0; c < ResultModel::kColumns; ++c)
        header_->resizeSection(c, ResultModel::ColumnWidths()[static_cast<size_t>(c)]);
    connect(header_, &QHeaderView::sectionClicked, this, &UndeletePage::SortByColumn);
    preview_ = new ListPreview(list_, sorted_, context_, this);
    preview_->setGeometry(du.Rect(7, 7, 486, 273));
    AttachListMenu(list_, preview_, sorted_, model_);

    undelete_ = new QPushButton(QStringLiteral("&Undelete"), this);
    undelete_->setGeometry(du.Rect(193, 285, 45, 12));
    selectAll_ = new QPushButton(QStringLiteral("&Select all"), this);
    selectAll_->setGeometry(du.Rect(246, 285, 45, 12));
    clearAll_ = new QPushButton(QStringLiteral("&Clear all"), this);
    clearAll_->setGeometry(du.Rect(304, 285, 45, 12));
    connect(undelete_, &QPushButton::clicked, this, &UndeletePage::OnUndelete);
    connect(selectAll_, &QPushButton::clicked, this, &UndeletePage::SelectAll);
    connect(clearAll_, &QPushButton::clicked, this, &UndeletePage::ClearAll);
}

UndeletePage::~UndeletePage() {
    preview_->PauseReads();  // a read must not outlive the session it reads from
}

int UndeletePage::RunWorker(unsigned (*body)(WorkerContext*)) {
    ProgressWindow window(this->window());
    ProgressDialog progress(&window);
    window.Attach(&progress);
    // The scan's last files reach the list before the window closes, so the sort sees them all.
    window.SetBeforeClose([this] { feed_.Flush(); });
    context_.progress = &progress;
    context_.prompts = &prompts_;
    context_.files = &feed_;
    prompts_.SetOwner(&window);
    preview_->PauseReads();  // the worker uses the session the preview reads from
    if (beforeWorker) beforeWorker(window, progress);

    std::atomic<bool> finished{false};
    std::thread worker([&] {
        body(&context_);
        finished.store(true, std::memory_order_release);
    });
    const int result = window.RunModal();
    // The close request is the worker's last call; it may still be returning from it.
    WaitProcessingEvents([&] { return finished.load(std::memory_order_acquire); });
    worker.join();
    prompts_.SetOwner(this->window());
    context_.progress = nullptr;
    preview_->ResumeReads();
    return result;
}

void UndeletePage::StartScan(const Drive& drive, bool advanced) {
    context_.source = drive.source;
    context_.scanOptions.advanced = advanced;
    context_.scanOptions.volumeName = std::u16string(1, drive.letter) + u":";
    feed_.Begin(drive.letter);
    RunWorker(ScanThreadProc);
    sorted_.sort(static_cast<int>(Column::kName), Qt::AscendingOrder);
}

void UndeletePage::OnUndelete() {
    UndeleteToDialog dialog(window());
    if (dialog.exec() != QDialog::Accepted) return;
    context_.chosen = sorted_.CheckedFiles();
    RecoveryOptions& recovery = context_.recovery;
    recovery.destination = TidyDestination(FromQString(dialog.Path()));
    recovery.recreatePaths = !dialog.DoNotRecoverPathnames();
    recovery.sameVolume = SameVolume::kAsk;
    RunWorker(RecoverThreadProc);
    std::vector<DeletedFile>().swap(context_.chosen);
}

void UndeletePage::SortByColumn(int column) {
    if (column < 0 || column >= ResultModel::kColumns) return;
    const bool again = column == sorted_.sortColumn() && sorted_.sortOrder() == Qt::AscendingOrder;
    sorted_.sort(column, again ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void UndeletePage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The list keeps its corner and reaches 12 pixels short of the right edge and of the
    // buttons; the buttons keep their size, Select all centred, the others 10 pixels off it.
    // Done also while the page is hidden behind another tab, so that it is right when shown.
    const int cx = width();
    const int cy = height();
    const int w = selectAll_->width();
    const int h = selectAll_->height();
    const QPoint corner = preview_->pos();
    preview_->resize(cx - corner.x() - 12, cy - corner.y() - h - 12);
    const int top = cy - h - 2;
    const int middle = cx / 2 - w / 2;
    selectAll_->setGeometry(middle, top, w, h);
    undelete_->setGeometry(middle - (10 + w), top, w, h);
    clearAll_->setGeometry(cx / 2 + w / 2 + 10, top, w, h);
}

}  // namespace qv
