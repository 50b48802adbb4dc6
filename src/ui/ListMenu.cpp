#include "ui/ListMenu.h"

#include <QMenu>
#include <QTableView>

#include "ui/AboutBox.h"
#include "ui/ListExport.h"
#include "ui/ListPreview.h"
#include "ui/ResultModel.h"

namespace qv {

void AttachListMenu(QTableView* list, ListPreview* preview, const SortedResults& shown,
                    const ResultModel& model) {
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(list, &QWidget::customContextMenuRequested, list,
                     [=, &shown, &model](const QPoint& at) {
                         QMenu menu(list);
                         QAction* show = menu.addAction(QStringLiteral("&Preview"));
                         show->setCheckable(true);
                         show->setChecked(preview->PreviewEnabled());
                         QAction* exportList = menu.addAction(QStringLiteral("&Export list…"));
                         exportList->setEnabled(shown.rowCount() > 0);
                         menu.addSeparator();
                         QAction* about = menu.addAction(QStringLiteral("&About Quorvane..."));
                         QAction* chosen = menu.exec(list->viewport()->mapToGlobal(at));
                         if (chosen == show) {
                             preview->SetPreviewEnabled(show->isChecked());
                         } else if (chosen == exportList) {
                             ExportShownList(list->window(), shown, model.Letter());
                         } else if (chosen == about) {
                             AboutBox box(list->window());
                             box.exec();
                         }
                     });
}

}  // namespace qv
