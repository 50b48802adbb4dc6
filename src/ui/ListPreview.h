#pragma once

#include <QSplitter>

class QTableView;

namespace qv {

class PreviewLoader;
class PreviewPane;
class SortedResults;
class WorkerContext;

// The list of deleted files with the preview below it. The preview stays out of sight until a
// file is chosen in the list (unless it was turned off, which is remembered); then it shows the
// chosen file, read on a thread. The split between the two is remembered too.
class ListPreview final : public QSplitter {
    Q_OBJECT
public:
    // Takes list (showing shown) into itself; context: whose session the files are read from.
    ListPreview(QTableView* list, SortedResults& shown, WorkerContext& context, QWidget* parent);
    ~ListPreview() override;

    bool PreviewEnabled() const { return enabled_; }
    void SetPreviewEnabled(bool enabled);
    PreviewPane* Pane() const { return pane_; }
    PreviewLoader& Loader() const { return *loader_; }

    // While a scan or recovery works on the session nothing is read: PauseReads waits for the
    // read running, ResumeReads reads the file chosen then.
    void PauseReads();
    void ResumeReads();

private:
    void ShowChosen();
    void SaveSizes();

    QTableView* list_;
    SortedResults& shown_;
    PreviewPane* pane_;
    PreviewLoader* loader_;
    bool enabled_ = true;
};

}  // namespace qv
