#pragma once

class QTableView;

namespace qv {

class ListPreview;
class ResultModel;
class SortedResults;

// The list's context menu: the preview turned on and off, "Export list…" and About (which the
// rest of the window's menu has too).
void AttachListMenu(QTableView* list, ListPreview* preview, const SortedResults& shown,
                    const ResultModel& model);

}  // namespace qv
