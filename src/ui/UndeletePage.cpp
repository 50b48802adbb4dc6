#include "ui/UndeletePage.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include <atomic>
#include <set>
#include <thread>

#include "app/FileTexts.h"
#include "app/ProgressDialog.h"
#include "recovery/TargetNames.h"
#include "ui/FilterBar.h"
#include "ui/ListMenu.h"
#include "ui/ListPreview.h"
#include "ui/ProgressWindow.h"
#include "ui/QtText.h"
#include "ui/SortHeader.h"
#include "ui/SummaryBar.h"
#include "ui/UiThread.h"
#include "ui/UndeleteToDialog.h"
#include "ui/WindowPrompts.h"

namespace qv {

UndeletePage::UndeletePage(WindowPrompts& prompts, QWidget* parent)
    : QWidget(parent), prompts_(prompts) {
    filters_ = new FilterBar(this);
    summary_ = new SummaryBar(this);
    connect(filters_, &FilterBar::Changed, this, &UndeletePage::ApplyFilter);
    connect(summary_, &SummaryBar::LogWanted, this, &UndeletePage::LogWanted);
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
    // The last column takes the room the list gains; the others keep their widths.
    header_->setStretchLastSection(true);
    for (int c = 0; c < ResultModel::kColumns; ++c)
        header_->resizeSection(c, ResultModel::ColumnWidths()[static_cast<size_t>(c)]);
    connect(header_, &QHeaderView::sectionClicked, this, &UndeletePage::SortByColumn);
    // The list and, below it, the preview of its current row share the room (a splitter).
    preview_ = new ListPreview(list_, sorted_, context_, this);
    AttachListMenu(list_, preview_, sorted_, model_);

    undelete_ = new QPushButton(QStringLiteral("&Undelete"), this);
    selectAll_ = new QPushButton(QStringLiteral("&Select all"), this);
    clearAll_ = new QPushButton(QStringLiteral("&Clear all"), this);
    counts_ = new QLabel(this);
    counts_->setObjectName(QStringLiteral("counts"));
    // The list takes the room; the buttons sit below it in the middle, at their natural size,
    // the counts on their left.
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(counts_, 1);
    buttons->addWidget(undelete_);
    buttons->addWidget(selectAll_);
    buttons->addWidget(clearAll_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(filters_);
    layout->addWidget(summary_);
    layout->addWidget(preview_, 1);
    layout->addLayout(buttons);
    connect(undelete_, &QPushButton::clicked, this, &UndeletePage::OnUndelete);
    connect(selectAll_, &QPushButton::clicked, this, &UndeletePage::SelectAll);
    connect(clearAll_, &QPushButton::clicked, this, &UndeletePage::ClearAll);

    // The counts follow ticks, new rows and the rows a filter shows.
    for (QAbstractItemModel* model :
         {static_cast<QAbstractItemModel*>(&model_), static_cast<QAbstractItemModel*>(&sorted_)}) {
        connect(model, &QAbstractItemModel::dataChanged, this, &UndeletePage::ShowCounts);
        connect(model, &QAbstractItemModel::rowsInserted, this, &UndeletePage::ShowCounts);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &UndeletePage::ShowCounts);
        connect(model, &QAbstractItemModel::modelReset, this, &UndeletePage::ShowCounts);
        connect(model, &QAbstractItemModel::layoutChanged, this, &UndeletePage::ShowCounts);
    }
    ShowCounts();
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
    summary_->hide();
    RunWorker(ScanThreadProc);
    // The Type box offers the types this list holds; the filter follows the new drive letter.
    std::set<std::u16string> types;
    for (int row = 0; row < model_.Count(); ++row) {
        std::u16string type = TypeOf(model_.File(row).name);
        for (char16_t& c : type)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        if (!type.empty()) types.insert(std::move(type));
    }
    filters_->SetTypes(std::vector<std::u16string>(types.begin(), types.end()));
    ApplyFilter();
    sorted_.sort(static_cast<int>(Column::kName), Qt::AscendingOrder);
}

void UndeletePage::ApplyFilter() {
    sorted_.SetFilter(filters_->SearchText(), filters_->Type(), filters_->State());
    ShowCounts();
}

void UndeletePage::OnUndelete() {
    // Every ticked file is recovered, shown or hidden by the filter; the dialog says how many.
    std::vector<DeletedFile> chosen = sorted_.CheckedFiles();
    UndeleteToDialog dialog(window(), static_cast<int>(chosen.size()));
    if (dialog.exec() != QDialog::Accepted) return;
    context_.chosen = std::move(chosen);
    RecoveryOptions& recovery = context_.recovery;
    recovery.destination = TidyDestination(FromQString(dialog.Path()));
    recovery.recreatePaths = !dialog.DoNotRecoverPathnames();
    recovery.keepTimes = dialog.RestoreTimestamps();
    recovery.existingFile = dialog.IfExists();
    recovery.sameVolume = SameVolume::kAsk;
    RunWorker(RecoverThreadProc);
    std::vector<DeletedFile>().swap(context_.chosen);
    summary_->Show(context_.summary);
}

QString CountsText(int shown, int total, int ticked) {
    if (shown == total)
        return QStringLiteral("%1 %2, %3 ticked")
            .arg(total)
            .arg(total == 1 ? QStringLiteral("file") : QStringLiteral("files"))
            .arg(ticked);
    return QStringLiteral("%1 of %2 shown, %3 ticked").arg(shown).arg(total).arg(ticked);
}

void UndeletePage::ShowCounts() {
    counts_->setText(CountsText(sorted_.rowCount(), model_.Count(), model_.CheckedCount()));
}

void UndeletePage::SortByColumn(int column) {
    if (column < 0 || column >= ResultModel::kColumns) return;
    const bool again = column == sorted_.sortColumn() && sorted_.sortOrder() == Qt::AscendingOrder;
    sorted_.sort(column, again ? Qt::DescendingOrder : Qt::AscendingOrder);
}

}  // namespace qv
