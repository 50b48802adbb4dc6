#include "ui/ResultFeed.h"

#include "ui/ResultModel.h"
#include "ui/UiThread.h"

namespace qv {

void ResultFeed::Begin(char16_t letter) {
    letter_ = letter;
    staged_.clear();
    sinceFlush_.start();
}

void ResultFeed::Take(std::vector<DeletedFile>&& batch) {
    if (!sinceFlush_.isValid()) sinceFlush_.start();
    if (staged_.empty()) {
        staged_ = std::move(batch);
    } else {
        staged_.reserve(staged_.size() + batch.size());
        for (DeletedFile& file : batch)
            staged_.push_back(std::move(file));
    }
    if (staged_.size() >= kFlushFiles || sinceFlush_.elapsed() >= kFlushInterval) Flush();
}

void ResultFeed::Discard() {
    std::vector<DeletedFile>().swap(staged_);
    CallOnUiThread(&model_, [this] { model_.Clear(); });
}

void ResultFeed::Flush() {
    sinceFlush_.start();
    if (staged_.empty()) return;
    std::vector<DeletedFile> files;
    files.swap(staged_);
    CallOnUiThread(&model_, [this, &files] { model_.Append(std::move(files), letter_); });
}

}  // namespace qv
