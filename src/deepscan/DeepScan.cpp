#include "deepscan/DeepScan.h"

#include "base/Progress.h"
#include "base/Report.h"
#include "deepscan/ImageChange.h"
#include "deepscan/LogRecordStore.h"
#include "deepscan/RollbackCheck.h"

namespace qv {

namespace {

// Routes a rollback's changes into one file's images and counts what they did.
class FileImagesSink final : public ChangeSink {
public:
    explicit FileImagesSink(DeletedFileImages& file) : file_(file) {}

    int ApplyChange(uint64_t recordNumber, uint32_t recordOff, uint32_t attrOff, ByteSpan data,
                    int32_t delta) override {
        const int changed = file_.ApplyChange(recordNumber, recordOff, attrOff, data, delta);
        applied_ += changed;
        return changed;
    }
    int ApplyRecordChange(const RecordChange& change) override {
        if (ApplyToFileImages(file_, change) != UndoResult::kApplied) return 0;
        ++applied_;
        return 1;
    }
    int Applied() const { return applied_; }

private:
    DeletedFileImages& file_;
    int applied_ = 0;
};

// Rolls one file back; true when the result is kept.
bool RollBackFile(uint64_t number, DeletedFileImages& file, LogRecordStore& store,
                  uint32_t clusterSize, VolumeReader* reader) {
    const ImagesAsFound asFound = ImagesAsFound::Take(file);
    uint64_t lsn = 0;
    uint64_t recordNumber = 0;
    file.PopNewest(lsn, recordNumber);
    if (lsn == 0) return false;
    FileImagesSink sink(file);
    store.SetSink(&sink);
    store.Rollback(lsn);
    store.SetSink(nullptr);
    // The other images were last changed by that same transaction, or by older ones, which
    // stay as they are: an image left done is never offered again.
    do {
        file.PopNewest(lsn, recordNumber);
    } while (lsn != 0);
    if (sink.Applied() == 0) return false;
    if (RollbackKeepsFile(file, asFound, clusterSize, reader)) return true;
    asFound.Restore(file);
    Report(
        u"Advanced scan: the log would make deleted file record %u worse; it is built from its "
        u"records as found\n",
        number);
    return false;
}

}  // namespace

int RollBackDeletedFiles(DeletedFileMap& files, LogRecordStore& store, uint32_t clusterSize,
                         VolumeReader* reader, Progress& progress, std::set<uint64_t>* kept) {
    // Files without a base record yield nothing.
    for (auto it = files.begin(); it != files.end();) {
        if (progress.IsCancelled()) break;
        if (!it->second->HasBaseImage()) {
            it = files.erase(it);
        } else {
            ++it;
        }
        progress.Step(1);
    }
    int count = 0;
    for (auto& [number, file] : files) {
        if (progress.IsCancelled()) break;
        // Files whose attributes all fit in the base record are left as the normal scan finds
        // them; so are those whose images were not loaded.
        if (file->ExtensionCount() > 0 && file->Base() != nullptr &&
            RollBackFile(number, *file, store, clusterSize, reader)) {
            ++count;
            if (kept) kept->insert(number);
        }
        progress.Step(1);
    }
    return count;
}

}  // namespace qv
