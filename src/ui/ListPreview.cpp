#include "ui/ListPreview.h"

#include <QSettings>
#include <QTableView>

#include "ui/PreviewLoader.h"
#include "ui/PreviewPane.h"
#include "ui/ResultModel.h"

namespace qv {

namespace {

QSettings Settings() {
    return QSettings(QStringLiteral("quorvane"), QStringLiteral("quorvane"));
}

constexpr auto kEnabledKey = "preview/enabled";
constexpr auto kSizesKey = "preview/sizes";

}  // namespace

ListPreview::ListPreview(QTableView* list, SortedResults& shown, WorkerContext& context,
                         QWidget* parent)
    : QSplitter(Qt::Vertical, parent), list_(list), shown_(shown) {
    pane_ = new PreviewPane(this);
    loader_ = new PreviewLoader(
        context,
        [this](const DeletedFile& file, const Result<PreviewContent>& result,
               const QImage& picture) {
            if (result)
                pane_->ShowContent(file, *result, picture);
            else
                pane_->ShowFailure(file, result.error());
        },
        this);
    addWidget(list_);
    addWidget(pane_);
    setCollapsible(0, false);
    setCollapsible(1, false);
    setChildrenCollapsible(false);
    pane_->hide();
    enabled_ = Settings().value(QString::fromLatin1(kEnabledKey), true).toBool();

    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ListPreview::ShowChosen);
    connect(&shown_, &QAbstractItemModel::modelReset, this, &ListPreview::ShowChosen);
    connect(pane_, &PreviewPane::hideRequested, this, [this] { SetPreviewEnabled(false); });
    connect(this, &QSplitter::splitterMoved, this, &ListPreview::SaveSizes);
}

ListPreview::~ListPreview() = default;

void ListPreview::SetPreviewEnabled(bool enabled) {
    enabled_ = enabled;
    Settings().setValue(QString::fromLatin1(kEnabledKey), enabled);
    ShowChosen();
}

void ListPreview::PauseReads() {
    loader_->Pause();
}

void ListPreview::ResumeReads() {
    loader_->Cancel();
    loader_->Resume();
    ShowChosen();
}

void ListPreview::ShowChosen() {
    const QModelIndex current = list_->selectionModel()->currentIndex();
    if (!enabled_) {
        loader_->Cancel();
        pane_->hide();
        return;
    }
    if (!current.isValid() || current.row() >= shown_.rowCount()) {
        loader_->Cancel();
        pane_->ShowNothing();
        return;
    }
    if (pane_->isHidden()) {
        pane_->show();
        // The split last chosen, or two fifths for the preview the first time.
        QList<int> sizes;
        for (const QVariant& size : Settings().value(QString::fromLatin1(kSizesKey)).toList())
            sizes.append(size.toInt());
        const int all = height() - handleWidth();
        if (sizes.size() != 2 || sizes[0] <= 0 || sizes[1] <= 0)
            sizes = {all - all * 2 / 5, all * 2 / 5};
        setSizes(sizes);
    }
    const DeletedFile& file = shown_.File(current.row());
    pane_->ShowReading(file);
    loader_->Request(file);
}

void ListPreview::SaveSizes() {
    if (pane_->isHidden()) return;
    QVariantList sizes;
    for (const int size : this->sizes())
        sizes.append(size);
    Settings().setValue(QString::fromLatin1(kSizesKey), sizes);
}

}  // namespace qv
