#pragma once

#include <QElapsedTimer>

#include <vector>

#include "scan/DeletedFile.h"

namespace qv {

class ResultModel;

// Where a scan run from the window delivers its files. The model belongs to the window thread;
// what the worker takes is gathered here and handed over in one blocking call onto that thread
// for every kFlushFiles files or kFlushInterval ms, whichever comes first, and once more before
// the progress window closes (Flush), so that the list is whole when the scan has ended. A round
// trip per file would make the window's scan several times slower than the terminal's.
class ResultFeed final : public DeletedFileSink {
public:
    static constexpr size_t kFlushFiles = 4096;
    static constexpr int kFlushInterval = 100;  // ms

    explicit ResultFeed(ResultModel& model) : model_(model) {}

    // Window thread, before the scan starts: the drive letter its paths are shown with.
    void Begin(char16_t letter);

    // Worker side.
    void Take(std::vector<DeletedFile>&& batch) override;
    // Forgets what is gathered and empties the list; it has taken effect when it returns.
    void Discard() override;
    // Hands what is gathered to the model and waits until it has it.
    void Flush();

private:
    ResultModel& model_;
    char16_t letter_ = u'C';
    std::vector<DeletedFile> staged_;
    QElapsedTimer sinceFlush_;
};

}  // namespace qv
